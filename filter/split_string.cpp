#include "filter/split_string.h"

namespace lumbo {

namespace {

template <typename Text>
void SplitInto(const Text& text, const Text& separator, std::list<Text>& parts) {
    typename Text::size_type start = 0;
    for (typename Text::size_type pos = text.find(separator, start); pos != Text::npos;
         pos = text.find(separator, start)) {
        parts.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
    parts.push_back(text.substr(start));
}

}  // namespace

void SplitString(const std::string& text, const std::string& separator, std::list<std::string>& parts) {
    SplitInto(text, separator, parts);
}

void SplitString(const std::wstring& text, const std::wstring& separator, std::list<std::wstring>& parts) {
    SplitInto(text, separator, parts);
}

}  // namespace lumbo
