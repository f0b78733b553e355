#pragma once

#include <string>

namespace lumbo {

// Copies the file or folder `from` (with everything below it) into the folder
// `to` through the shell, which shows its own progress and conflict dialogs.
// Paths longer than 255 units are skipped. The outcome is the shell's to show.
void CopyIntoFolder(const std::wstring& from, const std::wstring& to);

}  // namespace lumbo
