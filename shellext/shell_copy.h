#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace lumbo {

// Copies the file or folder `from` (with everything below it) into the folder
// `to` through the shell, which shows its own progress and conflict dialogs.
// Paths longer than 255 units are skipped. The outcome is the shell's to show.
void CopyIntoFolder(const std::wstring& from, const std::wstring& to);

// The send command: one shell copy per selected path into `syncFolder`, in
// selection order, each path written to the debugger first. E_INVALIDARG,
// with nothing copied, when nothing is selected or there is no destination
// (an empty one would be the host's current directory).
HRESULT SendToSyncFolder(const std::vector<std::wstring>& selection, const std::wstring& syncFolder);

}  // namespace lumbo
