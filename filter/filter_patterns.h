#pragma once

#include <cstddef>
#include <memory>
#include <string>

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

}  // namespace lumbo
