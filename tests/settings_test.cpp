// The monitored folder and the ignored folders, read from real database files
// made with SQLite as the client makes them.
#include <optional>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "store/settings.h"
#include "store/status_store.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_database.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

using test::ConfigRow;

class SettingsTest : public ::testing::Test {
protected:
    // A fresh database holding the rows (or no config table at all), opened
    // the way the overlay opens it.
    StatusStore Open(const std::vector<ConfigRow>& rows, bool withConfigTable = true) {
        test::ClientDatabase database;
        database.configRows = rows;
        database.withConfigTable = withConfigTable;
        database.WriteTo(DatabasePath());
        StatusStore store = OpenStatusStore(WideToUtf8(DatabasePath()));
        EXPECT_TRUE(store);
        return store;
    }

    std::wstring DatabasePath() const { return m_folder / L"mydatabase.db"; }

    test::ScratchFolder m_folder;
};

TEST_F(SettingsTest, MonitoredFolderGetsOneBackslashAdded) {
    struct Case {
        std::vector<ConfigRow> rows;
        std::wstring expected;
        std::string remembered;  // UTF-8
    };
    const Case cases[] = {
        {{{"lumbo_path", "C:\\Sync"}}, L"C:\\Sync\\", "C:\\Sync\\"},
        {{{"lumbo_path", "C:\\Sync\\"}}, L"C:\\Sync\\\\", "C:\\Sync\\\\"},
        {{{"lumbo_path", "D:\\Donn\xC3\xA9" "es"}}, L"D:\\Donn\u00E9" "es\\", "D:\\Donn\xC3\xA9" "es\\"},
        {{{"lumbo_path", "C:\\\xE5\x90\x8C\xE6\xAD\xA5"}}, L"C:\\\u540C\u6B65\\", "C:\\\xE5\x90\x8C\xE6\xAD\xA5\\"},
        {{{"lumbo_path", "C:\\\xF0\x9F\x98\x80"}}, L"C:\\\U0001F600\\", "C:\\\xF0\x9F\x98\x80\\"},
        {{{"lumbo_path", "C:\\a\xFF" "b"}}, L"C:\\a\uFFFD" "b\\", "C:\\a\xFF" "b\\"},
        {{{"other", "x"}, {"lumbo_path", "C:\\A"}, {"ignore_dirs", "[]"}}, L"C:\\A\\", "C:\\A\\"},
        {{{"lumbo_path", "C:\\First"}, {"lumbo_path", "C:\\Second"}}, L"C:\\First\\", "C:\\First\\"},
        {{{"lumbo_path", "x' or key = 'y"}}, L"x' or key = 'y\\", "x' or key = 'y\\"},
    };
    for (const Case& c : cases) {
        const StatusStore store = Open(c.rows);
        std::string remembered;
        EXPECT_EQ(ReadMonitoredFolder(store.get(), remembered), c.expected) << c.remembered;
        EXPECT_EQ(remembered, c.remembered);
    }
}

