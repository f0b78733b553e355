#include <windows.h>

#include "server/host_check.h"
#include "server/lumbo_module.h"
#include "server/module_instance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    // Asked on every call: the extension must never run inside another program.
    if (!lumbo::IsAllowedHostProcess()) return FALSE;
    if (reason == DLL_PROCESS_ATTACH) {
        if (lumbo::g_initFailed) return FALSE;
        lumbo::SetModuleInstance(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return lumbo::_AtlModule.DllGetClassObject(clsid, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return lumbo::_AtlModule.DllCanUnloadNow(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return lumbo::_AtlModule.DllRegisterServer(); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return lumbo::_AtlModule.DllUnregisterServer(); }
