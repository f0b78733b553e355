#pragma once

// The module object of the COM server: the lock count that keeps the DLL
// loaded, the termination callbacks run at unload, and the type-info lock.

#include <functional>

#include <windows.h>
#include <objidl.h>

namespace lumbo {

// Set whenever one of the frame's critical sections fails to initialise; the
// DLL then refuses to load.
extern bool g_initFailed;

// The termination callbacks are __stdcall, as the type-information holder's is.
using TermCallback = void(WINAPI*)(DWORD_PTR argument);

struct TermCallbackNode {
    TermCallback callback;
    DWORD_PTR argument;
    TermCallbackNode* next;
};

// The module record.
struct _ATL_MODULE70 {
    UINT cbSize;                   // non-zero once the type-info lock exists
    LONG m_nLockCnt;               // reasons the DLL must stay loaded
    TermCallbackNode* m_pTermFuncs;  // newest first
    CRITICAL_SECTION m_csTypeInfo;   // type-info loading and the termination list
    IGlobalInterfaceTable* m_pGIT;   // created only on request
};

class CAtlModule : public _ATL_MODULE70 {
public:
    CAtlModule();
    virtual ~CAtlModule();
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    virtual LONG ModuleLock();
    virtual LONG ModuleUnlock();
    virtual LONG ModuleLockCount();
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** out);
    // Adds the registrar's "APPID" replacement through addReplacement(name, value).
    virtual HRESULT AddCommonVariables(
        const std::function<HRESULT(const wchar_t* name, const wchar_t* value)>& addReplacement);

    // Applies (or undoes) the registry script resource `id`. The registrar
    // provides it; until then registration is refused rather than faked.
    virtual HRESULT UpdateRegistryFromResource(UINT id, BOOL doRegister);

    // Runs at termination, newest first. Fails only when out of memory.
    HRESULT AddTermCallback(TermCallback callback, DWORD_PTR argument);
    CRITICAL_SECTION* TypeInfoLock() { return &m_csTypeInfo; }

    // Runs the termination callbacks, releases the global interface table and
    // deletes the type-info lock; the record is then uninitialised.
    void Term();

    // The module's LIBID.
    const GUID* m_libid = nullptr;
};

// The one module object of the process (published by its constructor).
extern CAtlModule* _pAtlModule;

template <class T>
class CAtlModuleT : public CAtlModule {};

template <class T>
class CAtlDllModuleT : public CAtlModuleT<T> {};

// The base record: the DLL's instance and resource handles.
class CAtlBaseModule {
public:
    explicit CAtlBaseModule(HINSTANCE instance);
    ~CAtlBaseModule();
    CAtlBaseModule(const CAtlBaseModule&) = delete;
    CAtlBaseModule& operator=(const CAtlBaseModule&) = delete;

    HINSTANCE m_hInst;
    HINSTANCE m_hInstResource;
    bool m_initialized = false;
    CRITICAL_SECTION m_csResource{};
};

// The window record: an empty list of window classes and its lock.
class CAtlWinModule {
public:
    CAtlWinModule();
    ~CAtlWinModule();
    CAtlWinModule(const CAtlWinModule&) = delete;
    CAtlWinModule& operator=(const CAtlWinModule&) = delete;

    bool m_initialized = false;
    CRITICAL_SECTION m_csWindowCreate{};
};

// Enters a critical section for one scope.
class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CRITICAL_SECTION* section) : m_section(section) {
        EnterCriticalSection(m_section);
    }
    ~CriticalSectionGuard() { LeaveCriticalSection(m_section); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

private:
    CRITICAL_SECTION* m_section;
};

}  // namespace lumbo
