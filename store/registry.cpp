#include "store/registry.h"

#include <utility>
#include <vector>

namespace lumbo {

RegistryKey OpenRegistryKey(HKEY root, const wchar_t* subKey, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, access, &key) != ERROR_SUCCESS) return RegistryKey();
    return RegistryKey(key);
}

namespace {

struct StoredText {
    DWORD type;
    std::wstring text;
};

// A value of at most maxBytes bytes, of any type, up to its first NUL.
std::optional<StoredText> ReadStoredText(HKEY key, const wchar_t* valueName, DWORD maxBytes) {
    std::vector<wchar_t> buffer(maxBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD type = 0;
    DWORD size = maxBytes;
    const LONG result =
        RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    // ERROR_MORE_DATA: longer than the client promises; treat it as absent.
    if (result != ERROR_SUCCESS || size > maxBytes) return std::nullopt;
    // The stored bytes need not end with a NUL; the extra unit does.
    buffer[size / sizeof(wchar_t)] = L'\0';
    return StoredText{type, std::wstring(buffer.data())};
}

std::optional<std::wstring> ExpandEnvironment(const std::wstring& text) {
    std::vector<wchar_t> expanded(text.size() + 1, L'\0');
    // The answer is the size needed, terminator included; the environment may
    // change between the calls, so ask again until it fits.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD needed =
            ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0) return std::nullopt;
        if (needed <= expanded.size()) return std::wstring(expanded.data());
        expanded.assign(needed, L'\0');
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::wstring> ReadStringValue(HKEY key, const wchar_t* valueName, DWORD maxBytes) {
    std::optional<StoredText> stored = ReadStoredText(key, valueName, maxBytes);
    if (!stored || stored->type != REG_SZ) return std::nullopt;
    return std::move(stored->text);
}

std::optional<std::wstring> ReadExpandableStringValue(HKEY key, const wchar_t* valueName, DWORD maxBytes) {
    std::optional<StoredText> stored = ReadStoredText(key, valueName, maxBytes);
    if (!stored) return std::nullopt;
    if (stored->type == REG_SZ) return std::move(stored->text);
    if (stored->type == REG_EXPAND_SZ) return ExpandEnvironment(stored->text);
    return std::nullopt;
}

}  // namespace lumbo
