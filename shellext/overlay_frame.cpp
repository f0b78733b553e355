#include "shellext/overlay_frame.h"

#include <shlobj.h>

#include "server/module_instance.h"
#include "store/client_probe.h"
#include "store/install_path.h"
#include "store/read_transaction.h"
#include "store/status_store.h"

namespace lumbo {

HRESULT OverlayIsMemberOf(const wchar_t* path, const OverlayDecision& decide) noexcept {
    try {
        if (path == nullptr || !IsClientRunning()) return S_FALSE;
        const std::string databasePath = DatabasePath();
        const StatusStore store = OpenStatusStore(databasePath);
        if (!store) return S_FALSE;
        bool badge = false;
        {
            // The call's statements and store markers share one read: its
            // locks are taken once, and all of them see the same commits.
            const ReadTransaction transaction(store.get());
            badge = decide(OverlayQuery{store.get(), databasePath, path});
        }
        // Answers read while the client rewrote the file beneath them are
        // not to be trusted either way.
        if (!store.ReadsWereStable()) return S_FALSE;
        return badge ? S_OK : S_FALSE;
    } catch (...) {
        return S_FALSE;
    }
}

HRESULT OverlayInfo(wchar_t* iconFile, int iconFileSize, int* iconIndex, DWORD* flags, int handlerIconIndex) noexcept {
    if (iconFile == nullptr || iconIndex == nullptr || flags == nullptr) return E_POINTER;
    // A short buffer gets a cut path; the shell then simply finds no icon.
    if (iconFileSize > 0) GetModuleFileNameW(ModuleInstance(), iconFile, static_cast<DWORD>(iconFileSize));
    *iconIndex = handlerIconIndex;
    *flags = ISIOI_ICONFILE | ISIOI_ICONINDEX;
    return S_OK;
}

HRESULT OverlayPriority(int* priority) noexcept {
    if (priority == nullptr) return E_POINTER;
    *priority = 0;
    return S_OK;
}

}  // namespace lumbo
