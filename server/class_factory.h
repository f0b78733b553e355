#pragma once

// The class object of every creatable class: IClassFactory over the class's
// instance creator.

#include "server/com_object.h"

namespace lumbo {

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
public:
    LUMBO_BEGIN_COM_MAP(CComClassFactory)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IClassFactory, IClassFactory)
    LUMBO_END_COM_MAP()

    CComClassFactory() = default;
    virtual ~CComClassFactory();
    CComClassFactory(const CComClassFactory&) = delete;
    CComClassFactory& operator=(const CComClassFactory&) = delete;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    void SetCreator(CreatorFunction creator) { m_creator = creator; }
    // Creates the object lock; its failure is the result.
    HRESULT InitialConstruct();

private:
    CRITICAL_SECTION m_objectLock{};
    bool m_objectLockInitialized = false;
    CreatorFunction m_creator = nullptr;
};

// Creates a cached class object around an instance creator, holding the one
// reference that the class-object table keeps.
using ClassObjectCreator = HRESULT(WINAPI*)(CreatorFunction instanceCreator, REFIID iid, void** out);
HRESULT WINAPI CreateClassObject(CreatorFunction instanceCreator, REFIID iid, void** out);

}  // namespace lumbo
