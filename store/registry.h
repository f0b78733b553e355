#pragma once

#include <optional>
#include <string>

#include <windows.h>

#include "store/unique_handle.h"

namespace lumbo {

struct RegistryKeyTraits {
    using Handle = HKEY;
    static bool Holds(HKEY key) { return key != nullptr; }
    static void Close(HKEY key) { RegCloseKey(key); }
};
// Owns an open registry key; closes it once.
using RegistryKey = UniqueResource<RegistryKeyTraits>;

// Opens root\subKey; an empty RegistryKey (false) when that fails.
RegistryKey OpenRegistryKey(HKEY root, const wchar_t* subKey, REGSAM access);

// Reads a REG_SZ value of at most maxBytes bytes and gives its text up to the
// first NUL. Nothing when the value is missing, not a string or larger.
std::optional<std::wstring> ReadStringValue(HKEY key, const wchar_t* valueName, DWORD maxBytes);

// As ReadStringValue, but a REG_EXPAND_SZ value is accepted too and given with
// its environment variables expanded, as Windows reads such values (a name
// that is not set stays as written). maxBytes bounds the stored value; the
// expanded text may be longer.
std::optional<std::wstring> ReadExpandableStringValue(HKEY key, const wchar_t* valueName, DWORD maxBytes);

}  // namespace lumbo
