#pragma once

// Trace output for a debugger attached to Explorer. There is no log file and
// no log level: the lines are what a developer reads in a debug-output viewer.

#include <string>
#include <string_view>

namespace lumbo {

// Writes the text as it stands.
void TraceLine(const char* text);

// Formats into a buffer of 4096 bytes, cutting a longer line at 4095 bytes.
void TraceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A path or name as trace lines show it: in the conversion code page, with
// its default character for what the code page lacks. Never decide on it.
std::string TraceText(std::wstring_view text);

}  // namespace lumbo
