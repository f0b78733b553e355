#pragma once

#include <list>
#include <string>

namespace lumbo {

// Appends to `parts` the segments of `text` between occurrences of the
// one-character `separator`: n separators give n + 1 segments, empty ones
// included (an empty text gives one empty segment).
void SplitString(const std::string& text, const std::string& separator, std::list<std::string>& parts);
void SplitString(const std::wstring& text, const std::wstring& separator, std::list<std::wstring>& parts);

}  // namespace lumbo
