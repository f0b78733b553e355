// A database that cannot be read gives no badge from any handler: a lookup
// that fails is no "not found", which the pending overlay would otherwise
// show as waiting for upload.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "shellext/overlay_handlers.h"
#include "store/status_store.h"
#include "store/unique_handle.h"
#include "tests/support/installed_client.h"
#include "tests/support/test_com_object.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

using test::ComPtr;

template <class Handler>
ComPtr<IShellIconOverlayIdentifier> Create() {
    return ComPtr<IShellIconOverlayIdentifier>(test::TestComObject<Handler, IShellIconOverlayIdentifier>::Create());
}

int CompareBytes(void*, int leftSize, const void* left, int rightSize, const void* right) {
    const int common = leftSize < rightSize ? leftSize : rightSize;
    const int order = std::memcmp(left, right, static_cast<std::size_t>(common));
    return order != 0 ? order : leftSize - rightSize;
}

class ReadFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::CreateFolders(m_tree / L"Sync\\docs");
        for (const wchar_t* file : {L"Sync\\done.txt", L"Sync\\new.txt", L"Sync\\failed.txt", L"Sync\\docs\\x.txt"})
            test::WriteFile(m_tree / file, "x");
        m_client.Start();
    }

    std::string P(const std::wstring& relative) const { return WideToUtf8(m_tree / relative); }

    test::ClientDatabase Readable() const {
        test::ClientDatabase database = test::ClientDatabase::WithStatusRows({
            {P(L"Sync\\done.txt"), 0},
            {P(L"Sync\\failed.txt"), 2},
            {P(L"Sync\\docs"), 0},
            {P(L"Sync\\docs\\x.txt"), 0},
        });
        database.configRows = {{"lumbo_path", P(L"Sync")}, {"ignore_dirs", "[]"}};
        return database;
    }

    // The answers of the three handlers for the items, in order.
    std::vector<HRESULT> Answers() {
        std::vector<HRESULT> answers;
        for (const wchar_t* item : {L"Sync\\done.txt", L"Sync\\new.txt", L"Sync\\failed.txt", L"Sync\\docs"}) {
            const std::wstring path = m_tree / item;
            answers.push_back(m_synchronised->IsMemberOf(path.c_str(), 0));
            answers.push_back(m_pending->IsMemberOf(path.c_str(), 0));
            answers.push_back(m_failed->IsMemberOf(path.c_str(), 0));
        }
        return answers;
    }

    test::InstalledClient m_client;
    test::ScratchFolder m_tree;
    ComPtr<IShellIconOverlayIdentifier> m_synchronised = Create<ClumboExt0>();
    ComPtr<IShellIconOverlayIdentifier> m_pending = Create<ClumboExt1>();
    ComPtr<IShellIconOverlayIdentifier> m_failed = Create<ClumboExt2>();
};

TEST_F(ReadFailureTest, NoHandlerBadgesWhatItCannotRead) {
    const std::vector<HRESULT> readable = {
        S_OK,    S_FALSE, S_FALSE,  // done.txt
        S_FALSE, S_OK,    S_FALSE,  // new.txt, not listed
        S_FALSE, S_FALSE, S_OK,     // failed.txt
        S_OK,    S_FALSE, S_FALSE,  // docs
    };
    const std::vector<HRESULT> none(readable.size(), S_FALSE);
    const std::wstring file = m_client.DatabaseFile();

    struct Failure {
        const char* name;
        std::function<void()> make;  // breaks the readable database
    };
    const std::vector<Failure> failures = {
        {"missing table",
         [&] {
             test::ClientDatabase database = Readable();
             database.withStatusTable = false;
             m_client.WriteDatabase(database);
         }},
        {"damaged table page",
         [&] {
             // file_status is the first table: its root is page 2, after the
             // 4096-byte schema page. An invalid page type makes every scan fail.
             std::string bytes = test::ReadFileBytes(file);
             ASSERT_GE(bytes.size(), 3u * 4096u);
             bytes[4096] = '\x7F';
             test::WriteFile(file, bytes);
         }},
        {"collation the extension lacks",
         [&] {
             DeleteFileW(file.c_str());
             sqlite3* connection = nullptr;
             ASSERT_EQ(sqlite3_open(WideToUtf8(file).c_str(), &connection), SQLITE_OK);
             sqlite3_create_collation(connection, "lumbo_path", SQLITE_UTF8, nullptr, CompareBytes);
             const std::string sql =
                 "create table file_status (local_filename text collate lumbo_path, status integer);"
                 "create table config (key text, text_value text);"
                 "insert into config values ('lumbo_path', '" + P(L"Sync") + "');"
                 "insert into file_status values ('" + P(L"Sync\\done.txt") + "', 0);"
                 "insert into file_status values ('" + P(L"Sync\\failed.txt") + "', 2);";
             EXPECT_EQ(sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
             sqlite3_close(connection);
         }},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.name);
        m_client.WriteDatabase(Readable());
        ASSERT_EQ(Answers(), readable) << "the pending handler now remembers the monitored folder";
        failure.make();
        EXPECT_EQ(Answers(), none);
    }

    m_client.WriteDatabase(Readable());
    {
        SCOPED_TRACE("locked by a writer");
        const test::ExclusiveLock writer(file);
        EXPECT_EQ(Answers(), none);
    }
    EXPECT_EQ(Answers(), readable) << "the lock is gone";
}

