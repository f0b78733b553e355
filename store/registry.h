#pragma once

#include <optional>
#include <string>

#include <windows.h>

namespace lumbo {

// Owns an open registry key; closes it once.
class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) : m_key(key) {}
    ~RegistryKey() { Reset(); }
    RegistryKey(RegistryKey&& other) noexcept : m_key(other.Release()) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens root\subKey; an empty RegistryKey (false) when that fails.
    static RegistryKey Open(HKEY root, const wchar_t* subKey, REGSAM access);

    HKEY Get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }
    HKEY Release() {
        HKEY key = m_key;
        m_key = nullptr;
        return key;
    }
    void Reset(HKEY key = nullptr) {
        if (m_key != nullptr) RegCloseKey(m_key);
        m_key = key;
    }

private:
    HKEY m_key = nullptr;
};

// Reads a REG_SZ value of at most maxBytes bytes and gives its text up to the
// first NUL. Nothing when the value is missing, not a string or larger.
std::optional<std::wstring> ReadStringValue(HKEY key, const wchar_t* valueName, DWORD maxBytes);

}  // namespace lumbo
