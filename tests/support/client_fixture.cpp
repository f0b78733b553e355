#include "tests/support/client_fixture.h"

#include <stdexcept>

#include "store/client_contract.h"

namespace lumbo::test {

ClientEvent::ClientEvent() : m_event(CreateEventW(nullptr, FALSE, FALSE, kClientEventName)) {
    if (!m_event) throw std::runtime_error("cannot create the client event");
}

bool ClientEventExists() {
    const UniqueHandle event(OpenEventW(SYNCHRONIZE, FALSE, kClientEventName));
    return static_cast<bool>(event);
}

void DeleteRegistryTree(HKEY root, const std::wstring& subKey) { RegDeleteTreeW(root, subKey.c_str()); }

void SetRegistryString(HKEY root, const std::wstring& subKey, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create registry key");
    const LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) throw std::runtime_error("cannot write registry value");
}

InstallPathKey::InstallPathKey() { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kInstallPathKey); }

InstallPathKey::~InstallPathKey() { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kInstallPathKey); }

void InstallPathKey::SetFolder(const std::wstring& folder) {
    SetRegistryString(HKEY_LOCAL_MACHINE, kInstallPathKey, nullptr, folder);
}

void InstallPathKey::SetRaw(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallPathKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot create install key");
    const LONG result = RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) throw std::runtime_error("cannot write install value");
}

void InstallPathKey::SetOtherValueOnly() {
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kInstallPathKey);
    SetRegistryString(HKEY_LOCAL_MACHINE, kInstallPathKey, L"Other", L"C:\\Sync");
}

}  // namespace lumbo::test
