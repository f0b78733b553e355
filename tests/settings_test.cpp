// The monitored folder and the ignored folders, read from real database files
// made with SQLite as the client makes them.
#include <optional>
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
        std::string expected;  // ANSI under code page 1252
        std::string remembered;  // UTF-8
    };
    const Case cases[] = {
        {{{"lumbo_path", "C:\\Sync"}}, "C:\\Sync\\", "C:\\Sync\\"},
        {{{"lumbo_path", "C:\\Sync\\"}}, "C:\\Sync\\\\", "C:\\Sync\\\\"},
        {{{"lumbo_path", "D:\\Donn\xC3\xA9" "es"}}, "D:\\Donn\xE9" "es\\", "D:\\Donn\xC3\xA9" "es\\"},
        {{{"other", "x"}, {"lumbo_path", "C:\\A"}, {"ignore_dirs", "[]"}}, "C:\\A\\", "C:\\A\\"},
        {{{"lumbo_path", "C:\\First"}, {"lumbo_path", "C:\\Second"}}, "C:\\First\\", "C:\\First\\"},
        {{{"lumbo_path", "x' or key = 'y"}}, "x' or key = 'y\\", "x' or key = 'y\\"},
    };
    ASSERT_EQ(GetACP(), 1252u) << "the expected ANSI texts are those of code page 1252";
    for (const Case& c : cases) {
        const StatusStore store = Open(c.rows);
        std::string remembered;
        EXPECT_EQ(ReadMonitoredFolder(store.get(), remembered), c.expected) << c.expected;
        EXPECT_EQ(remembered, c.remembered);
    }
}

TEST_F(SettingsTest, RememberedFolderStandsInWhileReadsFindNothing) {
    std::string remembered;
    {
        const StatusStore store = Open({{"lumbo_path", "C:\\Sync"}});
        ASSERT_EQ(ReadMonitoredFolder(store.get(), remembered), "C:\\Sync\\");
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
        EXPECT_EQ(ReadMonitoredFolder(store.get(), remembered), "C:\\Sync\\") << c.what;
        EXPECT_EQ(remembered, "C:\\Sync\\") << c.what;

        std::string fresh;
        EXPECT_EQ(ReadMonitoredFolder(store.get(), fresh), "") << "a new object, " << c.what;
        EXPECT_EQ(fresh, "") << c.what;
    }
    {
        // The client holds the database locked in the middle of a write.
        const StatusStore store = Open({{"lumbo_path", "C:\\Locked"}});
        const test::ExclusiveLock lock(DatabasePath());
        EXPECT_EQ(ReadMonitoredFolder(store.get(), remembered), "C:\\Sync\\") << "locked database";
    }
    EXPECT_EQ(ReadMonitoredFolder(nullptr, remembered), "C:\\Sync\\") << "no connection";

    // A new value replaces the remembered one.
    const StatusStore store = Open({{"lumbo_path", "E:\\Moved"}});
    EXPECT_EQ(ReadMonitoredFolder(store.get(), remembered), "E:\\Moved\\");
    EXPECT_EQ(remembered, "E:\\Moved\\");
}

TEST_F(SettingsTest, IgnoredFoldersAreFlattenedWithSemicolons) {
    struct Case {
        const char* what;
        std::vector<ConfigRow> rows;
        std::string expected;  // ANSI under code page 1252
        bool withConfigTable = true;
    };
    const Case cases[] = {
        {"empty array", {{"ignore_dirs", "[]"}}, ""},
        {"one folder", {{"ignore_dirs", "[\"a\"]"}}, "a;"},
        {"a number among them", {{"ignore_dirs", "[\"a\",5,\"b\"]"}}, "a;;b;"},
        {"other kinds", {{"ignore_dirs", "[null, true, {\"a\":\"b\"}, [\"c\"], \"d\"]"}}, ";;;;d;"},
        {"escaped backslash", {{"ignore_dirs", " [\"docs\\\\old\", \"tmp\"] "}}, "docs\\old;tmp;"},
        {"an empty name", {{"ignore_dirs", "[\"\",\"x\"]"}}, ";x;"},
        {"an object", {{"ignore_dirs", "{\"a\":\"b\"}"}}, ""},
        {"a string", {{"ignore_dirs", "\"a\""}}, ""},
        {"not JSON", {{"ignore_dirs", "docs;tmp"}}, ""},
        {"a broken escape", {{"ignore_dirs", "[\"docs\\old\"]"}}, ""},
        {"a trailing comma", {{"ignore_dirs", "[\"a\",]"}}, ""},
        {"hostile nesting", {{"ignore_dirs", std::string(200000, '[')}}, ""},
        {"absent key", {{"lumbo_path", "C:\\Sync"}}, ""},
        {"NULL cell", {{"ignore_dirs", std::nullopt}}, ""},
        {"empty value", {{"ignore_dirs", ""}}, ""},
        {"several rows", {{"ignore_dirs", "[\"first\"]"}, {"ignore_dirs", "[\"second\"]"}}, "first;"},
        {"no config table", {}, "", false},
        {"trailing words", {{"ignore_dirs", "[\"a\"] [\"b\"]"}}, "a;"},
        {"UTF-8 name", {{"ignore_dirs", "[\"caf\xC3\xA9\"]"}}, "caf\xE9;"},
        {"escaped Latin-1 unit", {{"ignore_dirs", "[\"caf\\u00C3\\u00A9\"]"}}, "caf\xE9;"},
    };
    ASSERT_EQ(GetACP(), 1252u) << "the expected ANSI texts are those of code page 1252";
    for (const Case& c : cases) {
        const StatusStore store = Open(c.rows, c.withConfigTable);
        EXPECT_EQ(ReadIgnoredFolders(store.get()), c.expected) << c.what;
    }
    {
        const StatusStore store = Open({{"ignore_dirs", "[\"a\"]"}});
        const test::ExclusiveLock lock(DatabasePath());
        EXPECT_EQ(ReadIgnoredFolders(store.get()), "") << "locked database";
    }
    EXPECT_EQ(ReadIgnoredFolders(nullptr), "") << "no connection";
}

TEST(FlattenFolderList, GivesTheCodePageBytesOfEachUnit) {
    ASSERT_EQ(GetACP(), 1252u);
    struct Case {
        std::string json;
        std::string expected;
    };
    const Case cases[] = {
        {"[\"docs\\\\old\",\"tmp\"]", "docs\\old;tmp;"},
        {"[\"a\",5,\"b\"]", "a;;b;"},
        {"[]", ""},
        {"", ""},
        {"{}", ""},
        // Each byte arrives as one unit; 1252 gives it back as the same byte
        // where it has one, as the byte-wise widening intends.
        {"[\"caf\xC3\xA9\"]", "caf\xC3\xA9;"},
        // A unit 1252 cannot write becomes its best fit or '?', never a
        // longer text than the buffer.
        {"[\"\\u4E2D\",\"x\"]", "?;x;"},
        // A NUL unit ends the name.
        {"[\"ab\\u0000cd\"]", "ab;"},
    };
    for (const Case& c : cases) EXPECT_EQ(FlattenFolderList(c.json), c.expected) << c.json;

    // A long name passes whole.
    const std::string longName(5000, 'n');
    EXPECT_EQ(FlattenFolderList("[\"" + longName + "\"]"), longName + ";");
}

}  // namespace
}  // namespace lumbo
