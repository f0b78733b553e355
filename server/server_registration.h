#pragma once

// Self-registration: the AppID, every class's keys and the type library.

#include <windows.h>
#include <oaidl.h>

namespace lumbo {

class ClassObjectTable;

// The AppID script, then each class's script in table order, then the type
// library; the first failure ends it (the failing script's own root block is
// rolled back; what came before stays). The thread locale is the system's
// while it runs, so scripts are read in the system's code page.
HRESULT RegisterServer(ClassObjectTable& classObjects);

// Each class's script in table order, then the type library, then the AppID;
// the first failure ends it.
HRESULT UnregisterServer(ClassObjectTable& classObjects);

// No class declares component categories: nothing to do with or without a list.
HRESULT RegisterClassCategories(const CLSID* clsid, const void* categories, BOOL registerFlag);

// The DLL's own type library (its first TYPELIB resource), or failing that
// the .tlb file of the same name beside it. `path` receives the file used.
HRESULT LoadModuleTypeLib(ITypeLib** typeLib, BSTR* path);
HRESULT RegisterModuleTypeLib();
HRESULT UnregisterModuleTypeLib();

}  // namespace lumbo
