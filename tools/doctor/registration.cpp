#include "tools/doctor/checks.h"

#include <windows.h>
#include <oleauto.h>

#include "lumboExt.h"
#include "tools/doctor/module_info.h"
#include "tools/doctor/our_classes.h"
#include "tools/doctor/registry_reading.h"

namespace lumbo::doctor {

namespace {

constexpr wchar_t kBlockedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Blocked";
constexpr wchar_t kRegisterAdvice[] = L"register lumboExt.dll again from its folder (install.cmd)";
constexpr wchar_t kOverlayKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";

// Collects what one check found wrong; the first fault decides the words.
struct Faults {
    std::vector<std::wstring> list;
    void Add(std::wstring fault) { list.push_back(std::move(fault)); }
    bool Any() const { return !list.empty(); }
    std::wstring Joined() const {
        std::wstring text;
        for (const std::wstring& fault : list) text += (text.empty() ? L"" : L"; ") + fault;
        return text;
    }
};

// A default value that must name one of our GUIDs.
void ExpectGuid(Faults& faults, HKEY root, const std::wstring& rootName, const std::wstring& subKey,
                const wchar_t* valueName, REFGUID guid, JsonValue& data) {
    const RawValue value = ReadRawValue(root, subKey, valueName);
    const std::wstring where = rootName + L"\\" + subKey + (valueName ? std::wstring(L" ") + valueName : L"");
    data.Add(JsonValue::Object().Set("key", where).Set("value", ToJson(value)));
    const std::optional<std::wstring> text = StringValue(value);
    if (!text) faults.Add(where + L": " + Describe(value));
    else if (!NamesGuid(*text, guid)) faults.Add(where + L" names " + *text + L", not " + GuidText(guid));
}

Finding ClassFinding(const OurClass& ours, std::optional<std::wstring>& dllPath) {
    Finding finding;
    finding.id = "registration.class." + ToUtf8(ours.name);
    const std::wstring clsid = GuidText(*ours.clsid);
    Faults faults;
    const KeyRead classKey = OpenKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid);
    if (!classKey.key) {
        finding.verdict = Verdict::Fail;
        finding.finding = std::wstring(ours.name) + L" " + clsid + L" is not registered: HKCR\\CLSID\\" + clsid +
                          (classKey.error == ERROR_FILE_NOT_FOUND ? L" is missing"
                                                                  : L": could not read: " + ErrorText(classKey.error));
        finding.advice = kRegisterAdvice;
        finding.data.Set("clsid", clsid);
        finding.data.Set("registered", false);
        return finding;
    }
    const RawValue server = ReadInprocServer(clsid);
    dllPath = RegisteredPath(server);
    finding.data.Set("clsid", clsid);
    finding.data.Set("inproc_server", ToJson(server));
    if (!dllPath) {
        faults.Add(L"HKCR\\CLSID\\" + clsid + L"\\InprocServer32: " + Describe(server));
    } else {
        const FileFacts file = InspectPath(*dllPath);
        finding.data.Set("dll_exists", file.exists && !file.isFolder);
        if (!file.exists) faults.Add(L"the registered DLL " + *dllPath + L" does not exist (" + ErrorText(file.error) + L")");
        else if (file.isFolder) faults.Add(L"the registered DLL " + *dllPath + L" is a folder");
    }
    const RawValue threading = ReadRawValue(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32", L"ThreadingModel");
    finding.data.Set("threading_model", ToJson(threading));
    const std::optional<std::wstring> model = StringValue(threading);
    if (server.state == RawValue::State::KeyMissing) {
        // Said above: InprocServer32 is missing.
    } else if (!model || !SameName(*model, L"Apartment"))
        faults.Add(L"ThreadingModel is " + (model ? L"\"" + *model + L"\"" : Describe(threading)) + L", not \"Apartment\"");

    JsonValue progIds = JsonValue::Array();
    ExpectGuid(faults, HKEY_CLASSES_ROOT, L"HKCR", std::wstring(ours.progId) + L"\\CLSID", nullptr, *ours.clsid, progIds);
    ExpectGuid(faults, HKEY_CLASSES_ROOT, L"HKCR", std::wstring(ours.independentProgId) + L"\\CLSID", nullptr,
               *ours.clsid, progIds);
    finding.data.Set("progids", std::move(progIds));
    JsonValue appId = JsonValue::Array();
    ExpectGuid(faults, HKEY_CLASSES_ROOT, L"HKCR", L"CLSID\\" + clsid, L"AppID", AppIdGuid(), appId);
    finding.data.Set("appid", std::move(appId));

    if (faults.Any()) {
        finding.verdict = Verdict::Fail;
        finding.finding = std::wstring(ours.name) + L" " + clsid + L": " + faults.Joined();
        finding.advice = kRegisterAdvice;
    } else {
        finding.finding = std::wstring(ours.name) + L" " + clsid + L" is served by " + *dllPath + L" (Apartment)";
    }
    return finding;
}

}  // namespace

Findings CheckRegistration() {
    Findings findings;
    std::vector<std::optional<std::wstring>> dlls(kOurClassCount);
    for (int i = 0; i < kOurClassCount; ++i) findings.push_back(ClassFinding(OurClasses()[i], dlls[i]));

    // One DLL for all four classes.
    {
        Finding same;
        same.id = "registration.same_dll";
        JsonValue paths = JsonValue::Array();
        std::optional<std::wstring> first;
        bool differ = false;
        bool missing = false;
        for (const auto& dll : dlls) {
            paths.Add(dll ? JsonValue(*dll) : JsonValue());
            if (!dll) missing = true;
            else if (!first) first = dll;
            else if (!SameName(*first, *dll)) differ = true;
        }
        same.data.Set("paths", std::move(paths));
        if (differ) {
            same.verdict = Verdict::Fail;
            same.finding = L"the four classes name different DLLs";
            for (int i = 0; i < kOurClassCount; ++i)
                same.details.push_back(std::wstring(OurClasses()[i].name) + L": " + (dlls[i] ? *dlls[i] : L"(none)"));
            same.advice = L"unregister the other copy (uninstall.cmd beside it), then register the installed one";
        } else if (missing || !first) {
            same.verdict = Verdict::Fail;
            same.finding = L"not every class names a DLL (see above)";
            same.advice = kRegisterAdvice;
        } else {
            same.finding = L"all four classes name " + *first;
        }
        findings.push_back(std::move(same));
    }

    // The registered DLL: loadable by this architecture's Explorer, and its version.
    {
        Finding dll;
        dll.id = "registration.dll";
        std::optional<std::wstring> path;
        for (const auto& candidate : dlls) {
            if (candidate && !path) path = candidate;
        }
        if (!path) {
            dll.verdict = Verdict::Fail;
            dll.finding = L"no registered DLL to inspect";
            dll.advice = kRegisterAdvice;
        } else {
            const std::wstring machine = ReadMachine(*path);
            const ModuleVersion version = ReadModuleVersion(*path);
            dll.data.Set("path", *path);
            dll.data.Set("machine", machine);
            dll.data.Set("expected_machine", OwnMachine());
            dll.data.Set("file_version", version.read ? JsonValue(version.fileVersion) : JsonValue());
            dll.data.Set("doctor_version", DoctorVersion());
            const std::wstring doctorVersion = std::wstring(DoctorVersion()) + L".0";
            dll.data.Set("versions_match", version.read && version.fileVersion == doctorVersion);
            if (machine.empty()) {
                dll.verdict = Verdict::Fail;
                dll.finding = *path + L" is no Windows DLL or cannot be read";
                dll.advice = L"install lumboExt.dll from the release package again";
            } else if (machine != OwnMachine()) {
                dll.verdict = Verdict::Fail;
                dll.finding = *path + L" is built for " + machine + L"; this registry view's Explorer is " + OwnMachine();
                dll.advice = L"install the package of this Windows' architecture";
            } else if (!version.read) {
                dll.verdict = Verdict::Warn;
                dll.finding = *path + L" (" + machine + L") has no version resource";
                dll.advice = L"install lumboExt.dll from the release package";
            } else if (version.fileVersion != doctorVersion) {
                dll.verdict = Verdict::Warn;
                dll.finding = *path + L" is version " + version.fileVersion + L"; this doctor is " + DoctorVersion();
                dll.advice = L"use the doctor of the same package as the DLL, or install the matching DLL";
            } else {
                dll.finding = *path + L" is version " + version.fileVersion + L" for " + machine +
                              L", the doctor's own version";
            }
        }
        findings.push_back(std::move(dll));
    }

    // The AppID's own keys.
    {
        Finding appId;
        appId.id = "registration.appid";
        Faults faults;
        JsonValue read = JsonValue::Array();
        const RawValue appIdKey = ReadRawValue(HKEY_CLASSES_ROOT, L"AppID\\" + std::wstring(kLumboAppIdString), nullptr);
        read.Add(JsonValue::Object().Set("key", L"HKCR\\AppID\\" + std::wstring(kLumboAppIdString)).Set("value", ToJson(appIdKey)));
        if (appIdKey.state == RawValue::State::KeyMissing || appIdKey.state == RawValue::State::Unreadable)
            faults.Add(L"HKCR\\AppID\\" + std::wstring(kLumboAppIdString) + L": " + Describe(appIdKey));
        ExpectGuid(faults, HKEY_CLASSES_ROOT, L"HKCR", L"AppID\\lumboExt.DLL", L"AppID", AppIdGuid(), read);
        appId.data.Set("read", std::move(read));
        appId.verdict = faults.Any() ? Verdict::Fail : Verdict::Ok;
        appId.finding = faults.Any() ? faults.Joined() : L"AppID " + std::wstring(kLumboAppIdString) + L" registered";
        if (faults.Any()) appId.advice = kRegisterAdvice;
        findings.push_back(std::move(appId));
    }

    // Overlay identifiers and menu handlers name our classes.
    {
        Finding entries;
        entries.id = "registration.shell_entries";
        Faults faults;
        JsonValue read = JsonValue::Array();
        for (int i = 0; i < kOverlayClassCount; ++i) {
            const OurClass& ours = OurClasses()[i];
            const RawValue value = ReadRawValue(HKEY_LOCAL_MACHINE, std::wstring(kOverlayKey) + L"\\" + ours.overlayIdentifier, nullptr);
            read.Add(JsonValue::Object().Set("key", L"HKLM\\" + std::wstring(kOverlayKey) + L"\\" + ours.overlayIdentifier).Set("value", ToJson(value)));
            // A missing name may be a rename by the client's installer; the
            // slot check finds our classes by CLSID. A name of ours that
            // points elsewhere is a fault.
            const std::optional<std::wstring> text = StringValue(value);
            if (value.state == RawValue::State::Read && (!text || !NamesGuid(*text, *ours.clsid)))
                faults.Add(std::wstring(L"overlay identifier ") + ours.overlayIdentifier + L" names " +
                           (text ? *text : Describe(value)) + L", not " + GuidText(*ours.clsid));
            else if (value.state == RawValue::State::Unreadable)
                faults.Add(std::wstring(L"overlay identifier ") + ours.overlayIdentifier + L": " + Describe(value));
        }
        for (const wchar_t* type : {L"*", L"lnkfile", L"Directory"}) {
            ExpectGuid(faults, HKEY_CLASSES_ROOT, L"HKCR", std::wstring(type) + L"\\ShellEx\\ContextMenuHandlers\\lumboExt",
                       nullptr, CLSID_lumboShlExt, read);
        }
        entries.data.Set("read", std::move(read));
        if (faults.Any()) {
            entries.verdict = Verdict::Fail;
            entries.finding = faults.Joined();
            entries.advice = kRegisterAdvice;
        } else {
            entries.finding = L"the menu handler is registered for files, shortcuts and folders; the overlay "
                              L"identifiers of ours name our classes";
        }
        findings.push_back(std::move(entries));
    }

    // The type library.
    {
        Finding typeLib;
        typeLib.id = "registration.typelib";
        const std::wstring libid = GuidText(LIBID_lumboExtLib);
        const std::wstring sub = L"TypeLib\\" + libid + L"\\1.0\\409\\" + DoctorArchitecture();
        const RawValue value = ReadRawValue(HKEY_CLASSES_ROOT, sub, nullptr);
        typeLib.data.Set("key", L"HKCR\\" + sub);
        typeLib.data.Set("value", ToJson(value));
        const std::optional<std::wstring> path = RegisteredPath(value);
        if (!path) {
            typeLib.verdict = Verdict::Fail;
            typeLib.finding = L"the type library is not registered: HKCR\\" + sub + L": " + Describe(value);
            typeLib.advice = kRegisterAdvice;
        } else {
            ITypeLib* library = nullptr;
            // REGKIND_NONE: load only, registering nothing.
            const HRESULT loaded = LoadTypeLibEx(path->c_str(), REGKIND_NONE, &library);
            bool ours = false;
            if (SUCCEEDED(loaded) && library != nullptr) {
                TLIBATTR* attributes = nullptr;
                if (SUCCEEDED(library->GetLibAttr(&attributes)) && attributes != nullptr) {
                    ours = IsEqualGUID(attributes->guid, LIBID_lumboExtLib) != FALSE;
                    library->ReleaseTLibAttr(attributes);
                }
                library->Release();
            }
            typeLib.data.Set("loads", SUCCEEDED(loaded));
            typeLib.data.Set("hresult", static_cast<long long>(static_cast<unsigned long>(loaded)));
            if (FAILED(loaded)) {
                typeLib.verdict = Verdict::Fail;
                wchar_t code[16];
                swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(loaded));
                typeLib.finding = L"the type library " + *path + L" does not load (" + code + L")";
                typeLib.advice = kRegisterAdvice;
            } else if (!ours) {
                typeLib.verdict = Verdict::Fail;
                typeLib.finding = L"the file registered as the type library, " + *path + L", holds another library";
                typeLib.advice = kRegisterAdvice;
            } else {
                typeLib.finding = L"type library " + libid + L" 1.0 loads from " + *path;
            }
        }
        findings.push_back(std::move(typeLib));
    }

