#pragma once

#include <string>

namespace lumbo::tools {

// Writes UTF-16 text to standard output as UTF-8 bytes, unchanged by any
// console code page, so scripts read the names exactly.
void PrintUtf8(const std::wstring& text);

}  // namespace lumbo::tools
