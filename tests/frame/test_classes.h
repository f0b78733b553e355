#pragma once

// Small classes of the frame's own shape, for testing the frame apart from the
// shell classes: counted construction and destruction, one that cannot be
// built, and one with three interface pointers.

#include <stdexcept>

#include <windows.h>
#include <shlobj.h>

#include "lumboExt.h"
#include "server/com_object.h"
#include "server/dispatch_impl.h"
#include "tests/frame/counting_outer.h"

namespace lumbo::test {

struct LifetimeRecord {
    int constructed = 0;
    int destroyed = 0;
    LONG countSeenAtFinalRelease = 0;
    LONG moduleLocksAtClassCleanup = -1;
};
inline LifetimeRecord g_lifetimes;

class OverlayLike : public CComObjectRootEx<CComSingleThreadModel>,
                    public CComCoClass<OverlayLike, &CLSID_lumboExt0>,
                    public IDispatchImpl<IlumboExt0, &IID_IlumboExt0, &LIBID_lumboExtLib, 1, 0,
                                         CComTypeInfoHolder>,
                    public IShellIconOverlayIdentifier {
public:
    LUMBO_BEGIN_COM_MAP(OverlayLike)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IlumboExt0, IlumboExt0)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IDispatch, IlumboExt0)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IShellIconOverlayIdentifier, IShellIconOverlayIdentifier)
    LUMBO_END_COM_MAP()

    OverlayLike() { ++g_lifetimes.constructed; }
    virtual ~OverlayLike() {
        g_lifetimes.moduleLocksAtClassCleanup = _pAtlModule->ModuleLockCount();
        ++g_lifetimes.destroyed;
    }

    // A reference taken and dropped while dying must not destroy the object
    // a second time.
    void FinalRelease() {
        g_lifetimes.countSeenAtFinalRelease = m_dwRef;
        GetUnknown()->AddRef();
        GetUnknown()->Release();
    }

    STDMETHOD(IsMemberOf)(LPCWSTR, DWORD) override { return S_OK; }
    STDMETHOD(GetOverlayInfo)(LPWSTR, int, int*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(GetPriority)(int* priority) override {
        if (priority == nullptr) return E_POINTER;
        *priority = 42;
        return S_OK;
    }
};

class UnbuildableOverlay : public OverlayLike {
public:
    UnbuildableOverlay() { throw std::runtime_error("no room"); }
};

// A class with a final-construction step, told what that step does.
enum class FinalStep { kSucceeds, kFails, kThrows, kTakesAndDropsAReference };
inline FinalStep g_finalStep = FinalStep::kSucceeds;

class FinallyConstructedOverlay : public OverlayLike {
public:
    HRESULT FinalConstruct() {
        switch (g_finalStep) {
            case FinalStep::kFails:
                return E_ACCESSDENIED;
            case FinalStep::kThrows:
                throw std::logic_error("final construction");
            case FinalStep::kTakesAndDropsAReference:
                GetUnknown()->AddRef();
                GetUnknown()->Release();
                return S_OK;
            case FinalStep::kSucceeds:
                break;
        }
        return S_OK;
    }
};

class MenuLike : public CComObjectRootEx<CComSingleThreadModel>,
                 public CComCoClass<MenuLike, &CLSID_lumboShlExt>,
                 public IDispatchImpl<IlumboShlExt, &IID_IlumboShlExt, &LIBID_lumboExtLib, 1, 0,
                                      CComTypeInfoHolder>,
                 public IShellExtInit,
                 public IContextMenu {
public:
    LUMBO_BEGIN_COM_MAP(MenuLike)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IlumboShlExt, IlumboShlExt)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IDispatch, IlumboShlExt)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IShellExtInit, IShellExtInit)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IContextMenu, IContextMenu)
    LUMBO_END_COM_MAP()

    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE, IDataObject*, HKEY) override { return S_OK; }
    STDMETHODIMP QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) override { return S_OK; }
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO*) override { return S_OK; }
    STDMETHODIMP GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override { return E_NOTIMPL; }
};

}  // namespace lumbo::test
