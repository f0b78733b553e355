#pragma once

// The send command as Windows 11's own context menu shows it: a command that
// a package declares for all files and folders. It decides and copies exactly
// as the classic context-menu handler does, through the same functions.
// IUnknown is left to the COM wrapper that creates the object.

#include <windows.h>

#include <ocidl.h>
#include <shobjidl.h>

#include "lumboExt.h"
#include "server/com_object.h"
#include "server/com_ptr.h"
#include "server/dispatch_impl.h"

namespace lumbo {

class ClumboExplorerCommand
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<ClumboExplorerCommand, &CLSID_lumboExplorerCommand>,
      public IDispatchImpl<IlumboExplorerCommand, &IID_IlumboExplorerCommand, &LIBID_lumboExtLib, 1, 0,
                           CComTypeInfoHolder>,
      public IExplorerCommand,
      public IObjectWithSite {
public:
    LUMBO_BEGIN_COM_MAP(ClumboExplorerCommand)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IlumboExplorerCommand, IlumboExplorerCommand)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IDispatch, IlumboExplorerCommand)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IExplorerCommand, IExplorerCommand)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IObjectWithSite, IObjectWithSite)
    LUMBO_END_COM_MAP()

    ClumboExplorerCommand() = default;
    virtual ~ClumboExplorerCommand() = default;
    ClumboExplorerCommand(const ClumboExplorerCommand&) = delete;
    ClumboExplorerCommand& operator=(const ClumboExplorerCommand&) = delete;

    // IExplorerCommand
    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) override;
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* infoTip) override;
    STDMETHODIMP GetCanonicalName(GUID* commandName) override;
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* bindContext) override;
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override;
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** site) override;

private:
    ComPtr<IUnknown> m_site;
};

// The command's fixed canonical name, the same in every version.
extern const GUID kSendCommandCanonicalName;

}  // namespace lumbo
