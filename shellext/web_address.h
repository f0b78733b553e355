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

// Where reading the client's web address ends: what the menu's command would
// open, or why it opens nothing.
enum class WebAddressOutcome {
    NoInstallFolder,   // no install-folder value the DLL accepts
    PathUnusable,      // the configuration file's path is too long or not ANSI text
    NoFile,            // the configuration file does not open
    NoAddressLine,     // no "weba" line with three words
    NotOpenable,       // the address is not a well-formed http or https address
    TooLong,           // encoded, it does not fit the client's buffer
    Opens,
};
struct ClientWebAddress {
    WebAddressOutcome outcome = WebAddressOutcome::NoInstallFolder;
    std::wstring configPath;
    std::string address;  // the third word of the "weba" line, as read
    std::wstring target;  // what "open" is given, when it Opens
};

// Reads the configuration file and decides as the menu's command does. Raises
// ConversionError when the target is not text of the ANSI code page.
ClientWebAddress ResolveClientWebAddress();

// Opens the client's web address in the default browser. S_OK also when there
// is nothing to open (no install folder, no file, no address, not a web
// address). Raises ConversionError when the target is not text of the ANSI
// code page.
HRESULT OpenClientWebAddress();

}  // namespace lumbo