TEST_F(SettingsTest, RememberedFolderStandsInWhileReadsFindNothing) {
    std::string remembered;
    {
        const StatusStore store = Open({{"lumbo_path", "C:\\Sync"}});
        ASSERT_EQ(ReadMonitoredFolder(store.get(), remembered), L"C:\\Sync\\");
    }
    // Each way a later read can come back empty leaves the folder in force.
    struct Case {
        const char* what;
        std::vector<ConfigRow> rows;
        bool withConfigTable;
    };
    const Case empties[] = {
        {"no config table", {}, false},
        {"no row", {{"ignore_dirs", "[]"}}, true},
        {"a NULL cell", {{"lumbo_path", std::nullopt}}, true},
        {"an empty value", {{"lumbo_path", ""}}, true},
        {"a key in another case", {{"LUMBO_PATH", "C:\\Other"}}, true},
    };
    for (const Case& c : empties) {
        const StatusStore store = Open(c.rows, c.withConfigTable);
        EXPECT_EQ(ReadMonitoredFolder(store.get(), remembered), L"C:\\Sync\\") << c.what;
        EXPECT_EQ(remembered, "C:\\Sync\\") << c.what;

        std::string fresh;
        EXPECT_EQ(ReadMonitoredFolder(store.get(), fresh), L"") << "a new object, " << c.what;
        EXPECT_EQ(fresh, "") << c.what;
    }
    {
        // The client holds the database locked in the middle of a write.
        const StatusStore store = Open({{"lumbo_path", "C:\\Locked"}});
        const test::ExclusiveLock lock(DatabasePath());
        EXPECT_EQ(ReadMonitoredFolder(store.get(), remembered), L"C:\\Sync\\") << "locked database";
    }
    EXPECT_EQ(ReadMonitoredFolder(nullptr, remembered), L"C:\\Sync\\") << "no connection";

    // A new value replaces the remembered one.
    const StatusStore store = Open({{"lumbo_path", "E:\\Moved"}});
    EXPECT_EQ(ReadMonitoredFolder(store.get(), remembered), L"E:\\Moved\\");
    EXPECT_EQ(remembered, "E:\\Moved\\");
}

TEST_F(SettingsTest, IgnoredFoldersAreFlattenedWithSemicolons) {
    struct Case {
        const char* what;
        std::vector<ConfigRow> rows;
        std::wstring expected;
        bool withConfigTable = true;
    };
    const Case cases[] = {
        {"empty array", {{"ignore_dirs", "[]"}}, L""},
        {"one folder", {{"ignore_dirs", "[\"a\"]"}}, L"a;"},
        {"a number among them", {{"ignore_dirs", "[\"a\",5,\"b\"]"}}, L"a;;b;"},
        {"other kinds", {{"ignore_dirs", "[null, true, {\"a\":\"b\"}, [\"c\"], \"d\"]"}}, L";;;;d;"},
        {"escaped backslash", {{"ignore_dirs", " [\"docs\\\\old\", \"tmp\"] "}}, L"docs\\old;tmp;"},
        {"an empty name", {{"ignore_dirs", "[\"\",\"x\"]"}}, L";x;"},
        {"an object", {{"ignore_dirs", "{\"a\":\"b\"}"}}, L""},
        {"a string", {{"ignore_dirs", "\"a\""}}, L""},
        {"not JSON", {{"ignore_dirs", "docs;tmp"}}, L""},
        {"a broken escape", {{"ignore_dirs", "[\"docs\\old\"]"}}, L""},
        {"a trailing comma", {{"ignore_dirs", "[\"a\",]"}}, L""},
        {"hostile nesting", {{"ignore_dirs", std::string(200000, '[')}}, L""},
        {"absent key", {{"lumbo_path", "C:\\Sync"}}, L""},
        {"NULL cell", {{"ignore_dirs", std::nullopt}}, L""},
        {"empty value", {{"ignore_dirs", ""}}, L""},
        {"several rows", {{"ignore_dirs", "[\"first\"]"}, {"ignore_dirs", "[\"second\"]"}}, L"first;"},
        {"no config table", {}, L"", false},
        {"trailing words", {{"ignore_dirs", "[\"a\"] [\"b\"]"}}, L"a;"},
        {"UTF-8 name", {{"ignore_dirs", "[\"caf\xC3\xA9\"]"}}, L"caf\u00E9;"},
        {"escaped Latin letter", {{"ignore_dirs", "[\"caf\\u00e9\"]"}}, L"caf\u00E9;"},
        {"escapes are letters, not bytes", {{"ignore_dirs", "[\"caf\\u00C3\\u00A9\"]"}}, L"caf\u00C3\u00A9;"},
        {"UTF-8 Chinese", {{"ignore_dirs", "[\"\xE5\x90\x8C\xE6\xAD\xA5\"]"}}, L"\u540C\u6B65;"},
        {"escaped Chinese", {{"ignore_dirs", "[\"\\u540c\\u6B65\"]"}}, L"\u540C\u6B65;"},
        {"UTF-8 and escapes mixed", {{"ignore_dirs", "[\"\xE9\x95\xB7\\u6dfa\"]"}}, L"\u9577\u6DFA;"},
        {"escaped emoji", {{"ignore_dirs", "[\"\\ud83d\\ude00\"]"}}, L"\U0001F600;"},
        {"bytes that are no UTF-8", {{"ignore_dirs", "[\"a\xFF" "b\"]"}}, L"a\uFFFD" "b;"},
    };
    for (const Case& c : cases) {
        const StatusStore store = Open(c.rows, c.withConfigTable);
        EXPECT_EQ(ReadIgnoredFolders(store.get()), c.expected) << c.what;
    }
    {
        const StatusStore store = Open({{"ignore_dirs", "[\"a\"]"}});
        const test::ExclusiveLock lock(DatabasePath());
        EXPECT_EQ(ReadIgnoredFolders(store.get()), L"") << "locked database";
    }
    EXPECT_EQ(ReadIgnoredFolders(nullptr), L"") << "no connection";
}

