// lumboDoctor.exe run as support staff run it: a child process of this test,
// reading the registry, files and database this test set up in the prefix.
// Its JSON is parsed with the client's own JSON reader and compared with its
// text report; each fault of a table of states must show as its finding.
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "json/json_reader.h"
#include "lumboExt.h"
#include "store/client_contract.h"
#include "store/unique_handle.h"
#include "tests/support/built_dll.h"
#include "tests/support/client_fixture.h"
#include "tests/support/installed_client.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_database.h"
#include "text/conversions.h"
#include "text/lenient_conversions.h"

namespace lumbo::test {
namespace {

constexpr wchar_t kOverlayKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";
constexpr wchar_t kBlockedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Blocked";
constexpr wchar_t kClientShellFolderKey[] = L"Software\\classes\\clsid\\" LUMBO_CLIENT_SHELL_FOLDER_CLSID;
constexpr wchar_t kOtherProductClsid[] = L"{0D0C7E57-0000-4000-8000-0000000000AA}";

std::wstring ProgramFolder() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder = self;
    return folder.substr(0, folder.rfind(L'\\'));
}

std::wstring Regsvr32() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\regsvr32.exe";
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

void Register(const std::wstring& dll) { ASSERT_EQ(RunProgram(Regsvr32(), L"/s \"" + dll + L"\""), 0); }
void Unregister(const std::wstring& dll) { RunProgram(Regsvr32(), L"/u /s \"" + dll + L"\""); }

void SetValue(HKEY root, const std::wstring& subKey, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetDword(HKEY root, const std::wstring& subKey, const wchar_t* name, DWORD value) {
    SetValue(root, subKey, name, REG_DWORD, &value, sizeof value);
}

// One run of the doctor: its exit code, its report, and the report parsed.
struct DoctorRun {
    int exitCode = -1;
    std::string output;
    std::unique_ptr<JsonNode> json;

    const JsonNode* Member(const JsonNode* node, const wchar_t* name) const {
        if (node == nullptr || node->Kind() != JsonKind::Object) return nullptr;
        const auto found = node->Members().find(name);
        return found == node->Members().end() ? nullptr : found->second.get();
    }
    // The check of that id, or null.
    const JsonNode* Check(const std::wstring& id) const {
        const JsonNode* checks = Member(json.get(), L"checks");
        if (checks == nullptr) return nullptr;
        for (const auto& check : checks->Elements()) {
            const JsonNode* checkId = Member(check.get(), L"id");
            if (checkId != nullptr && checkId->Text() == id) return check.get();
        }
        return nullptr;
    }
    std::wstring Verdict(const std::wstring& id) const {
        const JsonNode* verdict = Member(Check(id), L"verdict");
        return verdict != nullptr ? verdict->Text() : L"(no such check)";
    }
    std::wstring Finding(const std::wstring& id) const {
        const JsonNode* finding = Member(Check(id), L"finding");
        return finding != nullptr ? finding->Text() : L"";
    }
    const JsonNode* Data(const std::wstring& id, const wchar_t* name) const {
        return Member(Member(Check(id), L"data"), name);
    }
};

std::wstring DoctorPath() { return ProgramFolder() + L"\\lumboDoctor.exe"; }

DoctorRun RunDoctor(const std::wstring& arguments) {
    DoctorRun run;
    run.exitCode = RunProgramCapturing(DoctorPath(), arguments, run.output);
    return run;
}

// Every byte is UTF-8 and no control character stands unescaped in the JSON.
void ExpectWellFormedJson(const std::string& text) {
    EXPECT_NO_THROW(Utf8ToWide(text)) << "the JSON is not UTF-8";
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        ASSERT_FALSE(static_cast<unsigned char>(text[i]) < 0x20) << "a raw control character at byte " << i;
    }
}

DoctorRun RunDoctorJson(const std::wstring& paths = L"") {
    DoctorRun run = RunDoctor(L"--json " + paths);
    ExpectWellFormedJson(run.output);
    run.json = ParseJsonUtf8(run.output.c_str());
    EXPECT_NE(run.json, nullptr) << "not JSON:\n" << run.output;
    return run;
}

std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }

