#include "tests/dll_host/loaded_dll.h"

#include "tests/frame/type_library.h"
#include "tests/support/test_com_object.h"

namespace lumbo::test {

LoadedDll& LoadedDll::Instance() {
    static LoadedDll dll;
    return dll;
}

LoadedDll::LoadedDll() : m_module(LoadLibraryW(BuiltDllPath().c_str())) {
    if (m_module == nullptr) return;
    m_getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
    m_canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllCanUnloadNow")));
}

HRESULT LoadedDll::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    if (m_getClassObject == nullptr) return E_UNEXPECTED;
    return m_getClassObject(clsid, iid, out);
}

HRESULT LoadedDll::CanUnloadNow() const {
    if (m_canUnloadNow == nullptr) return E_UNEXPECTED;
    return m_canUnloadNow();
}

HRESULT LoadedDll::Create(REFCLSID clsid, REFIID iid, void** out) const {
    ComPtr<IClassFactory> factory;
    const HRESULT result = GetClassObject(clsid, IID_IClassFactory, factory.OutVoid());
    if (FAILED(result)) return result;
    return factory->CreateInstance(nullptr, iid, out);
}

}  // namespace lumbo::test
