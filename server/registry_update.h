#pragma once

#include <windows.h>

namespace lumbo {

class CRegObject;

// One replacement variable for a script; a list of them ends with a pair of
// nulls.
struct RegistryVariable {
    const wchar_t* name;
    const wchar_t* value;
};

// Adds the variables every script of this server may use ("APPID").
HRESULT AddCommonVariables(CRegObject& registrar);

// Applies the "REGISTRY" script resource of this DLL (ModuleInstance()) with
// the extra variables (or null), the common ones and "Module"/"Module_Raw".
HRESULT UpdateRegistryFromScript(UINT resourceId, BOOL registerFlag, const RegistryVariable* extraVariables);

// The same for the module file at modulePath, which must be shorter than
// MAX_PATH units.
HRESULT UpdateRegistryFromScriptFile(const wchar_t* modulePath, UINT resourceId, BOOL registerFlag,
                                     const RegistryVariable* extraVariables);

}  // namespace lumbo