// A client installed and running, the DLL registered, everything as the
// client and the installer leave it on a healthy machine.
class HealthyMachine {
public:
    HealthyMachine() {
        // A name no Western code page holds, as Chinese users name folders.
        m_syncFolder = m_sync / L"同步盘";
        CreateFolders(m_syncFolder);
        CreateFolders(m_syncFolder + L"\\Ignored");
        WriteFile(m_syncFolder + L"\\synchronised.txt", "done\n");
        WriteFile(m_syncFolder + L"\\new notes.txt", "new\n");
        ClientDatabase database;
        database.withFilenameIndex = true;
        database.statusRows = {{Narrow(m_syncFolder + L"\\synchronised.txt"), 0}};
        database.configRows = {{"lumbo_path", Narrow(m_syncFolder)}, {"ignore_dirs", "[\"Ignored\"]"}};
        m_client.WriteDatabase(database);
        WriteFilterFile("^~\\$\n\\.tmp$\n");
        WriteFile(m_client.InstallFolder() + L"\\files\\config",
                  "version 1\nwebaddress = https://disk.orvek.example/lumbo\nuser demo\n");
        SetRegistryString(HKEY_LOCAL_MACHINE, kClientShellFolderKey + std::wstring(L"\\Instance\\InitPropertyBag"),
                          kSyncFolderValue, m_syncFolder);
        m_client.Start();
    }
    ~HealthyMachine() { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kClientShellFolderKey); }

    void WriteFilterFile(const std::string& bytes) { WriteFile(FilterFile(), bytes); }
    std::wstring FilterFile() const { return m_client.InstallFolder() + L"\\files\\filefilter"; }
    InstalledClient& Client() { return m_client; }
    const std::wstring& SyncFolder() const { return m_syncFolder; }
    // Keeps a handle open until the machine goes.
    void Hold(HANDLE handle) { m_held.emplace_back(handle); }
    std::wstring TargetKey() const { return kClientShellFolderKey + std::wstring(L"\\Instance\\InitPropertyBag"); }

private:
    ScratchFolder m_sync;
    std::wstring m_syncFolder;
    std::vector<UniqueHandle> m_held;
    InstalledClient m_client;
};

class Doctor : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Register(BuiltDllPath()); }
    static void TearDownTestSuite() { Unregister(BuiltDllPath()); }
    void SetUp() override {
        // A case that broke the registration must not leave it broken.
        Register(BuiltDllPath());
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kBlockedKey);
        DeleteRegistryTree(HKEY_CURRENT_USER, kBlockedKey);
    }
};

std::vector<std::wstring> CheckIds(const DoctorRun& run) {
    std::vector<std::wstring> ids;
    const JsonNode* checks = run.Member(run.json.get(), L"checks");
    if (checks == nullptr) return ids;
    for (const auto& check : checks->Elements()) ids.push_back(run.Member(check.get(), L"id")->Text());
    return ids;
}

TEST_F(Doctor, HealthyMachineIsAllOkAndTheTextSaysWhatTheJsonSays) {
    HealthyMachine machine;
    const DoctorRun json = RunDoctorJson();
    ASSERT_NE(json.json, nullptr);
    EXPECT_EQ(json.exitCode, 0) << json.output;
    for (const std::wstring& id : CheckIds(json))
        EXPECT_EQ(json.Verdict(id), L"ok") << Narrow(id) << ": " << Narrow(json.Finding(id));
    EXPECT_EQ(json.Member(json.json.get(), L"verdict")->Text(), L"ok");
    for (const wchar_t* id : {L"overlay.slots", L"overlay.position.lumboExt0", L"registration.class.lumboShlExt",
                              L"registration.same_dll", L"registration.dll", L"registration.typelib",
                              L"registration.blocked", L"client.event", L"client.install_folder", L"client.database",
                              L"client.database.lock", L"client.database.index", L"client.settings.lumbo_path",
                              L"client.settings.ignore_dirs", L"client.filter_file", L"client.config_file",
                              L"client.target"})
        EXPECT_NE(json.Check(id), nullptr) << Narrow(id) << " is missing";
    EXPECT_EQ(json.Data(L"overlay.position.lumboExt0", L"position")->Number(), 1);
    EXPECT_EQ(json.Data(L"client.config_file", L"opens")->Text(),
              L"https://disk.orvek.example/lumbo#dir/path=");

    // The text report: one line per check, the same verdict, id, finding
    // and advice, then the check's detail lines.
    const DoctorRun text = RunDoctor(L"");
    EXPECT_EQ(text.exitCode, json.exitCode);
    std::string expected;
    const JsonNode* checks = json.Member(json.json.get(), L"checks");
    for (const auto& check : checks->Elements()) {
        std::wstring verdict = json.Member(check.get(), L"verdict")->Text();
        verdict.resize(5, L' ');
        std::wstring line = verdict + json.Member(check.get(), L"id")->Text() + L": " +
                            json.Member(check.get(), L"finding")->Text();
        const JsonNode* advice = json.Member(check.get(), L"advice");
        if (advice->Kind() == JsonKind::String) line += L" -> " + advice->Text();
        expected += Narrow(line) + "\n";
        for (const auto& detail : json.Member(check.get(), L"details")->Elements())
            expected += "      " + Narrow(detail->Text()) + "\n";
    }
    ASSERT_GT(text.output.size(), expected.size());
    EXPECT_EQ(text.output.substr(0, expected.size()), expected);
}

