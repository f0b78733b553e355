#pragma once

// Trace output for a debugger attached to Explorer. There is no log file and
// no log level: the lines are what a developer reads in a debug-output viewer.

namespace lumbo {

// Writes the text as it stands.
void TraceLine(const char* text);

// Formats into a buffer of 4096 bytes, cutting a longer line at 4095 bytes.
void TraceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace lumbo
