#pragma once

#include <string>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include "tools/explain/overlay_explanation.h"
#include "tools/shell_host/com_apartment.h"

namespace lumbo::tools {

// One registered overlay identifier, created as Explorer creates it.
struct OverlayHandler {
    std::wstring name;  // its key under ShellIconOverlayIdentifiers
    CLSID clsid;
    ComPtr<IShellIconOverlayIdentifier> overlay;
    std::wstring iconFile;
    int iconIndex = -1;
    int priority = -1;
};

// Every overlay identifier registered in HKLM, in the registry's order, each
// created through CoCreateInstance and asked for its icon and priority.
// Handlers that fail to come up are reported on stderr and left out.
std::vector<OverlayHandler> LoadRegisteredOverlays();

}  // namespace lumbo::tools
