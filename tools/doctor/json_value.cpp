#include "tools/doctor/json_value.h"

#include <cstdio>

namespace lumbo::doctor {

namespace {

void AppendCodePoint(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

template <class Emit>
void ForEachCodePoint(std::wstring_view text, Emit emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            emit(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            emit(0xFFFD);
        } else {
            emit(static_cast<char32_t>(unit));
        }
    }
}

void WriteString(std::string& out, std::wstring_view text) {
    out += '"';
    ForEachCodePoint(text, [&out](char32_t point) {
        switch (point) {
            case '"': out += "\\\""; return;
            case '\\': out += "\\\\"; return;
            case '\n': out += "\\n"; return;
            case '\r': out += "\\r"; return;
            case '\t': out += "\\t"; return;
            default: break;
        }
        // Control characters, DEL and the two line separators JavaScript
        // readers choke on are written as escapes.
        if (point < 0x20 || point == 0x7F || point == 0x2028 || point == 0x2029) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(point));
            out += escape;
            return;
        }
        AppendCodePoint(out, point);
    });
    out += '"';
}

void WriteName(std::string& out, const std::string& name) {
    // Member names are our own ASCII identifiers.
    out += '"';
    out += name;
    out += '"';
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    ForEachCodePoint(text, [&out](char32_t point) { AppendCodePoint(out, point); });
    return out;
}

JsonValue& JsonValue::Set(std::string name, JsonValue value) {
    m_members.emplace_back(std::move(name), std::move(value));
    return *this;
}

JsonValue& JsonValue::Add(JsonValue value) {
    m_members.emplace_back(std::string(), std::move(value));
    return *this;
}

std::string JsonValue::Write() const {
    std::string out;
    WriteTo(out);
    return out;
}

void JsonValue::WriteTo(std::string& out) const {
    switch (m_kind) {
        case Kind::Null: out += "null"; return;
        case Kind::Bool: out += m_flag ? "true" : "false"; return;
        case Kind::Number: out += std::to_string(m_number); return;
        case Kind::String: WriteString(out, m_text); return;
        case Kind::Array:
        case Kind::Object: {
            const bool object = m_kind == Kind::Object;
            out += object ? '{' : '[';
            bool first = true;
            for (const auto& [name, value] : m_members) {
                if (!first) out += ',';
                first = false;
                if (object) {
                    WriteName(out, name);
                    out += ':';
                }
                value.WriteTo(out);
            }
            out += object ? '}' : ']';
            return;
        }
    }
}

}  // namespace lumbo::doctor
