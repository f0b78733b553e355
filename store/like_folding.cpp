#include "store/like_folding.h"

#include <cstring>

namespace lumbo {

namespace {

// The value bits of a lead byte from 0xC0 on, as SQLite's reader takes them.
constexpr unsigned char kLeadBits[64] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00, 0x00,
};

// Reads one character as SQLite's own UTF-8 reader does and moves past it.
unsigned int ReadCharacter(const unsigned char*& text) {
    unsigned int character = *text++;
    if (character < 0xC0) return character;
    character = kLeadBits[character - 0xC0];
    // Any number of continuation bytes; the value may wrap, as SQLite's does.
    while ((*text & 0xC0) == 0x80) character = (character << 6) + (0x3F & *text++);
    if (character < 0x80 || (character & 0xFFFFF800) == 0xD800 || (character & 0xFFFFFFFE) == 0xFFFE)
        character = 0xFFFD;
    return character;
}

// One encoding per value, prefix-free: UTF-8 where UTF-8 reaches, its old
// five- and six-byte forms above, and 0xFE with six continuation bytes for
// the top values. Valid UTF-8 folds to itself with small ASCII letters.
void AppendFolded(std::string& out, unsigned int character) {
    if (character < 0x80) {
        out += static_cast<char>(character >= 'A' && character <= 'Z' ? character + ('a' - 'A') : character);
        return;
    }
    int continuation;
    unsigned int lead;
    if (character < 0x800) {
        continuation = 1, lead = 0xC0;
    } else if (character < 0x10000) {
        continuation = 2, lead = 0xE0;
    } else if (character < 0x200000) {
        continuation = 3, lead = 0xF0;
    } else if (character < 0x4000000) {
        continuation = 4, lead = 0xF8;
    } else if (character < 0x80000000) {
        continuation = 5, lead = 0xFC;
    } else {
        continuation = 6, lead = 0xFE;
    }
    const unsigned long long value = character;
    out += static_cast<char>(lead | static_cast<unsigned int>(value >> (6 * continuation)));
    for (int i = continuation - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((value >> (6 * i)) & 0x3F));
}

}  // namespace

void FoldLikeText(const char* text, std::size_t length, std::string& out) {
    out.clear();
    const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = at + length;
    while (at < end && *at != 0) {
        // Runs of ASCII, most of every path, fold byte by byte.
        while (at < end && *at != 0 && *at < 0x80) {
            const unsigned char c = *at++;
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        }
        if (at < end && *at != 0) AppendFolded(out, ReadCharacter(at));
    }
}

void FoldLikeText(const char* text, std::string& out) { FoldLikeText(text, std::strlen(text), out); }

std::string FoldedFolder(std::string_view utf8Folder) {
    std::string pattern(utf8Folder);
    if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
    std::string folded;
    FoldLikeText(pattern.c_str(), folded);
    return folded;
}

}  // namespace lumbo
