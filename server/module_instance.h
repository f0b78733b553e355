#pragma once

#include <windows.h>

namespace lumbo {

// The module whose file and resources the extension names: the DLL itself once
// loaded (set from DllMain), the running program until then.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

}  // namespace lumbo
