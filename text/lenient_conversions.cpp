#include "text/lenient_conversions.h"

#include <limits>

namespace lumbo {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendCodePoint(std::wstring& out, char32_t value) {
    if (value < 0x10000) {
        out.push_back(static_cast<wchar_t>(value));
    } else {
        value -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (value >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (value & 0x3FF)));
    }
}

}  // namespace

std::wstring Utf8ToWideLenient(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        // The length the lead byte announces and the range its second byte
        // must lie in (which rules out overlong forms, surrogates and values
        // above U+10FFFF).
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        char32_t value = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            value = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        bool complete = true;
        for (int k = 1; k < length; ++k, ++next) {
            const unsigned char byte = next < utf8.size() ? static_cast<unsigned char>(utf8[next]) : 0;
            const bool fits = next < utf8.size() && (k == 1 ? byte >= low && byte <= high : IsContinuation(byte));
            if (!fits) {
                complete = false;
                break;
            }
            value = (value << 6) | (byte & 0x3F);
        }
        if (complete) {
            AppendCodePoint(out, value);
        } else {
            out.push_back(kReplacement);
        }
        i = next;
    }
    return out;
}

std::wstring CodePageToWide(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    if (text.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        const int length = static_cast<int>(text.size());
        const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
        if (units > 0) {
            std::wstring out(static_cast<std::size_t>(units), L'\0');
            MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, out.data(), units);
            return out;
        }
    }
    if (codePage == CP_UTF8) return Utf8ToWideLenient(text);

    // Something in it the code page cannot read: character by character, so
    // only that part is lost.
    CPINFO info = {};
    if (!GetCPInfo(codePage, &info)) info.MaxCharSize = 1;
    const auto isLeadByte = [&](unsigned char byte) {
        for (int k = 0; k + 1 < MAX_LEADBYTES && info.LeadByte[k] != 0; k += 2) {
            if (byte >= info.LeadByte[k] && byte <= info.LeadByte[k + 1]) return true;
        }
        return false;
    };
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const int length = info.MaxCharSize == 2 && isLeadByte(static_cast<unsigned char>(text[i])) &&
                                   i + 1 < text.size()
                               ? 2
                               : 1;
        wchar_t decoded[2] = {};
        const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data() + i, length, decoded, 2);
        if (units > 0) {
            out.append(decoded, static_cast<std::size_t>(units));
            i += static_cast<std::size_t>(length);
        } else {
            out.push_back(kReplacement);
            ++i;
        }
    }
    return out;
}

std::string WideToCodePage(std::wstring_view text, UINT codePage) {
    const std::size_t end = text.find(L'\0');
    if (end != std::wstring_view::npos) text = text.substr(0, end);
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4)) return {};
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace lumbo
