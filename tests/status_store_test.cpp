// The client probe, the install folder and the connection, against a real
// named event, the prefix's registry and real database files.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "store/client_probe.h"
#include "store/install_path.h"
#include "store/status_queries.h"
#include "store/status_store.h"
#include "text/conversions.h"
#include "tests/support/client_fixture.h"
#include "tests/support/lookup_printer.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_database.h"

namespace lumbo {
namespace {

using test::ClientDatabase;
using test::InstallPathKey;

TEST(ClientProbe, SeesTheClientOnlyWhileItHoldsTheEvent) {
    EXPECT_FALSE(IsClientRunning());
    EXPECT_FALSE(test::ClientEventExists()) << "the probe must not leave its own event behind";
    {
        const test::ClientEvent client;
        EXPECT_TRUE(IsClientRunning());
        EXPECT_TRUE(IsClientRunning());
    }
    EXPECT_FALSE(IsClientRunning());
    EXPECT_FALSE(test::ClientEventExists());
}

TEST(InstallPath, ReadsTheDefaultValue) {
    InstallPathKey key;
    key.SetFolder(L"C:\\Sync");
    EXPECT_EQ(ReadInstallPath(), L"C:\\Sync");
    EXPECT_EQ(DatabasePath(), "C:\\Sync\\mydatabase.db");

    key.SetFolder(L"C:\\Donn\u00E9es\\\u540C\u6B65");
    EXPECT_EQ(DatabasePath(), "C:\\Donn\xC3\xA9" "es\\\xE5\x90\x8C\xE6\xAD\xA5\\mydatabase.db");
}

TEST(InstallPath, ReadsAFolderOf511UnitsWhole) {
    InstallPathKey key;
    const std::wstring longest = L"C:\\" + std::wstring(508, L'x');
    ASSERT_EQ(longest.size(), 511u);
    key.SetFolder(longest);
    EXPECT_EQ(ReadInstallPath(), longest);

    key.SetFolder(longest + L"y");
    EXPECT_EQ(ReadInstallPath(), L"") << "512 units and the terminator exceed the 1024-byte value";
    EXPECT_EQ(DatabasePath(), "");
}

TEST(InstallPath, ValuesThatAreNoFolderCountAsMissing) {
    InstallPathKey key;
    EXPECT_EQ(ReadInstallPath(), L"") << "key missing";
    EXPECT_EQ(DatabasePath(), "");

    key.SetOtherValueOnly();
    EXPECT_EQ(ReadInstallPath(), L"") << "default value missing";

    const DWORD number = 42;
    key.SetRaw(REG_DWORD, &number, sizeof number);
    EXPECT_EQ(ReadInstallPath(), L"") << "not a string";

    const wchar_t text[] = L"C:\\Sync";
    key.SetRaw(REG_BINARY, text, sizeof text);
    EXPECT_EQ(ReadInstallPath(), L"") << "binary bytes are not a string";

    // A string stored without its terminator is still read whole.
    key.SetRaw(REG_SZ, text, 7 * sizeof(wchar_t));
    EXPECT_EQ(ReadInstallPath(), L"C:\\Sync");
}

class StatusStoreTest : public ::testing::Test {
protected:
    test::ScratchFolder m_folder;
    std::wstring DatabaseFile() const { return m_folder / L"mydatabase.db"; }
};

TEST_F(StatusStoreTest, OpensAnExistingDatabaseReadOnly) {
    ClientDatabase::WithStatusRows({{"C:\\S\\a.txt", 0}}).WriteTo(DatabaseFile());
    const std::string before = test::ReadFileBytes(DatabaseFile());

    const StatusStore store = OpenStatusStore(WideToUtf8(DatabaseFile()));
    ASSERT_TRUE(store);
    EXPECT_EQ(StatusListContains(store.get(), FileStatus::Synchronised, "C:\\S\\a.txt"), LookupResult::Found);
    EXPECT_NE(sqlite3_exec(store.get(), "delete from file_status", nullptr, nullptr, nullptr), 0)
        << "the client's database must never be written";
    EXPECT_EQ(test::ReadFileBytes(DatabaseFile()), before);
}

TEST_F(StatusStoreTest, AMissingDatabaseIsNotCreated) {
    EXPECT_FALSE(OpenStatusStore(WideToUtf8(DatabaseFile())));
    EXPECT_FALSE(test::Exists(DatabaseFile()));
}

TEST_F(StatusStoreTest, AnEmptyPathOpensNothing) {
    // The path DatabasePath() gives when the install-folder value is missing.
    EXPECT_FALSE(OpenStatusStore(""));
}

TEST_F(StatusStoreTest, AFileThatIsNoDatabaseCannotBeRead) {
    test::WriteFile(DatabaseFile(), std::string(4096, 'x'));
    const StatusStore store = OpenStatusStore(WideToUtf8(DatabaseFile()));
    if (store) {
        EXPECT_EQ(IsListed(store.get(), "C:\\S\\a.txt"), LookupResult::Unreadable);
        EXPECT_EQ(StatusListContains(store.get(), FileStatus::Pending, "C:\\S\\a.txt"), LookupResult::Unreadable);
    }
}

TEST_F(StatusStoreTest, ALockedDatabaseCannotBeRead) {
    const std::string path = WideToUtf8(m_folder / L"x");
    ClientDatabase::WithStatusRows({{path, 1}}).WriteTo(DatabaseFile());
    const StatusStore store = OpenStatusStore(WideToUtf8(DatabaseFile()));
    ASSERT_TRUE(store);
    {
        const test::ExclusiveLock writer(DatabaseFile());
        EXPECT_EQ(StatusListContains(store.get(), FileStatus::Pending, path), LookupResult::Unreadable);
        EXPECT_EQ(IsListed(store.get(), path), LookupResult::Unreadable);
        EXPECT_EQ(HasPendingBelow(store.get(), WideToUtf8(m_folder.Path())), LookupResult::Unreadable);
    }
    EXPECT_EQ(IsListed(store.get(), path), LookupResult::Found) << "the lock is gone";
    EXPECT_EQ(HasPendingBelow(store.get(), WideToUtf8(m_folder.Path())), LookupResult::Found);
}

}  // namespace
}  // namespace lumbo
