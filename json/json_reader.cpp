#include "json/json_reader.h"

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "text/lenient_conversions.h"

namespace lumbo {

namespace {

// Points into the widened, NUL-terminated text; every step moves it forward.
using Cursor = const wchar_t*;

bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

int HexValue(wchar_t unit) {
    if (unit >= L'0' && unit <= L'9') return unit - L'0';
    if (unit >= L'A' && unit <= L'F') return unit - L'A' + 10;
    if (unit >= L'a' && unit <= L'f') return unit - L'a' + 10;
    return -1;
}

// Compares the next units with a lower-case ASCII word, ignoring ASCII case
// only. The end of the text stops the comparison, so it never reads past it.
bool StartsWithWord(Cursor cursor, const char* word) {
    for (; *word != '\0'; ++word, ++cursor) {
        wchar_t unit = *cursor;
        if (unit == L'\0') return false;
        if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
        if (unit != static_cast<wchar_t>(*word)) return false;
    }
    return true;
}

// Tells whether anything but the end of the text follows the white space.
bool SkipJsonSpace(Cursor& cursor) {
    while (*cursor == L'\t' || *cursor == L'\n' || *cursor == L'\r' || *cursor == L' ') ++cursor;
    return *cursor != L'\0';
}

// A run of decimal digits, accumulated in double precision so that runs past
// 32 bits stay defined (exact up to 2^53, rounded beyond, +infinity at last).
double ReadJsonDigits(Cursor& cursor) {
    double value = 0;
    while (IsDigit(*cursor)) {
        value = value * 10 + (*cursor - L'0');
        ++cursor;
    }
    return value;
}

// 0.d1...dk for the digit run under the cursor. The first 19 significant
// digits are kept exactly in an integer and divided once by the power of ten
// (exact up to 10^22), so short fractions such as .05 come out as the double
// nearest to them; later digits are below double precision and only skipped.
double ReadJsonFraction(Cursor& cursor) {
    unsigned long long mantissa = 0;
    int significant = 0;
    long long places = 0;
    for (; IsDigit(*cursor); ++cursor) {
        if (significant == 19) continue;
        mantissa = mantissa * 10 + static_cast<unsigned>(*cursor - L'0');
        ++places;
        if (mantissa != 0) ++significant;
    }
    if (mantissa == 0) return 0;
    double fraction = static_cast<double>(mantissa);
    // Leading zeros can ask for more than 10^22: divide in steps, and stop
    // once nothing is left to divide.
    while (places > 22) {
        fraction /= 1e22;
        places -= 22;
        if (fraction == 0) return 0;
    }
    double power = 1;
    for (long long i = 0; i < places; ++i) power *= 10;
    return fraction / power;
}

bool ReadJsonString(Cursor& cursor, std::wstring& out) {
    out.clear();
    for (;;) {
        wchar_t unit = *cursor;
        if (unit == L'\0') return false;
        if (unit == L'"') {
            ++cursor;
            return true;
        }
        if (unit == L'\\') {
            ++cursor;
            switch (*cursor) {
            case L'"': unit = 0x22; break;
            case L'\'': unit = 0x27; break;
            case L'/': unit = 0x2F; break;
            case L'\\': unit = 0x5C; break;
            case L'b': unit = 0x08; break;
            case L'f': unit = 0x0C; break;
            case L'n': unit = 0x0A; break;
            case L'r': unit = 0x0D; break;
            case L't': unit = 0x09; break;
            case L'u': {
                unsigned value = 0;
                // Each digit is checked before the next is looked at, so the
                // end of the text stops the escape.
                for (int i = 0; i < 4; ++i) {
                    const int digit = HexValue(cursor[1]);
                    if (digit < 0) return false;
                    value = value * 16 + static_cast<unsigned>(digit);
                    ++cursor;
                }
                unit = static_cast<wchar_t>(value);
                break;
            }
            default:
                return false;
            }
        } else if (unit < 0x20 && unit != L'\t') {
            return false;
        }
        // Grow in steps of 257 units: a long string is reallocated about once
        // per 256 characters, and an empty one allocates nothing.
        if (out.size() == out.capacity()) out.reserve(out.size() + 257);
        out.push_back(unit);
        ++cursor;
    }
}

std::unique_ptr<JsonNode> ParseJsonValue(Cursor& cursor, int depth);

std::unique_ptr<JsonNode> ParseJsonNumber(Cursor& cursor) {
    const bool negative = *cursor == L'-';
    if (negative) ++cursor;

    double value;
    if (*cursor == L'0') {
        value = 0;
        ++cursor;
    } else if (IsDigit(*cursor)) {
        value = ReadJsonDigits(cursor);
    } else {
        return nullptr;
    }

    if (*cursor == L'.') {
        ++cursor;
        if (!IsDigit(*cursor)) return nullptr;
        value += ReadJsonFraction(cursor);
    }

    if (*cursor == L'e' || *cursor == L'E') {
        ++cursor;
        bool negativeExponent = false;
        if (*cursor == L'+' || *cursor == L'-') {
            negativeExponent = *cursor == L'-';
            ++cursor;
        }
        if (!IsDigit(*cursor)) return nullptr;
        const double exponent = ReadJsonDigits(cursor);
        // One step at a time, as the stored values have always been read.
        // Once the value is 0 or infinite further steps change nothing, so a
        // huge exponent ends there instead of looping for ages.
        for (double step = 0; step < exponent && value != 0 && std::isfinite(value); ++step)
            value = negativeExponent ? value / 10 : value * 10;
    }

    if (negative) value *= -1;
    return std::make_unique<JsonNode>(value);
}

std::unique_ptr<JsonNode> ParseJsonArray(Cursor& cursor, int depth) {
    ++cursor;
    JsonElements elements;
    while (*cursor != L'\0') {
        if (!SkipJsonSpace(cursor)) return nullptr;
        if (elements.empty() && *cursor == L']') {
            ++cursor;
            return std::make_unique<JsonNode>(JsonElements());
        }
        std::unique_ptr<JsonNode> element = ParseJsonValue(cursor, depth);
        if (!element) return nullptr;
        elements.push_back(std::move(element));
        if (!SkipJsonSpace(cursor)) return nullptr;
        if (*cursor == L']') {
            ++cursor;
            return std::make_unique<JsonNode>(std::move(elements));
        }
        if (*cursor != L',') return nullptr;
        ++cursor;
    }
    return nullptr;
}

std::unique_ptr<JsonNode> ParseJsonObject(Cursor& cursor, int depth) {
    ++cursor;
    JsonMembers members;
    std::wstring name;
    while (*cursor != L'\0') {
        if (!SkipJsonSpace(cursor)) return nullptr;
        if (members.empty() && *cursor == L'}') {
            ++cursor;
            return std::make_unique<JsonNode>(JsonMembers());
        }
        if (*cursor != L'"') return nullptr;
        ++cursor;
        if (!ReadJsonString(cursor, name)) return nullptr;
        if (!SkipJsonSpace(cursor) || *cursor != L':') return nullptr;
        ++cursor;
        if (!SkipJsonSpace(cursor)) return nullptr;
        std::unique_ptr<JsonNode> value = ParseJsonValue(cursor, depth);
        if (!value) return nullptr;
        // Of repeated names the last wins; the earlier node is destroyed here.
        members[name] = std::move(value);
        if (!SkipJsonSpace(cursor)) return nullptr;
        if (*cursor == L'}') {
            ++cursor;
            return std::make_unique<JsonNode>(std::move(members));
        }
        if (*cursor != L',') return nullptr;
        ++cursor;
    }
    return nullptr;
}

// `depth` counts the arrays and objects that enclose the value.
std::unique_ptr<JsonNode> ParseJsonValue(Cursor& cursor, int depth) {
    const wchar_t unit = *cursor;
    if (unit == L'"') {
        ++cursor;
        std::wstring text;
        if (!ReadJsonString(cursor, text)) return nullptr;
        return std::make_unique<JsonNode>(std::move(text));
    }
    if (StartsWithWord(cursor, "true")) {
        cursor += 4;
        return std::make_unique<JsonNode>(true);
    }
    if (StartsWithWord(cursor, "false")) {
        cursor += 5;
        return std::make_unique<JsonNode>(false);
    }
    if (StartsWithWord(cursor, "null")) {
        cursor += 4;
        return std::make_unique<JsonNode>();
    }
    if (unit == L'-' || IsDigit(unit)) return ParseJsonNumber(cursor);
    if (unit == L'{' || unit == L'[') {
        if (depth >= kJsonMaxDepth) return nullptr;
        return unit == L'{' ? ParseJsonObject(cursor, depth + 1) : ParseJsonArray(cursor, depth + 1);
    }
    return nullptr;
}

// The reader proper, on the widened text.
std::unique_ptr<JsonNode> ParseUnits(const std::wstring& units) {
    Cursor cursor = units.c_str();
    if (!SkipJsonSpace(cursor)) return nullptr;
    return ParseJsonValue(cursor, 0);
}

}  // namespace

std::unique_ptr<JsonNode> ParseJsonText(const char* text) {
    if (text == nullptr) return nullptr;
    // Each byte on its own becomes the unit of the same value, as the C
    // runtime's "C" locale would widen it. Done here rather than by the
    // runtime: the host may have set a locale of its own for the process.
    const std::size_t length = std::strlen(text);
    std::wstring wide(length, L'\0');
    for (std::size_t i = 0; i < length; ++i) wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return ParseUnits(wide);
}

std::unique_ptr<JsonNode> ParseJsonUtf8(const char* text) {
    if (text == nullptr) return nullptr;
    return ParseUnits(Utf8ToWideLenient(text));
}

}  // namespace lumbo