TEST_F(Doctor, OverlaysPushedOutByThirteenEntriesWithLeadingBlanks) {
    HealthyMachine machine;
    // Another product's handler, as cloud drives register theirs.
    SetRegistryString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kOtherProductClsid + L"\\InprocServer32", nullptr,
                      L"C:\\Program Files\\OtherCloud\\OtherCloudOverlays.dll");
    std::vector<std::wstring> others;
    for (int i = 1; i <= 13; ++i) {
        others.push_back(std::wstring(i <= 7 ? L"    " : L"   ") + L"OtherCloud" + (i < 10 ? L"0" : L"") +
                         std::to_wstring(i));
        SetRegistryString(HKEY_LOCAL_MACHINE, std::wstring(kOverlayKey) + L"\\" + others.back(), nullptr,
                          kOtherProductClsid);
    }
    struct Cleanup {
        const std::vector<std::wstring>& names;
        ~Cleanup() {
            for (const std::wstring& name : names)
                DeleteRegistryTree(HKEY_LOCAL_MACHINE, std::wstring(kOverlayKey) + L"\\" + name);
            DeleteRegistryTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kOtherProductClsid);
        }
    } cleanup{others};
    const DoctorRun run = RunDoctorJson();
    ASSERT_NE(run.json, nullptr);

    EXPECT_EQ(run.exitCode, 1);
    const JsonNode* entries = run.Data(L"overlay.slots", L"entries");
    ASSERT_NE(entries, nullptr);
    ASSERT_EQ(entries->Elements().size(), 16u);
    // Explorer's order: four blanks sort before three, and all before ".".
    for (std::size_t i = 0; i < 13; ++i) {
        EXPECT_EQ(run.Member(entries->Elements()[i].get(), L"name")->Text(), others[i]);
        EXPECT_EQ(run.Member(entries->Elements()[i].get(), L"position")->Number(), i + 1.0);
        EXPECT_EQ(run.Member(entries->Elements()[i].get(), L"product")->Text(), L"OtherCloudOverlays.dll");
    }
    const struct {
        const wchar_t* id;
        int position;
        const wchar_t* verdict;
    } expected[] = {{L"overlay.position.lumboExt0", 14, L"warn"},
                    {L"overlay.position.lumboExt1", 15, L"warn"},
                    {L"overlay.position.lumboExt2", 16, L"FAIL"}};
    for (const auto& ours : expected) {
        EXPECT_EQ(run.Data(ours.id, L"position")->Number(), ours.position) << Narrow(ours.id);
        EXPECT_EQ(run.Verdict(ours.id), ours.verdict) << Narrow(ours.id);
        EXPECT_EQ(run.Data(ours.id, L"within_15")->Flag(), ours.position <= 15);
        EXPECT_FALSE(run.Data(ours.id, L"within_11")->Flag());
        EXPECT_EQ(run.Data(ours.id, L"ahead")->Elements().size(), 13u);
        EXPECT_NE(run.Finding(ours.id).find(L"OtherCloudOverlays.dll"), std::wstring::npos);
    }

    const DoctorRun text = RunDoctor(L"");
    EXPECT_NE(text.output.find("FAIL overlay.position.lumboExt2: \".lumboExt2\" is at position 16 of 16"),
              std::string::npos)
        << text.output;
    EXPECT_NE(text.output.find("      14. \".lumboExt0\""), std::string::npos) << text.output;
}

