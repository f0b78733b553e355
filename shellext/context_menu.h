#pragma once

// The context-menu handler: offers " 发送到Orvek网盘" for items outside the
// synchronised folder and copies them in when it is chosen. IUnknown is left
// to the COM wrapper that creates the object.

#include <string>
#include <vector>

#include <windows.h>

#include <shlobj.h>

#include "lumboExt.h"
#include "server/com_object.h"
#include "server/dispatch_impl.h"
#include "store/unique_handle.h"

namespace lumbo {

class ClumboShlExt : public CComObjectRootEx<CComSingleThreadModel>,
                     public CComCoClass<ClumboShlExt, &CLSID_lumboShlExt>,
                     public IDispatchImpl<IlumboShlExt, &IID_IlumboShlExt, &LIBID_lumboExtLib, 1, 0,
                                          CComTypeInfoHolder>,
                     public IShellExtInit,
                     public IContextMenu {
public:
    LUMBO_BEGIN_COM_MAP(ClumboShlExt)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IlumboShlExt, IlumboShlExt)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IDispatch, IlumboShlExt)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IShellExtInit, IShellExtInit)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IContextMenu, IContextMenu)
    LUMBO_END_COM_MAP()

    ClumboShlExt();
    virtual ~ClumboShlExt();
    ClumboShlExt(const ClumboShlExt&) = delete;
    ClumboShlExt& operator=(const ClumboShlExt&) = delete;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                  UINT uFlags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* pici) override;
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName,
                                  UINT cchMax) override;

private:
    // The selection and the synchronised folder, when the menu may be offered.
    bool RecordSelection(IDataObject* dataObject);

    wchar_t m_pathBuffer[MAX_PATH] = {};
    wchar_t m_syncFolder[MAX_PATH] = {};
    const UniqueGdiObject<HBITMAP> m_menuBitmap;
    std::vector<std::wstring> m_selection;
};

}  // namespace lumbo
