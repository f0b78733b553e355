#include "server/frame_module.h"

#include <new>

#include "lumboExt.h"

namespace lumbo {

bool g_initFailed = false;
CAtlModule* _pAtlModule = nullptr;

CAtlModule::CAtlModule() : _ATL_MODULE70{} {
    _pAtlModule = this;
    if (InitializeCriticalSectionAndSpinCount(&m_csTypeInfo, 0)) {
        cbSize = sizeof(_ATL_MODULE70);
    } else {
        g_initFailed = true;
    }
    m_libid = &LIBID_lumboExtLib;
}

CAtlModule::~CAtlModule() {
    Term();
    if (_pAtlModule == this) _pAtlModule = nullptr;
}

void CAtlModule::Term() {
    if (cbSize == 0) return;
    while (m_pTermFuncs != nullptr) {
        TermCallbackNode* node = m_pTermFuncs;
        m_pTermFuncs = node->next;
        node->callback(node->argument);
        delete node;
    }
    if (m_pGIT != nullptr) {
        m_pGIT->Release();
        m_pGIT = nullptr;
    }
    DeleteCriticalSection(&m_csTypeInfo);
    cbSize = 0;
}

LONG CAtlModule::ModuleLock() { return InterlockedIncrement(&m_nLockCnt); }
LONG CAtlModule::ModuleUnlock() { return InterlockedDecrement(&m_nLockCnt); }
LONG CAtlModule::ModuleLockCount() { return m_nLockCnt; }

HRESULT CAtlModule::GetGITPtr(IGlobalInterfaceTable** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    HRESULT result = S_OK;
    if (m_pGIT == nullptr) {
        if (cbSize == 0) return E_UNEXPECTED;
        CriticalSectionGuard guard(&m_csTypeInfo);
        if (m_pGIT == nullptr) {
            result = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&m_pGIT));
        }
    }
    if (SUCCEEDED(result) && m_pGIT != nullptr) {
        *out = m_pGIT;
        m_pGIT->AddRef();
    }
    return result;
}

HRESULT CAtlModule::AddCommonVariables(
    const std::function<HRESULT(const wchar_t*, const wchar_t*)>& addReplacement) {
    if (!addReplacement) return E_INVALIDARG;
    return addReplacement(L"APPID", kLumboAppIdString);
}

HRESULT CAtlModule::UpdateRegistryFromResource(UINT /*id*/, BOOL /*doRegister*/) {
    return E_NOTIMPL;
}

HRESULT CAtlModule::AddTermCallback(TermCallback callback, DWORD_PTR argument) {
    auto* node = new (std::nothrow) TermCallbackNode{callback, argument, nullptr};
    if (node == nullptr) return E_OUTOFMEMORY;
    if (cbSize == 0) {
        // No lock and no later termination: nothing would ever run it.
        delete node;
        return E_UNEXPECTED;
    }
    CriticalSectionGuard guard(&m_csTypeInfo);
    node->next = m_pTermFuncs;
    m_pTermFuncs = node;
    return S_OK;
}

CAtlBaseModule::CAtlBaseModule(HINSTANCE instance) : m_hInst(instance), m_hInstResource(instance) {
    if (InitializeCriticalSectionAndSpinCount(&m_csResource, 0)) {
        m_initialized = true;
    } else {
        g_initFailed = true;
    }
}

CAtlBaseModule::~CAtlBaseModule() {
    if (m_initialized) DeleteCriticalSection(&m_csResource);
}

CAtlWinModule::CAtlWinModule() {
    if (InitializeCriticalSectionAndSpinCount(&m_csWindowCreate, 0)) {
        m_initialized = true;
    } else {
        g_initFailed = true;
    }
}

CAtlWinModule::~CAtlWinModule() {
    if (m_initialized) DeleteCriticalSection(&m_csWindowCreate);
}

}  // namespace lumbo
