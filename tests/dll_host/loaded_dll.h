#pragma once

// The built extension loaded into this host through LoadLibrary, and its
// exports, as Explorer reaches them.

#include <windows.h>
#include <unknwn.h>

namespace lumbo::test {

class LoadedDll {
public:
    // Loads the DLL for the whole program (a DLL-level test never unloads it:
    // the point of some tests is that nothing needs reloading).
    static LoadedDll& Instance();

    bool Loaded() const { return m_module != nullptr; }
    HMODULE Module() const { return m_module; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    HRESULT CanUnloadNow() const;
    // DllGetClassObject → IClassFactory::CreateInstance → QueryInterface.
    HRESULT Create(REFCLSID clsid, REFIID iid, void** out) const;

private:
    LoadedDll();

    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

    HMODULE m_module = nullptr;
    GetClassObjectFunction m_getClassObject = nullptr;
    CanUnloadNowFunction m_canUnloadNow = nullptr;
};

}  // namespace lumbo::test
