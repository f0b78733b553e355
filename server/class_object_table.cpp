#include "server/class_object_table.h"

namespace lumbo {

ClassObjectTable::ClassObjectTable(HINSTANCE typeLibInstance, ClassMapEntry* entries,
                                   std::size_t count)
    : m_hInstTypeLib(typeLibInstance), m_pEntries(entries), m_count(count) {
    if (InitializeCriticalSectionAndSpinCount(&m_csObjMap, 0)) {
        cbSize = sizeof(ClassObjectTable);
    } else {
        g_initFailed = true;
    }
}

ClassObjectTable::~ClassObjectTable() { Term(); }

void ClassObjectTable::Term() {
    if (cbSize == 0) return;
    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_pEntries[i].pCF != nullptr) {
            m_pEntries[i].pCF->Release();
            m_pEntries[i].pCF = nullptr;
        }
    }
    DeleteCriticalSection(&m_csObjMap);
    cbSize = 0;
}

void ClassObjectTable::ObjectMain(bool starting) {
    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_pEntries[i].pfnObjectMain != nullptr) m_pEntries[i].pfnObjectMain(starting);
    }
}

HRESULT GetClassObject(ClassObjectTable* table, REFCLSID clsid, REFIID iid, void** out) {
    if (table == nullptr) return E_INVALIDARG;
    if (table->cbSize == 0) return E_UNEXPECTED;
    if (out == nullptr) return E_POINTER;
    *out = nullptr;

    ClassMapEntry* found = nullptr;
    for (std::size_t i = 0; i < table->m_count; ++i) {
        ClassMapEntry& entry = table->m_pEntries[i];
        if (entry.pclsid == nullptr || entry.pfnGetClassObject == nullptr) continue;
        if (IsEqualGUID(clsid, *entry.pclsid)) {
            found = &entry;
            break;
        }
    }
    if (found == nullptr) return CLASS_E_CLASSNOTAVAILABLE;

    HRESULT result = S_OK;
    // Double-checked, so that two threads asking at once create it only once.
    if (found->pCF == nullptr) {
        CriticalSectionGuard guard(&table->m_csObjMap);
        if (found->pCF == nullptr) {
            result = found->pfnGetClassObject(found->pfnCreateInstance, IID_IUnknown,
                                              reinterpret_cast<void**>(&found->pCF));
        }
    }
    if (found->pCF != nullptr) result = found->pCF->QueryInterface(iid, out);
    if (*out == nullptr && result == S_OK) return CLASS_E_CLASSNOTAVAILABLE;
    return result;
}

}  // namespace lumbo