// One registration fault per row, each made after a fresh registration.
struct RegistrationFault {
    const char* name;
    std::function<void(const std::wstring& scratch)> make;
    const wchar_t* checkId;
    const wchar_t* verdict;
    const wchar_t* saying;
};

std::wstring ClassKey(REFCLSID clsid) { return L"CLSID\\" + GuidText(clsid); }

TEST_F(Doctor, EachRegistrationFaultIsReported) {
    HealthyMachine machine;
    const std::wstring dll = BuiltDllPath();
    const RegistrationFault faults[] = {
        {"the DLL was deleted after regsvr32",
         [&](const std::wstring& scratch) {
             const std::wstring copy = scratch + L"\\lumboExt.dll";
             ASSERT_TRUE(CopyFileW(dll.c_str(), copy.c_str(), FALSE));
             Register(copy);
             ASSERT_TRUE(DeleteFileW(copy.c_str()));
         },
         L"registration.class.lumboExt1", L"FAIL", L"does not exist"},
        {"the class is blocked",
         [&](const std::wstring&) {
             SetRegistryString(HKEY_CURRENT_USER, kBlockedKey, GuidText(CLSID_lumboExt2).c_str(), L"");
         },
         L"registration.blocked", L"FAIL", L"HKCU"},
        {"one class is served by another copy",
         [&](const std::wstring& scratch) {
             const std::wstring copy = scratch + L"\\other\\lumboExt.dll";
             CreateFolders(scratch + L"\\other");
             ASSERT_TRUE(CopyFileW(dll.c_str(), copy.c_str(), FALSE));
             SetRegistryString(HKEY_CLASSES_ROOT, ClassKey(CLSID_lumboExt2) + L"\\InprocServer32", nullptr, copy);
         },
         L"registration.same_dll", L"FAIL", L"different DLLs"},
        {"the classes name a DLL of another version",
         [&](const std::wstring&) {
             wchar_t system[MAX_PATH] = {};
             GetSystemDirectoryW(system, MAX_PATH);
             for (REFCLSID clsid : {CLSID_lumboExt0, CLSID_lumboExt1, CLSID_lumboExt2, CLSID_lumboShlExt})
                 SetRegistryString(HKEY_CLASSES_ROOT, ClassKey(clsid) + L"\\InprocServer32", nullptr,
                                   std::wstring(system) + L"\\shell32.dll");
         },
         L"registration.dll", L"warn", L"this doctor is"},
        {"the DLL is built for another machine",
         [&](const std::wstring& scratch) {
             std::string image(512, '\0');
             image[0] = 'M';
             image[1] = 'Z';
             image[0x3C] = 0x40;
             image.replace(0x40, 6, std::string("PE\0\0\x4c\x01", 6));
             const std::wstring fake = scratch + L"\\lumboExt.dll";
             WriteFile(fake, image);
             for (REFCLSID clsid : {CLSID_lumboExt0, CLSID_lumboExt1, CLSID_lumboExt2, CLSID_lumboShlExt})
                 SetRegistryString(HKEY_CLASSES_ROOT, ClassKey(clsid) + L"\\InprocServer32", nullptr, fake);
         },
         L"registration.dll", L"FAIL", L"built for x86"},
        {"the type library is not registered",
         [&](const std::wstring&) { DeleteRegistryTree(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(LIBID_lumboExtLib)); },
         L"registration.typelib", L"FAIL", L"not registered"},
        {"the threading model is not Apartment",
         [&](const std::wstring&) {
             SetRegistryString(HKEY_CLASSES_ROOT, ClassKey(CLSID_lumboExt0) + L"\\InprocServer32", L"ThreadingModel",
                               L"Free");
         },
         L"registration.class.lumboExt0", L"FAIL", L"\"Free\""},
        {"InprocServer32 is a number",
         [&](const std::wstring&) { SetDword(HKEY_CLASSES_ROOT, ClassKey(CLSID_lumboExt2) + L"\\InprocServer32", nullptr, 7); },
         L"registration.class.lumboExt2", L"FAIL", L"REG_DWORD"},
        {"a ProgID names another class",
         [&](const std::wstring&) {
             SetRegistryString(HKEY_CLASSES_ROOT, L"lumboExt.lumboExt1.1\\CLSID", nullptr, kOtherProductClsid);
         },
         L"registration.class.lumboExt1", L"FAIL", kOtherProductClsid},
        {"the AppID is missing",
         [&](const std::wstring&) { DeleteRegistryTree(HKEY_CLASSES_ROOT, L"AppID\\lumboExt.DLL"); },
         L"registration.appid", L"FAIL", L"lumboExt.DLL"},
        {"the folders' menu handler entry is missing",
         [&](const std::wstring&) {
             DeleteRegistryTree(HKEY_CLASSES_ROOT, L"Directory\\ShellEx\\ContextMenuHandlers\\lumboExt");
         },
         L"registration.shell_entries", L"FAIL", L"Directory"},
        {"an overlay identifier of ours names another class",
         [&](const std::wstring&) {
             SetRegistryString(HKEY_LOCAL_MACHINE, std::wstring(kOverlayKey) + L"\\.lumboExt1", nullptr,
                               kOtherProductClsid);
         },
         L"overlay.position.lumboExt1", L"FAIL", L"no overlay identifier"},
    };
    for (const RegistrationFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        Register(dll);
        ScratchFolder scratch;
        fault.make(scratch.Path());
        const DoctorRun run = RunDoctorJson();
        ASSERT_NE(run.json, nullptr);
        EXPECT_EQ(run.Verdict(fault.checkId), fault.verdict) << Narrow(run.Finding(fault.checkId));
        EXPECT_NE(run.Finding(fault.checkId).find(fault.saying), std::wstring::npos)
            << Narrow(run.Finding(fault.checkId));
        EXPECT_EQ(run.exitCode, std::wstring(fault.verdict) == L"FAIL" ? 1 : 0);
        DeleteRegistryTree(HKEY_CURRENT_USER, kBlockedKey);
        Unregister(dll);
    }
}

