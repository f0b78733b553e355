#pragma once

// Conversions between UTF-16 (Explorer, the registry), UTF-8 (the client's
// database) and the ANSI code pages (the narrow file-system calls and the
// client's files). Each has a fixed code page and a fixed way of failing.

#include <cstddef>
#include <string>
#include <string_view>

#include <windows.h>

#include "text/conversion_error.h"

namespace lumbo {

// UTF-16 to UTF-8, read up to the first NUL. Raises ConversionError.
std::string WideToUtf8(const wchar_t* text);
std::string WideToUtf8(const std::wstring& text);

// UTF-8 to the conversion code page. Never raises for content: text it cannot
// convert gives the empty string. An embedded NUL ends the result.
std::string Utf8ToAnsi(std::string utf8);

// UTF-16 into `out` (size in bytes) in `codePage`. Returns `out`, or null when
// a pointer is null or the conversion fails (a short buffer fails).
char* WideToAnsi(char* out, int outSize, const wchar_t* text, UINT codePage);

// System ANSI code page to UTF-16, read up to the first NUL. Raises ConversionError.
std::wstring AnsiToWide(const char* text);
std::wstring AnsiToWide(const std::string& text);

// UTF-16 into the system ANSI code page; bytes written including the NUL, 0 on
// failure (also when the text does not fit).
int WideToAnsiBuf(const wchar_t* text, char* out, int outSize);

// UTF-8 to UTF-16, every byte of the view (an embedded NUL stays). Strict:
// bytes that are not UTF-8 raise ConversionError "Invalid UTF-8 sequence.".
std::wstring Utf8ToWide(std::string_view utf8);

// The conversion code page, the one rule for every conversion that uses it
// (the lenient conversions, the registry scripts): the calling thread's ANSI
// code page; before Windows NT 5.0 the thread locale's default ANSI code page,
// or the system's when that cannot be read. Settled once per process.
UINT ConversionCodePage();

}  // namespace lumbo
