#pragma once

#include <string>
#include <vector>

namespace lumbo::tools {

// Opens the registered context-menu handler for the selection as Explorer
// does (Initialize with the shell's data object, QueryContextMenu on a real
// popup menu), prints what it got, and with `invoke` picks the handler's item.
int ProbeContextMenu(const std::vector<std::wstring>& selection, bool invoke);

}  // namespace lumbo::tools
