#include "shellext/context_menu.h"

#include <algorithm>
#include <iterator>
#include <new>

#include "server/module_instance.h"
#include "shellext/clipboard_text.h"
#include "shellext/menu_items.h"
#include "shellext/selection.h"
#include "shellext/shell_copy.h"
#include "shellext/web_address.h"

namespace lumbo {

namespace {

enum Command : UINT { kCopyToSyncFolder = 0, kOpenWebAddress = 1, kEmptyClipboard = 2 };

}  // namespace

ClumboShlExt::ClumboShlExt()
    : m_menuBitmap(LoadBitmapW(ModuleInstance(), MAKEINTRESOURCEW(kMenuBitmapId))) {}

ClumboShlExt::~ClumboShlExt() = default;

STDMETHODIMP ClumboShlExt::Initialize(PCIDLIST_ABSOLUTE /*pidlFolder*/, IDataObject* pdtobj,
                                      HKEY /*hkeyProgID*/) {
    try {
        if (RecordSelection(pdtobj)) return S_OK;
    } catch (...) {
        // Out of memory while recording the selection: offer nothing.
    }
    // Nothing of a refused selection is kept, so that a command invoked
    // regardless finds nothing to copy and nowhere to copy it to.
    m_selection.clear();
    std::fill(std::begin(m_syncFolder), std::end(m_syncFolder), L'\0');
    return E_INVALIDARG;
}

bool ClumboShlExt::RecordSelection(IDataObject* dataObject) {
    if (!ReadSelection(dataObject, m_pathBuffer, m_selection)) return false;
    return MayOfferSend(m_selection, m_syncFolder);
}

STDMETHODIMP ClumboShlExt::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT /*idCmdLast*/,
                                            UINT uFlags) {
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, AddMenuItems(hmenu, indexMenu, idCmdFirst, uFlags, m_menuBitmap.Get()));
}

STDMETHODIMP ClumboShlExt::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
    // A verb string is any pointer above 0xFFFF; HIWORD would see only bits
    // 16 to 31 and take a 64-bit pointer for a command offset.
    if (pici == nullptr || (reinterpret_cast<UINT_PTR>(pici->lpVerb) >> 16) != 0) return E_INVALIDARG;
    try {
        switch (LOWORD(reinterpret_cast<UINT_PTR>(pici->lpVerb))) {
            case kCopyToSyncFolder: return SendToSyncFolder(m_selection, m_syncFolder);
            case kOpenWebAddress: return OpenClientWebAddress();
            case kEmptyClipboard: return PutEmptyClipboardText();
            default: return E_INVALIDARG;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        // ConversionError of the web address, or anything else: nothing opened.
        return E_FAIL;
    }
}

STDMETHODIMP ClumboShlExt::GetCommandString(UINT_PTR /*idCmd*/, UINT /*uType*/, UINT* /*pReserved*/,
                                            CHAR* /*pszName*/, UINT /*cchMax*/) {
    return E_INVALIDARG;
}

}  // namespace lumbo