    // Explorer loads no class listed under Blocked, machine-wide or the user's.
    {
        Finding blocked;
        blocked.id = "registration.blocked";
        Faults faults;
        JsonValue read = JsonValue::Array();
        for (const auto& [root, rootName] : {std::pair{HKEY_LOCAL_MACHINE, L"HKLM"}, std::pair{HKEY_CURRENT_USER, L"HKCU"}}) {
            const KeyRead key = OpenKey(root, kBlockedKey);
            if (!key.key && key.error != ERROR_FILE_NOT_FOUND) {
                faults.Add(std::wstring(L"could not read: ") + rootName + L"\\" + kBlockedKey + L" (" + ErrorText(key.error) + L")");
                continue;
            }
            for (int i = 0; i < kOurClassCount; ++i) {
                const std::wstring clsid = GuidText(*OurClasses()[i].clsid);
                if (!key.key) continue;
                const LONG found = RegQueryValueExW(key.key.Get(), clsid.c_str(), nullptr, nullptr, nullptr, nullptr);
                if (found == ERROR_SUCCESS) {
                    faults.Add(std::wstring(OurClasses()[i].name) + L" " + clsid + L" is listed under " + rootName + L"\\" + kBlockedKey);
                    read.Add(JsonValue::Object().Set("root", rootName).Set("clsid", clsid));
                }
            }
        }
        blocked.data.Set("blocked", std::move(read));
        if (faults.Any()) {
            blocked.verdict = Verdict::Fail;
            blocked.finding = faults.Joined();
            blocked.advice = L"remove those values (an administrator, or a policy, put them there); Explorer loads "
                             L"no blocked class";
        } else {
            blocked.finding = L"none of our classes is blocked (HKLM and HKCU)";
        }
        findings.push_back(std::move(blocked));
    }
    return findings;
}

}  // namespace lumbo::doctor
