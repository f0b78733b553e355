#include "server/registry_update.h"

#include <cwchar>
#include <new>
#include <string>

#include "lumboExt.h"
#include "server/module_instance.h"
#include "server/reg_object.h"

namespace lumbo {

namespace {

constexpr size_t kEscapedPathUnits = 2 * MAX_PATH;

// The path as the scripts quote it: every apostrophe doubled, at most
// kEscapedPathUnits - 1 units.
std::wstring DoubleApostrophes(const wchar_t* path) {
    std::wstring escaped;
    for (const wchar_t* c = path; *c != L'\0'; ++c) {
        const size_t units = *c == L'\'' ? 2 : 1;
        if (escaped.size() + units > kEscapedPathUnits - 1) break;
        escaped.append(units, *c);
    }
    return escaped;
}

}  // namespace

HRESULT AddCommonVariables(CRegObject& registrar) { return registrar.AddVariable(L"APPID", kLumboAppIdString); }

HRESULT UpdateRegistryFromScriptFile(const wchar_t* modulePath, UINT resourceId, BOOL registerFlag,
                                     const RegistryVariable* extraVariables) {
    if (modulePath == nullptr) return E_INVALIDARG;
    if (wcsnlen(modulePath, MAX_PATH) >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    try {
        CRegObject registrar;
        for (const RegistryVariable* variable = extraVariables;
             variable != nullptr && variable->name != nullptr && variable->value != nullptr; ++variable) {
            registrar.AddVariable(variable->name, variable->value);
        }
        HRESULT result = AddCommonVariables(registrar);
        if (FAILED(result)) return result;
        const std::wstring escaped = DoubleApostrophes(modulePath);
        result = registrar.AddVariable(L"Module", escaped.c_str());
        if (FAILED(result)) return result;
        result = registrar.AddVariable(L"Module_Raw", escaped.c_str());
        if (FAILED(result)) return result;
        return registrar.ApplyScriptResource(modulePath, resourceId, L"REGISTRY", registerFlag);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        // Registration is called across the DLL's boundary: nothing may escape.
        return E_FAIL;
    }
}

HRESULT UpdateRegistryFromScript(UINT resourceId, BOOL registerFlag, const RegistryVariable* extraVariables) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(ModuleInstance(), path, MAX_PATH);
    if (length == 0) {
        const DWORD error = GetLastError();
        return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
    }
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    return UpdateRegistryFromScriptFile(path, resourceId, registerFlag, extraVariables);
}

}  // namespace lumbo
