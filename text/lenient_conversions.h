#pragma once

// Conversions that never fail for content: whatever the source encoding
// cannot read becomes U+FFFD, a character no file name or pattern holds by
// accident. None of them depends on the C runtime's locale.

#include <string>
#include <string_view>

#include <windows.h>

namespace lumbo {

// UTF-8 to UTF-16, decoded byte by byte: each ill-formed sequence (a stray
// continuation byte, a cut-off, overlong or surrogate sequence, a value above
// U+10FFFF) gives one U+FFFD for its maximal valid beginning. NUL bytes stay.
std::wstring Utf8ToWideLenient(std::string_view utf8);

// Text of an ANSI code page to UTF-16, character by character: a byte the
// code page cannot read (a lead byte without its trail byte, say) gives
// U+FFFD. NUL bytes stay.
std::wstring CodePageToWide(std::string_view text, UINT codePage);

// UTF-16 to an ANSI code page, up to the first NUL, with the code page's
// default character for what it lacks. For diagnostics only: distinct names
// may come out alike.
std::string WideToCodePage(std::wstring_view text, UINT codePage);

}  // namespace lumbo
