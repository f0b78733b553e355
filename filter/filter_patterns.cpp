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

std::vector<FilterLineError> FindFilterLineErrors(const std::string& fileText, std::size_t& lineCount) {
    // ReadFileText gives each piece fgets read, then a line feed: a piece
    // holds its own line feed when it ended a line of the file, and it is
    // 1023 bytes long when a longer line goes on in the next piece. The
    // non-empty pieces are the patterns, in the order CFilterPatterns
    // compiles them; counting the file's lines along the way names them.
    constexpr std::size_t kPieceBytes = 1023;
    const UINT codePage = ConversionCodePage();
    std::vector<FilterLineError> errors;
    lineCount = 0;
    std::size_t fileLine = 1;
    for (std::size_t at = 0; at < fileText.size();) {
        std::size_t end = fileText.find('\n', at);
        if (end == std::string::npos) end = fileText.size();
        const std::string piece = fileText.substr(at, end - at);
        const std::size_t lineOfPiece = fileLine;
        at = end + 1;
        if (piece.size() != kPieceBytes) {
            // Its own line feed, then the one ReadFileText added.
            if (at < fileText.size() && fileText[at] == '\n') ++at;
            ++fileLine;
        }
        if (piece.empty()) continue;
        ++lineCount;
        try {
            const FilterRegex compiled(CodePageToWide(piece, codePage), boost::regex_constants::normal);
        } catch (const boost::regex_error& error) {
            errors.push_back({lineOfPiece, piece, error.what()});
        }
    }
    return errors;
}

}  // namespace lumbo