TEST_F(ReadFailureTest, ADatabaseHeldWithoutSharingFailsWithinTheBound) {
    m_client.WriteDatabase(Readable());
    ASSERT_EQ(Answers()[0], S_OK);
    const std::wstring file = m_client.DatabaseFile();
    const UniqueHandle held(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);

    // SQLite's own Windows layer used to retry such an open for 1.4 s; the
    // bound here is wide, it only tells "fails" from "stalls".
    constexpr ULONGLONG kGenerousBound = 500;
    const ULONGLONG before = GetTickCount64();
    const std::vector<HRESULT> answers = Answers();
    const ULONGLONG perCall = (GetTickCount64() - before) / answers.size();
    EXPECT_EQ(answers, std::vector<HRESULT>(answers.size(), S_FALSE));
    EXPECT_LT(perCall, kGenerousBound);

    sqlite3* direct = nullptr;
    const ULONGLONG directStart = GetTickCount64();
    EXPECT_NE(sqlite3_open_v2(WideToUtf8(file).c_str(), &direct, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    EXPECT_LT(GetTickCount64() - directStart, kGenerousBound) << "SQLite's own open retry is bounded too";
    sqlite3_close(direct);
}

// A folder chain of CJK names, made and removed through the \\?\ form.
class LongFolder {
public:
    LongFolder(const std::wstring& root, std::size_t units) {
        std::wstring path = root;
        for (wchar_t letter = 0x4E00; path.size() < units; ++letter) {
            // Names of 80 CJK units stay within the file system's 255 bytes.
            const std::size_t length = std::min<std::size_t>(80, units - path.size() - 1);
            path += L"\\" + std::wstring(length, letter);
            m_folders.push_back(path);
            CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
        }
    }
    ~LongFolder() {
        DeleteFileW((L"\\\\?\\" + Path() + L"\\mydatabase.db").c_str());
        for (auto folder = m_folders.rbegin(); folder != m_folders.rend(); ++folder)
            RemoveDirectoryW((L"\\\\?\\" + *folder).c_str());
    }
    const std::wstring& Path() const { return m_folders.back(); }

private:
    std::vector<std::wstring> m_folders;
};

TEST_F(ReadFailureTest, AnInstallFolderOf511CjkUnitsOpens) {
    const LongFolder install(m_tree.Path(), 511);
    ASSERT_EQ(install.Path().size(), 511u);
    const std::wstring database = install.Path() + L"\\mydatabase.db";
    ASSERT_GT(WideToUtf8(database).size(), 1040u) << "beyond the default Windows layer's cap";
    // Written at a short path, then moved into place.
    m_client.WriteDatabase(Readable());
    ASSERT_TRUE(MoveFileW(m_client.DatabaseFile().c_str(), (L"\\\\?\\" + database).c_str()));
    m_client.InstallKey().SetFolder(install.Path());

    const std::vector<HRESULT> answers = Answers();
    EXPECT_EQ(answers[0], S_OK) << "synchronised";
    EXPECT_EQ(answers[4], S_OK) << "new";
    EXPECT_EQ(answers[8], S_OK) << "failed";
    EXPECT_EQ(answers[9], S_OK) << "synchronised folder";
    EXPECT_EQ(std::count(answers.begin(), answers.end(), S_OK), 4);
}

}  // namespace
}  // namespace lumbo
