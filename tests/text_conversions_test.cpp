// The conversions under the process's ANSI code page. CTest runs this file's
// cases twice: under 1252 (Western) and under 936 (Chinese); the expected code
// page comes from LUMBO_EXPECT_ACP so a run under the wrong one fails.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "text/conversions.h"

namespace lumbo {
namespace {

UINT ExpectedCodePage() {
    const char* expected = std::getenv("LUMBO_EXPECT_ACP");
    return expected != nullptr ? static_cast<UINT>(std::atoi(expected)) : 0;
}

// The expected ANSI bytes of one text in each code page under test.
struct AnsiCase {
    const char* name;
    std::string utf8;
    std::string cp1252;
    std::string cp936;
};

const AnsiCase kAnsiCases[] = {
    {"empty", "", "", ""},
    {"ascii", "C:\\Sync\\a.txt", "C:\\Sync\\a.txt", "C:\\Sync\\a.txt"},
    {"latin letter", "caf\xC3\xA9", "caf\xE9", "caf\xA8\xA6"},
    {"chinese letters", "\xE5\x90\x8C\xE6\xAD\xA5", "??", "\xCD\xAC\xB2\xBD"},
    {"embedded nul ends the text", std::string("ab\0cd", 5), "ab", "ab"},
    {"bytes that are not utf-8", "a\xFF" "b", "a?b", "a?b"},
};

const std::string& ExpectedAnsi(const AnsiCase& c) { return GetACP() == 936 ? c.cp936 : c.cp1252; }

TEST(TextConversion, RunsUnderTheExpectedCodePage) {
    ASSERT_NE(ExpectedCodePage(), 0u) << "LUMBO_EXPECT_ACP is not set";
    EXPECT_EQ(GetACP(), ExpectedCodePage());
    EXPECT_EQ(GetACP(), static_cast<UINT>(GetACP() == 936 ? 936 : 1252));
}

TEST(TextConversion, WideToUtf8) {
    EXPECT_EQ(WideToUtf8(L""), "");
    EXPECT_EQ(WideToUtf8(L"abc"), "abc");
    EXPECT_EQ(WideToUtf8(L"caf\u00E9 \u540C\u6B65"), "caf\xC3\xA9 \xE5\x90\x8C\xE6\xAD\xA5");
    EXPECT_EQ(WideToUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
    const wchar_t withNul[] = L"ab\0cd";
    EXPECT_EQ(WideToUtf8(withNul), "ab");
    EXPECT_EQ(WideToUtf8(std::wstring(withNul, 5)), "ab");
    // Lenient flags: a lone surrogate is replaced, not refused.
    EXPECT_FALSE(WideToUtf8(L"a\xD800" L"b").empty());
}

TEST(TextConversion, Utf8ToAnsi) {
    for (const AnsiCase& c : kAnsiCases) {
        EXPECT_EQ(Utf8ToAnsi(c.utf8), ExpectedAnsi(c)) << c.name;
    }
}

TEST(TextConversion, WideToAnsiWritesIntoTheCallersBuffer) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(WideToAnsi(buffer, sizeof buffer, L"\u00E9t\u00E9", 1252), buffer);
    EXPECT_STREQ(buffer, "\xE9t\xE9");
    EXPECT_EQ(WideToAnsi(buffer, sizeof buffer, L"\u540C", 936), buffer);
    EXPECT_STREQ(buffer, "\xCD\xAC");

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(WideToAnsi(nullptr, sizeof buffer, L"a", CP_ACP), nullptr);
    EXPECT_EQ(WideToAnsi(buffer, sizeof buffer, nullptr, CP_ACP), nullptr);
    EXPECT_EQ(buffer[0], 'x') << "nothing may be written for a null argument";

    // Too small a buffer fails and leaves no text behind; so does one of no
    // size at all, where nothing may be written.
    EXPECT_EQ(WideToAnsi(buffer, 3, L"abcdef", CP_ACP), nullptr);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(WideToAnsi(buffer, 0, L"abcdef", CP_ACP), nullptr);
    EXPECT_EQ(WideToAnsi(buffer, 0, L"", CP_ACP), nullptr);
    EXPECT_EQ(WideToAnsi(buffer, -1, L"a", CP_ACP), nullptr);
    EXPECT_EQ(buffer[0], 'x');
}

TEST(TextConversion, Utf8ToWideIsStrict) {
    struct Case {
        const char* name;
        std::string utf8;
        std::wstring expected;
    };
    const Case cases[] = {
        {"empty", "", L""},
        {"ascii", "C:\\Sync", L"C:\\Sync"},
        {"latin and chinese", "caf\xC3\xA9 \xE5\x90\x8C\xE6\xAD\xA5", L"caf\u00E9 \u540C\u6B65"},
        {"outside the basic plane", "\xF0\x9F\x98\x80", L"\U0001F600"},
        {"an embedded nul stays", std::string("ab\0cd", 5), std::wstring(L"ab\0cd", 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToWide(c.utf8), c.expected);
    }
    for (const char* invalid : {"a\xFF" "b", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xE5\x90", "\x80"}) {
        SCOPED_TRACE(testing::Message() << "invalid " << testing::PrintToString(std::string(invalid)));
        try {
            Utf8ToWide(invalid);
            ADD_FAILURE() << "no ConversionError";
        } catch (const ConversionError& error) {
            EXPECT_STREQ(error.what(), "Invalid UTF-8 sequence.");
        }
    }
}

TEST(TextConversion, OneConversionCodePageRule) {
    // Windows NT 5.0 and later, as every 64-bit Windows is: the calling
    // thread's ANSI code page, for the lenient conversions and the registry
    // scripts alike.
    EXPECT_EQ(ConversionCodePage(), static_cast<UINT>(CP_THREAD_ACP));
    char buffer[8] = {};
    ASSERT_EQ(WideToAnsi(buffer, sizeof buffer, L"\u540C", ConversionCodePage()), buffer);
    EXPECT_EQ(std::string(buffer), GetACP() == 936 ? "\xCD\xAC" : "?");
}

TEST(TextConversion, AnsiToWide) {
    EXPECT_EQ(AnsiToWide(""), L"");
    EXPECT_EQ(AnsiToWide("abc"), L"abc");
    if (GetACP() == 936) {
        EXPECT_EQ(AnsiToWide("\xCD\xAC\xB2\xBD"), L"\u540C\u6B65");
    } else {
        EXPECT_EQ(AnsiToWide("caf\xE9"), L"caf\u00E9");
    }
    EXPECT_EQ(AnsiToWide(std::string("ab\0cd", 5)), L"ab");
}

TEST(TextConversion, WideToAnsiBuf) {
    char buffer[8] = {};
    EXPECT_EQ(WideToAnsiBuf(L"abc", buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(WideToAnsiBuf(L"", buffer, sizeof buffer), 1);
    char small[4] = {};
    EXPECT_EQ(WideToAnsiBuf(L"abcdef", small, sizeof small), 0);
}

}  // namespace
}  // namespace lumbo
