#pragma once

#include <windows.h>
#include <shlobj.h>

#include "shellext/overlay_frame.h"

namespace lumbo {

// IShellIconOverlayIdentifier for one handler class: `Handler` supplies
// kIconIndex and Decide(store, path). IUnknown is the COM frame's.
template <class Handler>
class ShellOverlay : public IShellIconOverlayIdentifier {
public:
    // STDMETHOD, as the interface declares them: its methods are nothrow,
    // and an override may not promise less.
    // Explorer's attributes are never read: the answer depends on the path alone.
    STDMETHOD(IsMemberOf)(LPCWSTR path, DWORD /*attributes*/) override {
        return OverlayIsMemberOf(
            path, [this](const OverlayQuery& query) { return static_cast<Handler*>(this)->Decide(query); });
    }

    STDMETHOD(GetOverlayInfo)(LPWSTR iconFile, int iconFileSize, int* iconIndex, DWORD* flags) override {
        return OverlayInfo(iconFile, iconFileSize, iconIndex, flags, Handler::kIconIndex);
    }

    STDMETHOD(GetPriority)(int* priority) override { return OverlayPriority(priority); }
};

}  // namespace lumbo