// One client-side fault per row: what the doctor must say, and that it never
// crashes or hangs on it (it always gives a parsable report).
struct ClientFault {
    const char* name;
    std::function<void(HealthyMachine& machine)> make;
    const wchar_t* checkId;
    const wchar_t* verdict;
    const wchar_t* saying;
};

ClientDatabase DatabaseFor(const HealthyMachine& machine) {
    ClientDatabase database;
    database.withFilenameIndex = true;
    database.configRows = {{"lumbo_path", Narrow(machine.SyncFolder())}, {"ignore_dirs", "[]"}};
    return database;
}

void SetLumboPath(HealthyMachine& machine, const std::string& value) {
    ClientDatabase database = DatabaseFor(machine);
    database.configRows[0].textValue = value;
    machine.Client().WriteDatabase(database);
}

TEST_F(Doctor, EachClientFaultIsReported) {
    const ClientFault faults[] = {
        {"the client is not running", [](HealthyMachine& m) { m.Client().Stop(); }, L"client.event", L"FAIL",
         L"does not exist"},
        {"no install-folder value",
         [](HealthyMachine&) { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kInstallPathKey); },
         L"client.install_folder", L"FAIL", L"the key is missing"},
        {"the install folder is a number",
         [](HealthyMachine& m) {
             const DWORD value = 1;
             m.Client().InstallKey().SetRaw(REG_DWORD, &value, sizeof value);
         },
         L"client.install_folder", L"FAIL", L"REG_DWORD of 4 bytes"},
        {"the install folder is too long",
         [](HealthyMachine& m) { m.Client().InstallKey().SetFolder(L"C:\\" + std::wstring(600, L'x')); },
         L"client.install_folder", L"FAIL", L"at most 511 units"},
        {"the install folder does not exist",
         [](HealthyMachine& m) { m.Client().InstallKey().SetFolder(L"C:\\no\\such\\lumbo"); },
         L"client.install_folder", L"FAIL", L"does not exist"},
        {"no database", [](HealthyMachine& m) { DeleteFileW(m.Client().DatabaseFile().c_str()); }, L"client.database",
         L"FAIL", L"does not exist"},
        {"a damaged database",
         [](HealthyMachine& m) { WriteFile(m.Client().DatabaseFile(), std::string(8192, '\x5A')); },
         L"client.database", L"FAIL", L"no SQLite database"},
        {"a half-written database",
         [](HealthyMachine& m) {
             const std::string whole = ReadFileBytes(m.Client().DatabaseFile());
             WriteFile(m.Client().DatabaseFile(), whole.substr(0, 60));
         },
         L"client.database", L"FAIL", L"no SQLite database"},
        {"an empty database file",
         [](HealthyMachine& m) { WriteFile(m.Client().DatabaseFile(), ""); }, L"client.database", L"FAIL", L"empty"},
        {"a database held open without sharing",
         [](HealthyMachine& m) {
             m.Hold(CreateFileW(m.Client().DatabaseFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
         },
         L"client.database", L"FAIL", L"could not read"},
        {"a database whose pages are garbage",
         [](HealthyMachine& m) {
             std::string bytes = ReadFileBytes(m.Client().DatabaseFile());
             for (std::size_t i = 100; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
             WriteFile(m.Client().DatabaseFile(), bytes);
         },
         L"client.database", L"FAIL", L"cannot be read"},
        {"no file_status table",
         [](HealthyMachine& m) {
             ClientDatabase database = DatabaseFor(m);
             database.withStatusTable = false;
             m.Client().WriteDatabase(database);
         },
         L"client.database.table.file_status", L"FAIL", L"is missing"},
        {"config in an unexpected schema",
         [](HealthyMachine& m) {
             ExecuteSql(m.Client().DatabaseFile(),
                        "drop table config; create table config (key text, value text)");
         },
         L"client.database.table.config", L"FAIL", L"text_value"},
        {"no index on file_status",
         [](HealthyMachine& m) {
             ClientDatabase database = DatabaseFor(m);
             database.withFilenameIndex = false;
             m.Client().WriteDatabase(database);
         },
         L"client.database.index", L"warn", L"no index"},
        {"no lumbo_path",
         [](HealthyMachine& m) {
             ClientDatabase database = DatabaseFor(m);
             database.configRows.erase(database.configRows.begin());
             m.Client().WriteDatabase(database);
         },
         L"client.settings.lumbo_path", L"warn", L"no lumbo_path"},
        {"lumbo_path with a trailing backslash",
         [](HealthyMachine& m) { SetLumboPath(m, Narrow(m.SyncFolder()) + "\\"); }, L"client.settings.lumbo_path",
         L"warn", L"trailing backslash"},
        {"lumbo_path that is no UTF-8", [](HealthyMachine& m) { SetLumboPath(m, "C:\\caf\xE9"); },
         L"client.settings.lumbo_path", L"warn", L"not UTF-8"},
        {"lumbo_path naming no folder", [](HealthyMachine& m) { SetLumboPath(m, "C:\\no\\such\\folder"); },
         L"client.settings.lumbo_path", L"warn", L"no existing folder"},
        {"ignore_dirs that does not parse",
         [](HealthyMachine& m) {
             ClientDatabase database = DatabaseFor(m);
             database.configRows[1].textValue = "[\"Ignored\",";
             m.Client().WriteDatabase(database);
         },
         L"client.settings.ignore_dirs", L"warn", L"does not parse"},
        {"a filter line that does not compile",
         [](HealthyMachine& m) { m.WriteFilterFile("^~\\$\n(unclosed\n\\.tmp$\n"); }, L"client.filter_file", L"warn",
         L"1 line(s) do not compile"},
        {"a filter file with a byte-order mark",
         [](HealthyMachine& m) { m.WriteFilterFile("\xEF\xBB\xBF^~\\$\n"); }, L"client.filter_file", L"warn",
         L"byte-order mark"},
        {"a huge filter file",
         [](HealthyMachine& m) {
             std::string huge;
             while (huge.size() < 5 * 1024 * 1024) huge += "^backup-[0-9]+\\.bak$\n";
             m.WriteFilterFile(huge);
         },
         L"client.filter_file", L"warn", L"first 4 MiB"},
        {"a binary filter file",
         [](HealthyMachine& m) {
             std::string bytes;
             for (int i = 0; i < 65536; ++i) bytes += static_cast<char>((i * 131 + 7) & 0xFF);
             m.WriteFilterFile(bytes);
         },
         L"client.filter_file", L"warn", L"do not compile"},
        {"no configuration file",
         [](HealthyMachine& m) { DeleteFileW((m.Client().InstallFolder() + L"\\files\\config").c_str()); },
         L"client.config_file", L"warn", L"does not open"},
        {"a configuration file without the address line",
         [](HealthyMachine& m) { WriteFile(m.Client().InstallFolder() + L"\\files\\config", "version 1\n"); },
         L"client.config_file", L"warn", L"no line beginning with \"weba\""},
        {"an address the DLL refuses",
         [](HealthyMachine& m) {
             WriteFile(m.Client().InstallFolder() + L"\\files\\config", "webaddress = file:///C:/evil.exe\n");
         },
         L"client.config_file", L"warn", L"is refused"},
        {"no Target", [](HealthyMachine& m) { DeleteRegistryTree(HKEY_LOCAL_MACHINE, m.TargetKey()); },
         L"client.target", L"FAIL", L"the key is missing"},
        {"an empty Target", [](HealthyMachine& m) { SetRegistryString(HKEY_LOCAL_MACHINE, m.TargetKey(), L"Target", L""); },
         L"client.target", L"FAIL", L"empty"},
        {"a Target of the wrong type",
         [](HealthyMachine& m) { SetDword(HKEY_LOCAL_MACHINE, m.TargetKey(), L"Target", 3); }, L"client.target",
         L"FAIL", L"REG_DWORD"},
        {"a Target too long",
         [](HealthyMachine& m) {
             SetRegistryString(HKEY_LOCAL_MACHINE, m.TargetKey(), L"Target", L"C:\\" + std::wstring(300, L'y'));
         },
         L"client.target", L"FAIL", L"too long"},
        {"a Target naming no folder",
         [](HealthyMachine& m) {
             SetRegistryString(HKEY_LOCAL_MACHINE, m.TargetKey(), L"Target", L"C:\\no\\such\\sync");
         },
         L"client.target", L"warn", L"no existing folder"},
        {"Target and lumbo_path disagree",
         [](HealthyMachine& m) {
             SetRegistryString(HKEY_LOCAL_MACHINE, m.TargetKey(), L"Target", m.Client().InstallFolder());
         },
         L"client.target", L"warn", L"the badges follow the other"},
    };
    for (const ClientFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        HealthyMachine machine;
        fault.make(machine);
        const DoctorRun run = RunDoctorJson();
        ASSERT_NE(run.json, nullptr);
        EXPECT_EQ(run.Verdict(fault.checkId), fault.verdict) << Narrow(run.Finding(fault.checkId));
        EXPECT_NE(run.Finding(fault.checkId).find(fault.saying), std::wstring::npos)
            << Narrow(run.Finding(fault.checkId));
    }
}

TEST_F(Doctor, FilterErrorsNameTheirLineAndTheJsonEscapesWhatTheyHold) {
    HealthyMachine machine;
    // A tab, a quote, a backslash and a control character in a bad line.
    machine.WriteFilterFile("^~\\$\n\n(\"un\tclosed\x01\\\n\\.tmp$\n");
    const DoctorRun run = RunDoctorJson();
    ASSERT_NE(run.json, nullptr);
    const JsonNode* errors = run.Data(L"client.filter_file", L"errors");
    ASSERT_NE(errors, nullptr);
    ASSERT_EQ(errors->Elements().size(), 1u);
    EXPECT_EQ(run.Member(errors->Elements()[0].get(), L"line")->Number(), 3);
    EXPECT_EQ(run.Member(errors->Elements()[0].get(), L"text")->Text(), L"(\"un\tclosed\x01\\");
    EXPECT_EQ(run.Data(L"client.filter_file", L"lines")->Number(), 3);
}

TEST_F(Doctor, ALockedDatabaseIsAWarningAndTheRunEnds) {
    HealthyMachine machine;
    const ULONGLONG freeStart = GetTickCount64();
    RunDoctorJson();
    const ULONGLONG freeTime = GetTickCount64() - freeStart;
    const ExclusiveLock lock(machine.Client().DatabaseFile());
    const ULONGLONG lockedStart = GetTickCount64();
    const DoctorRun run = RunDoctorJson();
    const ULONGLONG lockedTime = GetTickCount64() - lockedStart;
    // A measurement for the reader, never an assertion.
    std::printf("doctor run: %llu ms with the database free, %llu ms with it locked\n", freeTime, lockedTime);
    ASSERT_NE(run.json, nullptr);
    EXPECT_EQ(run.Verdict(L"client.database.lock"), L"warn") << Narrow(run.Finding(L"client.database.lock"));
    EXPECT_EQ(run.Data(L"client.database.lock", L"state")->Text(), L"locked");
    EXPECT_EQ(run.Verdict(L"client.database"), L"ok");
}

// Everything in the install folder, names and bytes.
std::map<std::wstring, std::string> FolderContent(const std::wstring& folder) {
    std::map<std::wstring, std::string> content;
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return content;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const auto& [inner, bytes] : FolderContent(folder + L"\\" + name)) content[name + L"\\" + inner] = bytes;
        } else {
            content[name] = ReadFileBytes(folder + L"\\" + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return content;
}

TEST_F(Doctor, AWalDatabaseIsReadWithoutSideFilesAndNothingIsWritten) {
    HealthyMachine machine;
    ExecuteSql(machine.Client().DatabaseFile(), "pragma journal_mode=wal");
    const auto before = FolderContent(machine.Client().InstallFolder());
    ASSERT_EQ(before.count(L"mydatabase.db-wal"), 0u);
    const DoctorRun run = RunDoctorJson(L"\"" + machine.SyncFolder() + L"\\new notes.txt\"");
    ASSERT_NE(run.json, nullptr);
    EXPECT_EQ(run.Data(L"client.database", L"journal_mode")->Text(), L"wal");
    EXPECT_EQ(run.Verdict(L"client.database"), L"ok") << Narrow(run.Finding(L"client.database"));
    EXPECT_EQ(FolderContent(machine.Client().InstallFolder()), before);
}

TEST_F(Doctor, PathsGetEachHandlersAnswerAndReason) {
    HealthyMachine machine;
    const std::wstring synchronised = machine.SyncFolder() + L"\\synchronised.txt";
    const std::wstring fresh = machine.SyncFolder() + L"\\new notes.txt";
    const DoctorRun run = RunDoctorJson(L"\"" + synchronised + L"\" \"" + fresh + L"\"");
    ASSERT_NE(run.json, nullptr);
    EXPECT_EQ(run.Data(L"path.1", L"path")->Text(), synchronised);
    const JsonNode* first = run.Data(L"path.1", L"handlers");
    const JsonNode* second = run.Data(L"path.2", L"handlers");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const auto badge = [&](const JsonNode* handlers, int index) {
        return run.Member(handlers->Elements()[index].get(), L"badge")->Flag();
    };
    const auto reason = [&](const JsonNode* handlers, int index) {
        return run.Member(handlers->Elements()[index].get(), L"reason")->Text();
    };
    EXPECT_TRUE(badge(first, 0));
    EXPECT_FALSE(badge(first, 1));
    EXPECT_FALSE(badge(first, 2));
    EXPECT_EQ(reason(first, 0), L"listed with status 0, nothing pending beneath it");
    EXPECT_FALSE(badge(second, 0));
    EXPECT_TRUE(badge(second, 1));
    EXPECT_EQ(reason(second, 1), L"passes the filter rules and is not listed yet, or is a folder with pending content");
    EXPECT_GT(run.Member(second->Elements()[1].get(), L"trace")->Elements().size(), 3u);

    const DoctorRun text = RunDoctor(L"\"" + fresh + L"\"");
    EXPECT_NE(text.output.find(".lumboExt1 (pending): badge: passes the filter rules"), std::string::npos)
        << text.output;
}

}  // namespace
}  // namespace lumbo::test
