#pragma once

// The selection as Windows 11's context menu hands it to a command: an array
// of shell items, read as file-system paths.

#include <string>
#include <vector>

#include <windows.h>

#include <shobjidl.h>

namespace lumbo {

// The file-system path of every item, in order. False when there is no array,
// an item cannot be read, or an item has no file-system path (a virtual
// folder, a library, a phone): such a selection cannot be sent. `selection`
// is replaced only on success; an empty array gives an empty selection.
bool ReadShellItemPaths(IShellItemArray* items, std::vector<std::wstring>& selection);

}  // namespace lumbo
