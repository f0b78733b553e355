#pragma once

// Registry reads that tell every outcome apart, for the checks: a key that is
// missing is not a key that may not be read, and a value of the wrong type is
// neither. Everything is opened with KEY_READ in this program's native view.

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "store/registry.h"
#include "tools/doctor/json_value.h"

namespace lumbo::doctor {

// The native view, named: the 64-bit doctor reads the 64-bit registry even
// if started from a 32-bit parent; the 32-bit doctor its own (on 32-bit
// Windows the only) view.
#if defined(_WIN64)
inline constexpr REGSAM kNativeView = KEY_WOW64_64KEY;
inline constexpr wchar_t kNativeViewName[] = L"64-bit";
#else
inline constexpr REGSAM kNativeView = 0;
inline constexpr wchar_t kNativeViewName[] = L"32-bit";
#endif

struct KeyRead {
    RegistryKey key;
    LONG error = ERROR_SUCCESS;  // of RegOpenKeyExW when the key is not open
};
KeyRead OpenKey(HKEY root, const std::wstring& subKey);

// One value as stored: its type and bytes, or why it could not be had.
struct RawValue {
    enum class State { Read, KeyMissing, ValueMissing, Unreadable } state = State::KeyMissing;
    LONG error = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;

    bool IsString() const { return state == State::Read && (type == REG_SZ || type == REG_EXPAND_SZ); }
    // The stored text up to its first NUL (any type read as UTF-16 units).
    std::wstring Text() const;
    // The stored text's length in units, without a terminating NUL.
    std::size_t Units() const;
};
// Reads at most 64 KiB; a larger value is Unreadable (ERROR_MORE_DATA).
RawValue ReadRawValue(HKEY root, const std::wstring& subKey, const wchar_t* valueName);

// "REG_SZ", "REG_DWORD", ... or "type 42".
std::wstring TypeName(DWORD type);
// For findings: "REG_SZ of 12 units", "missing key", "could not read (error 5)".
std::wstring Describe(const RawValue& value);
// The raw value's facts as JSON: state, type, length, text when a string.
JsonValue ToJson(const RawValue& value);

// A string value's text when it is REG_SZ or REG_EXPAND_SZ (unexpanded).
std::optional<std::wstring> StringValue(const RawValue& value);

// The Windows message for an error code, without its line end.
std::wstring ErrorText(LONG error);

// Two registry paths or file names compared as Windows does: ignoring case.
bool SameName(const std::wstring& left, const std::wstring& right);

// Whether the text is a GUID in registry form equal to `guid`.
bool NamesGuid(const std::wstring& text, REFGUID guid);
std::wstring GuidText(REFGUID guid);

}  // namespace lumbo::doctor
