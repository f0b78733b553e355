// The status lookups on a real database whose rows name real folders of a
// scratch tree, since the pending-below test looks at the disk first.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/status_queries.h"
#include "store/status_store.h"
#include "tests/support/lookup_printer.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_database.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

class StatusQueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = WideToUtf8(m_folder.Path());
        for (const wchar_t* folder : {L"S\\sub\\deep", L"Sx", L"S_1", L"SA1", L"Pct%", L"PctX", L"Bob's",
                                      L"caf\u00E9", L"\u540C\u6B65", L"Done", L"Failed"})
            test::CreateFolders(m_folder / folder);
        test::WriteFile(m_folder / L"S\\file.txt", "x");
    }

    // A path of the scratch tree, in UTF-8.
    std::string P(const std::string& relative) const { return m_root + "\\" + relative; }

    StatusStore Open(const std::vector<test::StatusRow>& rows, bool withTable = true) {
        test::ClientDatabase database;
        database.statusRows = rows;
        database.withStatusTable = withTable;
        database.WriteTo(m_folder / L"mydatabase.db");
        StatusStore store = OpenStatusStore(WideToUtf8(m_folder / L"mydatabase.db"));
        EXPECT_TRUE(store);
        return store;
    }

    test::ScratchFolder m_folder;
    std::string m_root;
};

TEST_F(StatusQueriesTest, StatusListsCompareByteForByte) {
    const StatusStore store = Open({
        {"C:\\S\\a.txt", 0},
        {"C:\\S\\b.txt", 1},
        {"C:\\S\\both.txt", 0},
        {"C:\\S\\both.txt", 2},
        {"C:\\Sync\\Bob's report.docx", 0},
        {"C:\\Sync\\100% _done_.txt", 2},
        {"C:\\Sync\\caf\xC3\xA9\\\xE5\x90\x8C.txt", 1},
        {std::nullopt, 0},
        {"", 2},
    });
    struct Case {
        FileStatus status;
        std::string path;
        bool expected;
    };
    const Case cases[] = {
        {FileStatus::Synchronised, "C:\\S\\a.txt", true},
        {FileStatus::Synchronised, "c:\\s\\a.txt", false},
        {FileStatus::Synchronised, "C:\\S\\A.TXT", false},
        {FileStatus::Synchronised, "C:\\S\\a.txt\\", false},
        {FileStatus::Synchronised, "C:\\S\\a.tx", false},
        {FileStatus::Pending, "C:\\S\\a.txt", false},
        {FileStatus::Pending, "C:\\S\\b.txt", true},
        {FileStatus::Synchronised, "C:\\S\\both.txt", true},
        {FileStatus::Failed, "C:\\S\\both.txt", true},
        {FileStatus::Pending, "C:\\S\\both.txt", false},
        {FileStatus::Synchronised, "C:\\Sync\\Bob's report.docx", true},
        {FileStatus::Synchronised, "C:\\Sync\\Bob''s report.docx", false},
        {FileStatus::Synchronised, "x' or '1'='1", false},
        {FileStatus::Failed, "C:\\Sync\\100% _done_.txt", true},
        {FileStatus::Failed, "C:\\Sync\\100% xdonex.txt", false},
        {FileStatus::Pending, "C:\\Sync\\caf\xC3\xA9\\\xE5\x90\x8C.txt", true},
        {FileStatus::Pending, "C:\\Sync\\cafe\\\xE5\x90\x8C.txt", false},
        {FileStatus::Failed, "", true},
        {FileStatus::Synchronised, "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StatusListContains(store.get(), c.status, c.path), FoundIf(c.expected))
            << "status " << static_cast<int>(c.status) << " path " << c.path;
    }
}

TEST_F(StatusQueriesTest, IsListedFindsAnyStatus) {
    const StatusStore store = Open({
        {"C:\\S\\a.txt", 0},
        {"C:\\S\\f.txt", 2},
        {"C:\\Sync\\Bob's report.docx", 1},
        {"C:\\S\\7", 7},
    });
    for (const char* listed : {"C:\\S\\a.txt", "C:\\S\\f.txt", "C:\\S\\7", "C:\\Sync\\Bob's report.docx"})
        EXPECT_EQ(IsListed(store.get(), listed), LookupResult::Found) << listed;
    for (const char* other : {"C:\\S\\A.txt", "C:\\S\\a.txt\\", "C:\\S\\' or '1'='1"})
        EXPECT_EQ(IsListed(store.get(), other), LookupResult::NotFound) << other;
}

TEST_F(StatusQueriesTest, ListedStatusAgreesWithTheTwoLookups) {
    const StatusStore store = Open({
        {"C:\\S\\a.txt", 0},
        {"C:\\S\\b.txt", 1},
        {"C:\\S\\both.txt", 2},
        {"C:\\S\\both.txt", 1},
        {"C:\\Sync\\Bob's.txt", 1},
    });
    for (const char* path : {"C:\\S\\a.txt", "C:\\S\\b.txt", "C:\\S\\both.txt", "C:\\S\\B.txt",
                             "C:\\Sync\\Bob's.txt", "C:\\S\\none", ""}) {
        const ListedStatus listed = ReadListedStatus(store.get(), path);
        EXPECT_EQ(listed.listed, IsListed(store.get(), path)) << path;
        EXPECT_EQ(FoundIf(listed.pending), StatusListContains(store.get(), FileStatus::Pending, path)) << path;
    }
    EXPECT_TRUE(ReadListedStatus(store.get(), "C:\\S\\both.txt").pending);
    EXPECT_FALSE(ReadListedStatus(store.get(), "C:\\S\\a.txt").pending);
    EXPECT_EQ(ReadListedStatus(store.get(), "C:\\S\\a.txt").listed, LookupResult::Found);
}

TEST_F(StatusQueriesTest, PendingBelowAFolder) {
    struct Case {
        const char* name;
        std::vector<test::StatusRow> rows;
        std::string folder;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"pending entry two levels down", {{P("S\\sub\\x.doc"), 1}}, P("S"), true},
        {"at any depth", {{P("S\\sub\\deep\\y\\z"), 1}}, P("S"), true},
        {"folder given with its backslash", {{P("S\\sub\\x.doc"), 1}}, P("S\\"), true},
        {"ascii letters match in any case", {{P("S\\sub\\x.doc"), 1}}, P("s"), true},
        {"failed or synchronised entries only", {{P("S\\sub\\x.doc"), 2}, {P("S\\y"), 0}}, P("S"), false},
        {"the folder itself pending", {{P("S"), 1}}, P("S"), false},
        {"a look-alike sibling", {{P("Sx\\y"), 1}}, P("S"), false},
        {"underscore is no wildcard", {{P("SA1\\y"), 1}}, P("S_1"), false},
        {"underscore matches itself", {{P("S_1\\y"), 1}}, P("S_1"), true},
        {"percent is no wildcard", {{P("PctX\\y"), 1}}, P("Pct%"), false},
        {"percent matches itself", {{P("Pct%\\y"), 1}}, P("Pct%"), true},
        {"an apostrophe in the folder", {{P("Bob's\\y"), 1}}, P("Bob's"), true},
        {"a latin letter in the folder", {{P("caf\xC3\xA9\\y"), 1}}, P("caf\xC3\xA9"), true},
        {"letters outside the ansi code page", {{P("\xE5\x90\x8C\xE6\xAD\xA5\\y"), 1}}, P("\xE5\x90\x8C\xE6\xAD\xA5"), true},
        {"a file is no folder", {{P("S\\file.txt\\x"), 1}}, P("S\\file.txt"), false},
        {"a folder gone from disk", {{P("Gone\\x"), 1}}, P("Gone"), false},
        {"an empty path", {{"\\x", 1}}, "", false},
    };
    for (const Case& c : cases) {
        const StatusStore store = Open(c.rows);
        EXPECT_EQ(HasPendingBelow(store.get(), c.folder), FoundIf(c.expected)) << c.name;
    }
}

