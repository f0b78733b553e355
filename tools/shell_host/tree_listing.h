#pragma once

#include <string>
#include <vector>

#include "tools/shell_host/overlay_set.h"

namespace lumbo::tools {

// One item of a listed folder, with the icon indexes of the handlers that
// claimed it.
struct ListedItem {
    std::wstring path;
    std::wstring name;
    int depth = 0;
    bool folder = false;
    std::vector<int> badges;
};

// Walks the folder as Explorer would draw it (folders first, names in the
// shell's order) and asks every handler about every item.
std::vector<ListedItem> ListTree(const std::wstring& root, std::vector<OverlayHandler>& handlers);

// One line per item: indented name, then its badges ("none" when unclaimed).
std::wstring FormatTree(const std::wstring& root, const std::vector<ListedItem>& items);

}  // namespace lumbo::tools
