#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lumbo {

// SQLite's like operator, as the pending-below test uses it, compares a
// pattern made only of literal characters with the start of a text one
// character at a time: each side is decoded as SQLite decodes UTF-8 (also
// when malformed), and two characters are equal when they are the same or
// both ASCII and equal without regard to case. Folding every character the
// same way (ASCII capitals to small letters, then one fixed, prefix-free
// encoding per character value) turns that comparison into byte equality: a
// literal pattern matches the start of a text exactly when the folded text
// starts with the folded pattern. A byte 0x5C in a folded text is always a
// backslash of the original.

// Replaces `out` by the folded form of the NUL-terminated text.
void FoldLikeText(const char* text, std::string& out);
// The same for its first `length` bytes, which must end on a character: a
// backslash always does, since no UTF-8 sequence holds its byte.
void FoldLikeText(const char* text, std::size_t length, std::string& out);

// The folded form of the literal part of a folder's content pattern: the
// folder with one trailing backslash.
std::string FoldedFolder(std::string_view utf8Folder);

}  // namespace lumbo