TEST_F(StatusQueriesTest, PendingBelowTheDriveRoot) {
    EXPECT_EQ(FolderContentPattern("C:\\"), "C:\\%");
    EXPECT_EQ(FolderContentPattern("C:\\S_1%|x"), "C:\\S|_1|%||x\\%");
    const StatusStore store = Open({{"C:\\anything\\x", 1}});
    EXPECT_EQ(HasPendingBelow(store.get(), "C:\\"), LookupResult::Found);
}

TEST_F(StatusQueriesTest, AnEmptyTableFindsNothingAMissingOneCannotBeRead) {
    for (const bool withTable : {true, false}) {
        SCOPED_TRACE(withTable ? "empty table" : "no table");
        const LookupResult expected = withTable ? LookupResult::NotFound : LookupResult::Unreadable;
        const StatusStore store = Open({}, withTable);
        EXPECT_EQ(StatusListContains(store.get(), FileStatus::Synchronised, P("S")), expected);
        EXPECT_EQ(IsListed(store.get(), P("S")), expected);
        EXPECT_EQ(ReadListedStatus(store.get(), P("S")).listed, expected);
        EXPECT_EQ(HasPendingBelow(store.get(), P("S")), expected);
        EXPECT_EQ(HasPendingBelow(store.get(), P("S\\file.txt")), LookupResult::NotFound)
            << "no folder: the database is not asked";
    }
}

}  // namespace
}  // namespace lumbo
