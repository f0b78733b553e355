#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace lumbo {

// The patterns of the client's filter file, one per non-empty line segment,
// in file order: Perl syntax, case-sensitive, matched anywhere in a name.
// The client writes the file in the ANSI code page; each line is read in it
// and matched as Unicode, so a double-byte character is one character of the
// pattern and of the name. A line that is no valid expression is skipped;
// the others still apply.
class CFilterPatterns {
public:
    explicit CFilterPatterns(const std::string& fileText);
    ~CFilterPatterns();
    CFilterPatterns(const CFilterPatterns&) = delete;
    CFilterPatterns& operator=(const CFilterPatterns&) = delete;

    // Whether some pattern occurs in the name (up to its first NUL). A
    // pattern whose search the regex library gives up on (its complexity
    // limit) counts as not found.
    bool MatchAny(std::wstring name) const;

    std::size_t Count() const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> m_compiled;
};

// A line of the filter file that is no valid expression, and so never applies.
struct FilterLineError {
    std::size_t lineNumber;  // the file's line, counted from 1
    std::string line;        // its bytes, as the client wrote them
    std::string message;     // the regex library's words
};

// The lines of `fileText` (as ReadFileText gives it) that CFilterPatterns
// skips, compiled under the same code page and traits. `lineCount` receives
// the number of non-empty lines.
std::vector<FilterLineError> FindFilterLineErrors(const std::string& fileText, std::size_t& lineCount);

}  // namespace lumbo
