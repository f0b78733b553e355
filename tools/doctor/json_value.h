#pragma once

// The data a check read, as a JSON value: built by the checks, written by the
// JSON report. Member order is kept as the checks add them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lumbo::doctor {

class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;
    JsonValue(bool flag) : m_kind(Kind::Bool), m_flag(flag) {}
    JsonValue(int number) : m_kind(Kind::Number), m_number(number) {}
    JsonValue(long number) : m_kind(Kind::Number), m_number(number) {}
    JsonValue(long long number) : m_kind(Kind::Number), m_number(number) {}
    JsonValue(unsigned long number) : m_kind(Kind::Number), m_number(static_cast<long long>(number)) {}
    JsonValue(unsigned long long number) : m_kind(Kind::Number), m_number(static_cast<long long>(number)) {}
    JsonValue(unsigned int number) : m_kind(Kind::Number), m_number(number) {}
    // Text is UTF-16; the writer gives it as UTF-8.
    JsonValue(std::wstring text) : m_kind(Kind::String), m_text(std::move(text)) {}
    JsonValue(const wchar_t* text) : m_kind(Kind::String), m_text(text) {}
    JsonValue(const char*) = delete;  // narrow text must say its encoding first

    static JsonValue Array() { return JsonValue(Kind::Array); }
    static JsonValue Object() { return JsonValue(Kind::Object); }

    // Adds a member (objects) or an element (arrays); returns *this.
    JsonValue& Set(std::string name, JsonValue value);
    JsonValue& Add(JsonValue value);

    Kind GetKind() const { return m_kind; }

    // The value as JSON text in UTF-8: every string escaped (quote,
    // backslash, every control character), half surrogate pairs as U+FFFD.
    std::string Write() const;

private:
    explicit JsonValue(Kind kind) : m_kind(kind) {}
    void WriteTo(std::string& out) const;

    Kind m_kind = Kind::Null;
    bool m_flag = false;
    long long m_number = 0;
    std::wstring m_text;
    std::vector<std::pair<std::string, JsonValue>> m_members;  // names empty for array elements
};

// UTF-16 as UTF-8, lone surrogates as U+FFFD: never fails.
std::string ToUtf8(std::wstring_view text);

}  // namespace lumbo::doctor