TEST(FlattenFolderList, GivesEachFolderWithEveryLetter) {
    struct Case {
        std::string json;
        std::wstring expected;
    };
    const Case cases[] = {
        {"[\"docs\\\\old\",\"tmp\"]", L"docs\\old;tmp;"},
        {"[\"a\",5,\"b\"]", L"a;;b;"},
        {"[]", L""},
        {"", L""},
        {"{}", L""},
        // Raw UTF-8 and \u escapes of the same letters give the same name.
        {"[\"caf\xC3\xA9\"]", L"caf\u00E9;"},
        {"[\"caf\\u00e9\"]", L"caf\u00E9;"},
        {"[\"\xE5\x90\x8C\xE6\xAD\xA5\"]", L"\u540C\u6B65;"},
        {"[\"\\u4E2D\",\"x\"]", L"\u4E2D;x;"},
        {"[\"\\uD83D\\uDE00\"]", L"\U0001F600;"},
        {"[\"\xF0\x9F\x98\x80\"]", L"\U0001F600;"},
        // A lone surrogate is kept as the unit it is: a file name may hold one.
        {"[\"a\\uD800\"]", std::wstring{L'a', wchar_t(0xD800), L';'}},
        // A NUL unit ends the name.
        {"[\"ab\\u0000cd\"]", L"ab;"},
    };
    for (const Case& c : cases) EXPECT_EQ(FlattenFolderList(c.json), c.expected) << c.json;

    // A long name passes whole.
    const std::string longName(5000, 'n');
    EXPECT_EQ(FlattenFolderList("[\"" + longName + "\"]"), std::wstring(5000, L'n') + L";");
}

// Non-Latin folder names keep every letter, whatever the user's code page.
// CTest runs these cases under code page 1252 and again under 936.
TEST_F(SettingsTest, NonLatinFolderNamesKeepEveryLetter) {
    const char* expectedCodePage = std::getenv("LUMBO_EXPECT_ACP");
    ASSERT_NE(expectedCodePage, nullptr);
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expectedCodePage)));
    const StatusStore raw = Open({{"ignore_dirs", "[\"\xE5\x90\x8C\xE6\xAD\xA5\", \"\\u540C\\u6B65\", \"\\u00e9\"]"},
                                  {"lumbo_path", "C:\\\xE9\x95\xB7\\\xF0\x9F\x98\x80"}});
    EXPECT_EQ(ReadIgnoredFolders(raw.get()), L"\u540C\u6B65;\u540C\u6B65;\u00E9;");
    std::string remembered;
    EXPECT_EQ(ReadMonitoredFolder(raw.get(), remembered), L"C:\\\u9577\\\U0001F600\\");
}

}  // namespace
}  // namespace lumbo
