#pragma once

// The table of creatable classes and their cached class objects, and the
// lookup behind DllGetClassObject.

#include <cstddef>

#include "server/class_factory.h"

namespace lumbo {

struct ClassMapEntry {
    const CLSID* pclsid;
    HRESULT(WINAPI* pfnUpdateRegistry)(BOOL doRegister);
    ClassObjectCreator pfnGetClassObject;
    CreatorFunction pfnCreateInstance;
    IUnknown* pCF;      // the cached class object, null until first asked for
    DWORD dwRegister;   // always 0 in an in-process server
    const wchar_t*(WINAPI* pfnGetObjectDescription)();
    const void*(WINAPI* pfnGetCategoryMap)();
    void(WINAPI* pfnObjectMain)(bool starting);
};

// Applies the registry script resource `Id` through the module.
template <UINT Id>
HRESULT WINAPI UpdateRegistryFromResourceId(BOOL doRegister) {
    return _pAtlModule->UpdateRegistryFromResource(Id, doRegister);
}

// The table entry of class T, whose registry script is resource RegistryId.
template <class T, UINT RegistryId>
ClassMapEntry MakeClassMapEntry() {
    return {&T::GetObjectCLSID(),
            &UpdateRegistryFromResourceId<RegistryId>,
            &CreateClassObject,
            &T::CreateInstance,
            nullptr,
            0,
            &T::GetObjectDescription,
            &T::GetCategoryMap,
            &T::ObjectMainFor};
}

class ClassObjectTable {
public:
    ClassObjectTable(HINSTANCE typeLibInstance, ClassMapEntry* entries, std::size_t count);
    ~ClassObjectTable();
    ClassObjectTable(const ClassObjectTable&) = delete;
    ClassObjectTable& operator=(const ClassObjectTable&) = delete;

    // Releases the cached class objects and deletes the lock.
    void Term();
    // Calls every entry's object-main.
    void ObjectMain(bool starting);

    UINT cbSize = 0;  // non-zero once the class-object lock exists
    HINSTANCE m_hInstTypeLib;
    ClassMapEntry* m_pEntries;
    std::size_t m_count;
    CRITICAL_SECTION m_csObjMap{};
};

HRESULT GetClassObject(ClassObjectTable* table, REFCLSID clsid, REFIID iid, void** out);

}  // namespace lumbo
