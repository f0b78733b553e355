#include "store/registry.h"

#include <vector>

namespace lumbo {

RegistryKey OpenRegistryKey(HKEY root, const wchar_t* subKey, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, access, &key) != ERROR_SUCCESS) return RegistryKey();
    return RegistryKey(key);
}

std::optional<std::wstring> ReadStringValue(HKEY key, const wchar_t* valueName, DWORD maxBytes) {
    std::vector<wchar_t> buffer(maxBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD type = 0;
    DWORD size = maxBytes;
    const LONG result =
        RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    // ERROR_MORE_DATA: longer than the client promises; treat it as absent.
    if (result != ERROR_SUCCESS || type != REG_SZ || size > maxBytes) return std::nullopt;
    // The stored bytes need not end with a NUL; the extra unit does.
    buffer[size / sizeof(wchar_t)] = L'\0';
    return std::wstring(buffer.data());
}

}  // namespace lumbo
