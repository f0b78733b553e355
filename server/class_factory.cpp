#include "server/class_factory.h"

namespace lumbo {

CComClassFactory::~CComClassFactory() {
    if (m_objectLockInitialized) DeleteCriticalSection(&m_objectLock);
}

HRESULT CComClassFactory::InitialConstruct() {
    if (!InitializeCriticalSectionAndSpinCount(&m_objectLock, 0)) {
        const DWORD error = GetLastError();
        return error != 0 ? HRESULT_FROM_WIN32(error) : E_OUTOFMEMORY;
    }
    m_objectLockInitialized = true;
    return S_OK;
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr && !InlineIsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    if (m_creator == nullptr) return E_UNEXPECTED;
    return m_creator(outer, iid, out);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL lock) {
    if (lock) {
        _pAtlModule->ModuleLock();
    } else {
        _pAtlModule->ModuleUnlock();
    }
    return S_OK;
}

HRESULT WINAPI CreateClassObject(CreatorFunction instanceCreator, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    CComObjectCached<CComClassFactory>* object = nullptr;
    try {
        object = new CComObjectCached<CComClassFactory>();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    object->SetCreator(instanceCreator);
    HRESULT result = object->InitialConstruct();
    if (SUCCEEDED(result)) result = object->QueryInterface(iid, out);
    if (FAILED(result)) delete object;
    return result;
}

}  // namespace lumbo
