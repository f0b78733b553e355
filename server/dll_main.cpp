#include <windows.h>

#include "server/module_instance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) lumbo::SetModuleInstance(instance);
    return TRUE;
}
