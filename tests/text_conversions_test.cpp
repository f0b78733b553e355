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

    // Too small a buffer fails and leaves no text behind.
    EXPECT_EQ(WideToAnsi(buffer, 3, L"abcdef", CP_ACP), nullptr);
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
