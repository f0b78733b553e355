#pragma once

#include <string>

namespace lumbo {

// Lower-cases A to Z only: every other unit, 0x80 and above included, stays,
// so the result does not depend on the code page or the user's locale.
template <typename Char>
void LowerAsciiInPlace(std::basic_string<Char>& text) {
    for (Char& c : text) {
        if (c >= Char('A') && c <= Char('Z')) c = static_cast<Char>(c - Char('A') + Char('a'));
    }
}

}  // namespace lumbo
