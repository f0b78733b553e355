#pragma once

#include <string>

namespace lumbo {

// The client's filter file as one text of its bytes: read in text mode (CR LF
// is one line end) in segments of at most 1023 bytes, each cut at its first
// NUL and followed by a line feed. A file that cannot be opened gives "".
std::string ReadFileText(const std::wstring& path);

}  // namespace lumbo
