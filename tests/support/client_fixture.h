#pragma once

#include <string>

#include <windows.h>

#include "store/unique_handle.h"

namespace lumbo::test {

// Holds the client's named event while it lives, as the running client does.
class ClientEvent {
public:
    ClientEvent();

private:
    UniqueHandle m_event;
};

// Whether an event of the client's name exists right now (without creating one).
bool ClientEventExists();

// Owns the install-folder key under HKLM for one test: it is removed before the
// test sets it and again at the end, so no test sees another's value.
class InstallPathKey {
public:
    InstallPathKey();
    ~InstallPathKey();
    InstallPathKey(const InstallPathKey&) = delete;
    InstallPathKey& operator=(const InstallPathKey&) = delete;

    // The default value as REG_SZ, with its terminator.
    void SetFolder(const std::wstring& folder);
    // The default value with any type and bytes.
    void SetRaw(DWORD type, const void* data, DWORD size);
    // A named value only: the key opens but has no default value.
    void SetOtherValueOnly();
};

// Writes root\subKey's value (REG_SZ, with terminator); creates the key.
void SetRegistryString(HKEY root, const std::wstring& subKey, const wchar_t* name, const std::wstring& value);
void DeleteRegistryTree(HKEY root, const std::wstring& subKey);

}  // namespace lumbo::test
