#pragma once

// Reads the client's JSON settings (ignore_dirs and the like) into a tree.

#include <memory>

#include "json/json_node.h"

namespace lumbo {

// Arrays and objects nested deeper than this are rejected: each level costs
// one recursion on the caller's thread, which in Explorer has a small stack.
inline constexpr int kJsonMaxDepth = 256;

// Parses a NUL-terminated narrow text, each byte taken as the UTF-16 unit of
// the same value. Null when the text is not accepted; nothing is left
// allocated then. Text after a complete top-level value is not examined.
//
// Leniencies kept on purpose, since the client's stored settings rely on
// them: true/false/null in any letter case and without a delimiter after
// them, the escape \' for an apostrophe, raw tabs inside strings. Each \u
// escape gives exactly one unit (surrogates are not paired or checked).
//
// Numbers are read in double precision: integer parts and exponents of any
// length are accepted. The exponent is applied one multiplication or
// division by ten at a time, so 1e400 gives +infinity, 1e-400 gives 0 and
// -1e400 gives -infinity.
std::unique_ptr<JsonNode> ParseJsonText(const char* text);

// The same reader on a NUL-terminated UTF-8 text, as the client stores its
// settings: every character becomes the UTF-16 units it stands for (bytes
// that are no UTF-8 read as U+FFFD), so a letter written raw and the same
// letter written as a \u escape give the same string.
std::unique_ptr<JsonNode> ParseJsonUtf8(const char* text);

}  // namespace lumbo
