#include "tests/support/built_dll.h"

#include <vector>

#include <windows.h>

namespace lumbo::test {

std::wstring BuiltDllPath() {
    wchar_t fromEnvironment[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"LUMBO_DLL", fromEnvironment, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return fromEnvironment;
    std::vector<wchar_t> self(32768);
    const DWORD selfLength = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    std::wstring path(self.data(), selfLength);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"lumboExt.dll";
}

}  // namespace lumbo::test
