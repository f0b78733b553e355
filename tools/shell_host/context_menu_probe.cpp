#include "tools/shell_host/context_menu_probe.h"

#include <windows.h>
#include <shlobj.h>
#include <shlguid.h>

#include "store/unique_handle.h"
#include "tools/shell_host/com_apartment.h"
#include "tools/shell_host/console_output.h"

namespace lumbo::tools {

namespace {

constexpr wchar_t kHandlerKey[] = L"*\\ShellEx\\ContextMenuHandlers\\lumboExt";
constexpr UINT kFirstCommand = 1;

std::wstring Hex(HRESULT result) {
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", static_cast<unsigned long>(result));
    return text;
}

// The shell's own data object for items of one folder.
ComPtr<IDataObject> ShellDataObject(const std::vector<std::wstring>& paths) {
    ComPtr<IDataObject> dataObject;
    std::vector<PIDLIST_ABSOLUTE> ids;
    for (const std::wstring& path : paths) {
        PIDLIST_ABSOLUTE id = nullptr;
        if (SUCCEEDED(SHParseDisplayName(path.c_str(), nullptr, &id, 0, nullptr))) ids.push_back(id);
    }
    if (ids.size() == paths.size() && !ids.empty()) {
        ComPtr<IShellFolder> parent;
        PCUITEMID_CHILD first = nullptr;
        if (SUCCEEDED(SHBindToParent(ids[0], IID_IShellFolder, parent.OutVoid(), &first))) {
            std::vector<PCUITEMID_CHILD> children;
            for (PIDLIST_ABSOLUTE id : ids) children.push_back(ILFindLastID(id));
            parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(), IID_IDataObject,
                                  nullptr, dataObject.OutVoid());
        }
    }
    for (PIDLIST_ABSOLUTE id : ids) CoTaskMemFree(id);
    return dataObject;
}

void PrintMenu(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[256] = {};
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_CHECKMARKS;
        item.dwTypeData = text;
        item.cch = 255;
        GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item);
        if (item.fType & MFT_SEPARATOR) {
            PrintUtf8(L"  " + std::to_wstring(position) + L": ----------\n");
        } else {
            PrintUtf8(L"  " + std::to_wstring(position) + L": [" + std::wstring(text) + L"] command " +
                      std::to_wstring(item.wID - kFirstCommand) +
                      (item.hbmpUnchecked != nullptr ? L", with its bitmap" : L"") + L"\n");
        }
    }
}

}  // namespace

int ProbeContextMenu(const std::vector<std::wstring>& selection, bool invoke) {
    wchar_t clsidText[64] = {};
    DWORD size = sizeof clsidText - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, kHandlerKey, nullptr, RRF_RT_REG_SZ, nullptr, clsidText, &size) !=
        ERROR_SUCCESS) {
        PrintUtf8(L"no context-menu handler registered under HKCR\\*\\ShellEx\\ContextMenuHandlers\\lumboExt\n");
        return 1;
    }
    CLSID clsid;
    if (FAILED(CLSIDFromString(clsidText, &clsid))) return 1;
    ComPtr<IShellExtInit> init;
    const HRESULT created = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.OutVoid());
    if (FAILED(created)) {
        PrintUtf8(L"CoCreateInstance " + std::wstring(clsidText) + L" failed: " + Hex(created) + L"\n");
        return 1;
    }
    ComPtr<IDataObject> dataObject = ShellDataObject(selection);
    if (!dataObject) {
        PrintUtf8(L"the shell made no data object for the selection\n");
        return 1;
    }
    const HRESULT initialized = init->Initialize(nullptr, dataObject.Get(), nullptr);
    if (initialized != S_OK) {
        PrintUtf8(L"Initialize: " + Hex(initialized) + L" (no menu item: the client is absent, the folder unknown,"
                  L" or an item lies inside the synchronised folder)\n");
        return 0;
    }
    ComPtr<IContextMenu> contextMenu;
    if (FAILED(init->QueryInterface(IID_IContextMenu, contextMenu.OutVoid()))) return 1;
    const UniqueMenu menu(CreatePopupMenu());
    const HRESULT queried = contextMenu->QueryContextMenu(menu.Get(), 0, kFirstCommand, 0x7FFF, CMF_NORMAL);
    PrintUtf8(L"QueryContextMenu: " + Hex(queried) + L", " + std::to_wstring(HRESULT_CODE(queried)) +
              L" command(s)\n");
    PrintMenu(menu.Get());
    int status = 0;
    if (invoke) {
        CMINVOKECOMMANDINFO command = {};
        command.cbSize = sizeof command;
        command.lpVerb = MAKEINTRESOURCEA(0);
        command.nShow = SW_SHOWNORMAL;
        const HRESULT invoked = contextMenu->InvokeCommand(&command);
        PrintUtf8(L"InvokeCommand(0): " + Hex(invoked) + L"\n");
        status = SUCCEEDED(invoked) ? 0 : 1;
    }
    return status;
}

}  // namespace lumbo::tools
