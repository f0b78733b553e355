// The folding that lets the shared folder set answer as SQLite's like does:
// for many texts and folders, malformed UTF-8 included, "text starts with
// the folded folder" must be exactly SQLite's own answer to the pattern.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "store/like_folding.h"
#include "store/status_queries.h"

namespace lumbo {
namespace {

class SqliteLike {
public:
    SqliteLike() {
        sqlite3_open_v2(":memory:", &m_connection, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_prepare_v2(m_connection, "select ?1 like ?2 escape '|'", -1, &m_statement, nullptr);
    }
    ~SqliteLike() {
        sqlite3_finalize(m_statement);
        sqlite3_close(m_connection);
    }

    // Whether the text matches the folder's content pattern.
    bool Below(const std::string& text, const std::string& folder) {
        const std::string pattern = FolderContentPattern(folder);
        sqlite3_reset(m_statement);
        sqlite3_bind_text(m_statement, 1, text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(m_statement, 2, pattern.c_str(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(m_statement), SQLITE_ROW);
        return sqlite3_column_int(m_statement, 0) == 1;
    }

private:
    sqlite3* m_connection = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

bool FoldedBelow(const std::string& text, const std::string& folder) {
    std::string folded;
    FoldLikeText(text.c_str(), folded);
    const std::string prefix = FoldedFolder(folder);
    return folded.compare(0, prefix.size(), prefix) == 0;
}

struct Case {
    const char* text;
    const char* folder;
    bool below;
};

TEST(LikeFolding, AgreesWithSqliteOnTheCasesThatMatter) {
    const std::vector<Case> cases = {
        {"C:\\S\\sub\\x.doc", "C:\\S", true},
        {"c:\\s\\SUB\\x.doc", "C:\\S\\sub", true},
        {"C:\\S", "C:\\S", false},
        {"C:\\S\\", "C:\\S", true},
        {"C:\\Sx\\y", "C:\\S", false},
        {"C:\\SA1\\y", "C:\\S_1", false},
        {"C:\\S_1\\y", "C:\\S_1", true},
        {"C:\\Pct%\\y", "C:\\Pct%", true},
        {"C:\\PctX\\y", "C:\\Pct%", false},
        {"C:\\a|b\\y", "C:\\a|b", true},
        {"C:\\y", "C:\\", true},
        {"C:\\caf\xC3\xA9\\y", "C:\\caf\xC3\xA9", true},
        {"C:\\CAF\xC3\x89\\y", "C:\\caf\xC3\xA9", false},  // only ASCII letters fold
        {"C:\\\xE5\x90\x8C\\y", "C:\\\xE5\x90\x8C", true},
        // Malformed UTF-8 reads as SQLite reads it: both of these are U+FFFD.
        {"C:\\\xC0\x80\\y", "C:\\\xEF\xBF\xBD", true},
        {"C:\\\xED\xA0\x80\\y", "C:\\\xEF\xBF\xBD", true},
        // A stray continuation byte is a character of its own value.
        {"C:\\\x80\\y", "C:\\\xC2\x80", true},
    };
    SqliteLike sqlite;
    for (const Case& c : cases) {
        EXPECT_EQ(sqlite.Below(c.text, c.folder), c.below) << c.text << " below " << c.folder;
        EXPECT_EQ(FoldedBelow(c.text, c.folder), c.below) << c.text << " below " << c.folder;
    }
}

// Random texts from pieces that stress the reader: letters of both cases,
// wildcards, the escape character, lead bytes without continuation, long
// continuation runs, surrogates, and the largest values.
TEST(LikeFolding, AgreesWithSqliteOnRandomBytes) {
    const std::vector<std::string> pieces = {
        "a", "A", "z", "Z", "\\", "\\", "%", "_", "|", "0", "\xC3\xA9", "\xC3\x89", "\xC3", "\x80", "\xBF",
        "\xE5\x90\x8C", "\xED\xA0\x80", "\xEF\xBF\xBE", "\xEF\xBF\xBD", "\xF0\x9F\x98\x80", "\xF8\x88\x80\x80\x80",
        "\xFE\x83\xBF\xBF\xBF\xBF\xBF\xBF", "\xFF", "\xC0\x80", "\xE0\x80\x80", "\xC2\x80"};
    std::mt19937 random(20261210);
    const auto text = [&](int maxPieces) {
        std::string out;
        const int count = static_cast<int>(random() % static_cast<unsigned>(maxPieces)) + 1;
        for (int i = 0; i < count; ++i) out += pieces[random() % pieces.size()];
        return out;
    };
    SqliteLike sqlite;
    int below = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string folder = text(4);
        // Often a text that starts with the folder in another spelling, so
        // both answers occur.
        std::string row = random() % 2 == 0 ? folder + "\\" + text(3) : text(6);
        for (char& c : row)
            if (random() % 3 == 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) c ^= 0x20;
        const bool expected = sqlite.Below(row, folder);
        below += expected;
        ASSERT_EQ(FoldedBelow(row, folder), expected) << "row " << testing::PrintToString(row) << " folder "
                                                      << testing::PrintToString(folder);
    }
    EXPECT_GT(below, 2000);
}

}  // namespace
}  // namespace lumbo
