#pragma once

#include <string>

namespace lumbo {

// Lower-cases A to Z only: every other byte, 0x80 and above included, stays,
// so the result does not depend on the code page.
inline void LowerAsciiInPlace(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

}  // namespace lumbo
