#pragma once

#include <string>
#include <vector>

#include "tools/shell_host/overlay_set.h"
#include "tools/shell_host/tree_listing.h"

namespace lumbo::tools {

// Draws the listing as Explorer would show it: each item's plain shell icon,
// the overlay icon of the handler that claims it drawn over it (taken from
// the icon file and index the handler itself names), and its name. Writes a
// 32-bit BMP file; false when drawing or writing fails.
bool WriteListingPicture(const std::wstring& bmpPath, const std::wstring& title,
                         const std::vector<ListedItem>& items, const std::vector<OverlayHandler>& handlers);

}  // namespace lumbo::tools
