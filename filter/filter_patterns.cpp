#include "filter/filter_patterns.h"

#include <list>
#include <stdexcept>
#include <vector>

// MinGW's Boost configuration leaves out the Win32 traits; they build and run
// fine with this compiler, and they give character classes the meaning of the
// user's default locale, as on Windows.
#include <boost/regex/config.hpp>
#include <boost/regex/v5/w32_regex_traits.hpp>
#include <boost/regex.hpp>

#include "filter/split_string.h"
#include "text/conversions.h"
#include "text/lenient_conversions.h"

namespace lumbo {

using FilterRegex = boost::basic_regex<wchar_t, boost::w32_regex_traits<wchar_t>>;

struct CFilterPatterns::Compiled {
    std::vector<FilterRegex> patterns;
};

CFilterPatterns::CFilterPatterns(const std::string& fileText) : m_compiled(std::make_unique<Compiled>()) {
    const UINT codePage = ConversionCodePage();
    std::list<std::string> lines;
    SplitString(fileText, "\n", lines);
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        try {
            m_compiled->patterns.emplace_back(CodePageToWide(line, codePage), boost::regex_constants::normal);
        } catch (const boost::regex_error&) {
            // Not an expression: the client skips such a line too.
        }
    }
}

CFilterPatterns::~CFilterPatterns() = default;

bool CFilterPatterns::MatchAny(std::wstring name) const {
    const wchar_t* begin = name.c_str();
    const wchar_t* end = begin + std::char_traits<wchar_t>::length(begin);
    for (const FilterRegex& pattern : m_compiled->patterns) {
        try {
            if (boost::regex_search(begin, end, pattern, boost::match_default)) return true;
        } catch (const std::runtime_error&) {
            // The library stopped a runaway search; Explorer must not wait for it.
        }
    }
    return false;
}

std::size_t CFilterPatterns::Count() const { return m_compiled->patterns.size(); }

}  // namespace lumbo
