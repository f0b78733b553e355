#include "filter/split_string.h"

namespace lumbo {

void SplitString(const std::string& text, const std::string& separator, std::list<std::string>& parts) {
    std::string::size_type start = 0;
    for (std::string::size_type pos = text.find(separator, start); pos != std::string::npos;
         pos = text.find(separator, start)) {
        parts.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
    parts.push_back(text.substr(start));
}

}  // namespace lumbo
