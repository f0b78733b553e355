#include "shellext/explorer_command.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "server/module_instance.h"
#include "shellext/menu_items.h"
#include "shellext/selection.h"
#include "shellext/shell_copy.h"
#include "shellext/shell_item_selection.h"

namespace lumbo {

// {5D0F3C7E-8B41-4C2A-9E6D-2A7F1B93C4E8}
const GUID kSendCommandCanonicalName = {0x5d0f3c7e, 0x8b41, 0x4c2a, {0x9e, 0x6d, 0x2a, 0x7f, 0x1b, 0x93, 0xc4, 0xe8}};

namespace {

// A copy of `text` the caller frees with CoTaskMemFree, as the interface asks.
HRESULT TaskMemCopy(const std::wstring& text, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return S_OK;
}

// The DLL's full path, however long.
std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(ModuleInstance(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

// The selection and its destination when the command may be offered for it.
bool SendableSelection(IShellItemArray* items, std::vector<std::wstring>& selection,
                       wchar_t (&syncFolder)[MAX_PATH]) {
    return ReadShellItemPaths(items, selection) && MayOfferSend(selection, syncFolder);
}

}  // namespace

STDMETHODIMP ClumboExplorerCommand::GetTitle(IShellItemArray* /*items*/, LPWSTR* name) {
    try {
        // The classic menu's leading blank only spaces the text from its bitmap.
        return TaskMemCopy(std::wstring(kMenuItemText + 1), name);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP ClumboExplorerCommand::GetIcon(IShellItemArray* /*items*/, LPWSTR* icon) {
    if (icon == nullptr) return E_POINTER;
    *icon = nullptr;
    try {
        const std::wstring dll = ModulePath();
        if (dll.empty()) return E_FAIL;
        return TaskMemCopy(dll + L",-" + std::to_wstring(IDI_SEND_COMMAND), icon);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP ClumboExplorerCommand::GetToolTip(IShellItemArray* /*items*/, LPWSTR* infoTip) {
    if (infoTip != nullptr) *infoTip = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ClumboExplorerCommand::GetCanonicalName(GUID* commandName) {
    if (commandName == nullptr) return E_POINTER;
    *commandName = kSendCommandCanonicalName;
    return S_OK;
}

STDMETHODIMP ClumboExplorerCommand::GetState(IShellItemArray* items, BOOL /*okToBeSlow*/, EXPCMDSTATE* state) {
    if (state == nullptr) return E_POINTER;
    *state = ECS_HIDDEN;
    // Never E_PENDING: the decision is a probe, one registry read and path
    // comparisons, quick enough for the menu's own thread.
    try {
        std::vector<std::wstring> selection;
        wchar_t syncFolder[MAX_PATH] = {};
        if (SendableSelection(items, selection, syncFolder)) *state = ECS_ENABLED;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

STDMETHODIMP ClumboExplorerCommand::Invoke(IShellItemArray* items, IBindCtx* /*bindContext*/) {
    try {
        // Decided again: the client or its folder may have changed since the
        // menu was shown.
        std::vector<std::wstring> selection;
        wchar_t syncFolder[MAX_PATH] = {};
        if (!SendableSelection(items, selection, syncFolder)) return E_INVALIDARG;
        return SendToSyncFolder(selection, syncFolder);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

STDMETHODIMP ClumboExplorerCommand::GetFlags(EXPCMDFLAGS* flags) {
    if (flags == nullptr) return E_POINTER;
    *flags = ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP ClumboExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands) {
    if (commands != nullptr) *commands = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ClumboExplorerCommand::SetSite(IUnknown* site) {
    if (site != nullptr) site->AddRef();
    m_site = ComPtr<IUnknown>(site);
    return S_OK;
}

STDMETHODIMP ClumboExplorerCommand::GetSite(REFIID iid, void** site) {
    if (site == nullptr) return E_POINTER;
    *site = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, site);
}

}  // namespace lumbo
