#include "store/install_path.h"

#include <windows.h>

#include "store/client_contract.h"
#include "store/registry.h"
#include "text/conversions.h"

namespace lumbo {

namespace {
constexpr DWORD kInstallPathMaxBytes = (kInstallPathMaxUnits + 1) * sizeof(wchar_t);
}  // namespace

std::wstring ReadInstallPath() {
    const RegistryKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kInstallPathKey, KEY_READ);
    if (!key) return {};
    return ReadStringValue(key.Get(), nullptr, kInstallPathMaxBytes).value_or(std::wstring());
}

std::string DatabasePath() {
    const std::wstring installPath = ReadInstallPath();
    if (installPath.empty()) return {};
    return WideToUtf8(installPath + kDatabaseFileSuffix);
}

}  // namespace lumbo
