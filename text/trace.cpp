#include "text/trace.h"

#include <cstdarg>
#include <cstdio>

#include <windows.h>

#include "text/conversions.h"
#include "text/lenient_conversions.h"

namespace lumbo {

void TraceLine(const char* text) { OutputDebugStringA(text); }

void TraceFormat(const char* format, ...) {
    char buffer[4096];
    va_list arguments;
    va_start(arguments, format);
    // vsnprintf cuts at the buffer's size and always terminates.
    const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    OutputDebugStringA(buffer);
}

std::string TraceText(std::wstring_view text) { return WideToCodePage(text, ConversionCodePage()); }

}  // namespace lumbo
