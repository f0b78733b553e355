#pragma once

// The extension serves only Explorer, the registration tool and the shell's
// class verifier, each recognised by its full path.

#include <string_view>

namespace lumbo {

// True when hostPath names explorer.exe in the Windows directory, or
// regsvr32.exe or verclsid.exe in its system32 folder (letters a-z compared
// without case, whole strings only).
bool IsAllowedHostPath(std::wstring_view windowsDirectory, std::wstring_view hostPath);

// IsAllowedHostPath for this process's executable.
bool IsAllowedHostProcess();

}  // namespace lumbo
