#include "tools/doctor/module_info.h"

#include <vector>

#include "store/unique_handle.h"

namespace lumbo::doctor {

RawValue ReadInprocServer(const std::wstring& clsidText) {
    return ReadRawValue(HKEY_CLASSES_ROOT, L"CLSID\\" + clsidText + L"\\InprocServer32", nullptr);
}

std::optional<std::wstring> RegisteredPath(const RawValue& value) {
    std::optional<std::wstring> text = StringValue(value);
    if (!text || text->empty()) return std::nullopt;
    if (value.type != REG_EXPAND_SZ) return text;
    std::vector<wchar_t> expanded(32768, L'\0');
    const DWORD needed = ExpandEnvironmentStringsW(text->c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (needed == 0 || needed > expanded.size()) return text;
    return std::wstring(expanded.data());
}

FileFacts InspectPath(const std::wstring& path) {
    FileFacts facts;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        facts.error = GetLastError();
        return facts;
    }
    facts.exists = true;
    facts.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return facts;
}

namespace {

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT size = 0;
    std::vector<std::wstring> queries;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &size)) {
        for (UINT i = 0; i < size / sizeof(Translation); ++i) {
            wchar_t prefix[64];
            swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translations[i].language, translations[i].codePage);
            queries.push_back(prefix);
        }
    }
    queries.push_back(L"\\StringFileInfo\\040904b0\\");
    queries.push_back(L"\\StringFileInfo\\080404b0\\");
    for (const std::wstring& prefix : queries) {
        wchar_t* text = nullptr;
        UINT length = 0;
        if (VerQueryValueW(block.data(), (prefix + name).c_str(), reinterpret_cast<void**>(&text), &length) &&
            text != nullptr && length > 0)
            return std::wstring(text, wcsnlen(text, length));
    }
    return {};
}

}  // namespace

ModuleVersion ReadModuleVersion(const std::wstring& path) {
    ModuleVersion version;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return version;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return version;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed != nullptr &&
        fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
        version.read = true;
        version.fileVersion = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                              std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                              std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                              std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    }
    version.productName = VersionString(block, L"ProductName");
    version.companyName = VersionString(block, L"CompanyName");
    return version;
}

std::wstring ReadMachine(const std::wstring& path) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    IMAGE_DOS_HEADER dos = {};
    DWORD read = 0;
    if (!ReadFile(file.Get(), &dos, sizeof dos, &read, nullptr) || read != sizeof dos || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        dos.e_lfanew <= 0)
        return {};
    LARGE_INTEGER at = {};
    at.QuadPart = dos.e_lfanew;
    if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) return {};
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER header;
    } nt = {};
    if (!ReadFile(file.Get(), &nt, sizeof nt, &read, nullptr) || read != sizeof nt || nt.signature != IMAGE_NT_SIGNATURE)
        return {};
    switch (nt.header.Machine) {
        case IMAGE_FILE_MACHINE_AMD64: return L"x64";
        case IMAGE_FILE_MACHINE_I386: return L"x86";
        case 0xAA64: return L"ARM64";
        default: return L"machine " + std::to_wstring(nt.header.Machine);
    }
}

std::wstring OwnMachine() {
#if defined(_M_X64) || defined(__x86_64__)
    return L"x64";
#elif defined(__aarch64__)
    return L"ARM64";
#else
    return L"x86";
#endif
}

std::wstring ProductOf(const std::wstring& dllPath) {
    const ModuleVersion version = ReadModuleVersion(dllPath);
    if (!version.productName.empty()) return version.productName;
    if (!version.companyName.empty()) return version.companyName;
    const std::size_t slash = dllPath.find_last_of(L"\\/");
    return slash == std::wstring::npos ? dllPath : dllPath.substr(slash + 1);
}

}  // namespace lumbo::doctor
