#include "server/host_check.h"

#include <string>

#include <windows.h>

namespace lumbo {

namespace {

constexpr DWORD kPathUnits = MAX_PATH;

// Upper-cases ASCII letters only: the comparison must not depend on the
// locale's case rules.
std::wstring UpperAscii(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& unit : upper) {
        if (unit >= L'a' && unit <= L'z') unit = static_cast<wchar_t>(unit - (L'a' - L'A'));
    }
    return upper;
}

}  // namespace

bool IsAllowedHostPath(std::wstring_view windowsDirectory, std::wstring_view hostPath) {
    const std::wstring host = UpperAscii(hostPath);
    const std::wstring directory(windowsDirectory);
    const std::wstring candidates[] = {
        UpperAscii(directory + L"\\system32\\verclsid.exe"),
        UpperAscii(directory + L"\\explorer.exe"),
        UpperAscii(directory + L"\\system32\\regsvr32.exe"),
    };
    for (const std::wstring& candidate : candidates) {
        if (host == candidate) return true;
    }
    return false;
}

bool IsAllowedHostProcess() {
    wchar_t windowsDirectory[kPathUnits] = {};
    const UINT directoryLength = GetWindowsDirectoryW(windowsDirectory, kPathUnits);
    if (directoryLength == 0 || directoryLength >= kPathUnits) windowsDirectory[0] = L'\0';

    wchar_t hostPath[kPathUnits] = {};
    const DWORD hostLength = GetModuleFileNameW(nullptr, hostPath, kPathUnits);
    // A truncated path is no path of an allowed host.
    if (hostLength == 0 || hostLength >= kPathUnits) return false;
    try {
        return IsAllowedHostPath(windowsDirectory, std::wstring_view(hostPath, hostLength));
    } catch (...) {
        return false;  // the loader's entry point must not throw
    }
}

}  // namespace lumbo
