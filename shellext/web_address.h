#pragma once

// The client's web address, from the "weba" line of its configuration file.

#include <optional>
#include <string>
#include <string_view>

#include <windows.h>

namespace lumbo {

// The third space-separated word of the first line that begins with "weba".
// Lines end at line feeds (a carriage return stays with its line); empty lines
// and runs of spaces count as one separator. Nothing when there is no such
// line or it has fewer than three words.
std::optional<std::string> FindWebAddress(std::string_view configText);

// The address with the client's folder fragment appended.
std::string WebTarget(const std::string& address);

// The target as it may be handed to the shell's "open", or nothing when it
// must not be opened. Only a well-formed http:// or https:// address (scheme
// in any letter case) with a host is opened, since "open" on a path or another
// scheme starts a program; its host may hold only the characters a host may.
// After the host, every character a URL may not hold as it stands (quotes,
// blanks, control characters, anything outside ASCII) is percent-encoded as
// UTF-8, so the address reaches the browser as one argument of its command
// line and nothing of it can pass for an option.
std::optional<std::wstring> OpenableWebAddress(std::wstring_view target);

// Opens the client's web address in the default browser. S_OK also when there
// is nothing to open (no install folder, no file, no address, not a web
// address). Raises ConversionError when the target is not text of the ANSI
// code page.
HRESULT OpenClientWebAddress();

}  // namespace lumbo
