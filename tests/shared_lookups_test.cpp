// The shared folder set and filter patterns against the per-call queries
// they stand in for: a client writing thousands of random commits shaped
// like a sync (status flips, bulk inserts that split leaves, folders moved
// to new row numbers, names longer than a page), in both journal modes,
// with checkpoints, WAL restarts, VACUUM (page sizes changed too), the
// client quitting and the file replaced, and after
// each commit every handler's answer on a fixed set of items compared on
// both roads; the same from several threads at once; a filter file
// rewritten at the same size.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "shellext/overlay_decisions.h"
#include "shellext/overlay_frame.h"
#include "store/pending_folder_cache.h"
#include "store/read_transaction.h"
#include "store/status_queries.h"
#include "store/status_store.h"
#include "tests/support/installed_client.h"
#include "tests/support/test_database.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

// Folders of the synchronised tree that rows name; the look-alikes differ
// from their neighbours only by case, a wildcard or a non-ASCII letter.
const std::vector<std::wstring> kFolders = {
    L"Sync\\docs", L"Sync\\docs\\a", L"Sync\\docs\\a\\b", L"Sync\\DOCS\\A\\c", L"Sync\\docsx", L"Sync\\d_1",
    L"Sync\\dA1", L"Sync\\p%q", L"Sync\\pXq", L"Sync\\x|y", L"Sync\\\u4E2D\u6587", L"Sync\\caf\u00E9",
    L"Sync\\CAF\u00C9", L"Sync\\gone"};

class ClientWriter {
public:
    explicit ClientWriter(std::wstring path) : m_path(std::move(path)) { Open(); }
    ~ClientWriter() { sqlite3_close(m_connection); }
    ClientWriter(const ClientWriter&) = delete;
    ClientWriter& operator=(const ClientWriter&) = delete;

    void Execute(const std::string& sql) { test::Execute(m_connection, sql); }

    // Another database takes the file's place, as a client restoring one does.
    void Replace(const std::string& schema, const std::vector<std::string>& statements, int pageSize = 4096) {
        Stop();
        const std::wstring fresh = m_path + L".new";
        DeleteFileW(fresh.c_str());
        {
            ClientWriter other(fresh);
            other.Execute("pragma page_size = " + std::to_string(pageSize));
            other.Execute(schema);
            for (const std::string& statement : statements) other.Execute(statement);
        }
        if (!MoveFileExW(fresh.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING))
            throw std::runtime_error("the database was not replaced");
        Open();
    }

    // The client quits: its last connection checkpoints a WAL into the main
    // file and removes it, so readers take the file alone.
    void Stop() {
        sqlite3_close(m_connection);
        m_connection = nullptr;
    }
    bool Running() const { return m_connection != nullptr; }

    void Open() {
        if (sqlite3_open_v2(WideToUtf8(m_path).c_str(), &m_connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open the database for writing");
        Execute("pragma synchronous = off");
    }

private:
    std::wstring m_path;
    sqlite3* m_connection = nullptr;
};

struct Answers {
    bool synchronised = false;
    bool pending = false;
    bool failed = false;
    bool operator==(const Answers& other) const {
        return synchronised == other.synchronised && pending == other.pending && failed == other.failed;
    }
};

// Long enough to split and merge leaves many times over; a longer soak is
// asked for with LUMBO_DIFFERENTIAL_STEPS.
int DifferentialSteps() {
    const char* asked = std::getenv("LUMBO_DIFFERENTIAL_STEPS");
    const int steps = asked != nullptr ? std::atoi(asked) : 0;
    return steps > 0 ? steps : 600;
}

class SharedLookupsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::wstring& folder : kFolders)
            if (folder != L"Sync\\gone") test::CreateFolders(m_tree / folder);
        for (const wchar_t* file : {L"Sync\\docs\\f0", L"Sync\\docs\\a\\f1", L"Sync\\new.txt", L"Sync\\~$x.tmp"})
            test::WriteFile(m_tree / file, "x");
        test::WriteFile(m_client.InstallFolder() + L"\\files\\filefilter", "^~\\$\n\\.partial$\n");
        m_items = {L"Sync", L"Sync\\docs\\f0", L"Sync\\docs\\a\\f1", L"Sync\\new.txt", L"Sync\\~$x.tmp"};
        for (const std::wstring& folder : kFolders) m_items.push_back(folder);
        m_client.Start();
    }

    std::string Utf8(const std::wstring& relative) const { return WideToUtf8(m_tree / relative); }

    std::string Schema(bool primaryKey) const {
        const std::string table = primaryKey ? "create table file_status (local_filename text primary key, status "
                                               "integer); create index file_status_status on file_status (status);"
                                             : "create table file_status (local_filename text, status integer);";
        return table + "create table config (key text, text_value text); insert into config values ('lumbo_path', '" +
               Utf8(L"Sync") + "'); insert into config values ('ignore_dirs', '[\"Ignored\"]');";
    }

    std::string DatabasePath() const { return WideToUtf8(m_client.DatabaseFile()); }

    std::int64_t PageCount() const {
        const StatusStore store = OpenStatusStore(DatabasePath());
        sqlite3_stmt* statement = nullptr;
        std::int64_t pages = 0;
        if (store && sqlite3_prepare_v2(store.get(), "pragma page_count", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            pages = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return pages;
    }

    Answers Ask(sqlite3* store, const std::wstring& item, LookupRoad road, std::string& remembered) const {
        const std::wstring path = m_tree / item;
        const std::string utf8 = WideToUtf8(path);
        const std::string databasePath = DatabasePath();
        const OverlayQuery query{store, databasePath, path.c_str()};
        return {HasSynchronisedBadge(store, utf8, road), HasPendingBadge(query, remembered, road),
                HasFailedBadge(store, utf8)};
    }

    // After every commit the folder look-up of every item on both roads, and
    // the full answers of every handler on one item in turn; all items'
    // full answers every 50th step. The number of differences.
    int CompareRoads(int step, std::string& failure) {
        const StatusStore store = OpenStatusStore(DatabasePath());
        if (!store) {
            failure = "the database did not open";
            return 1;
        }
        int differences = 0;
        // Every other step inside one read of the whole comparison, as a
        // call of the overlay frame holds it.
        std::optional<ReadTransaction> transaction;
        if (step % 2 == 1) transaction.emplace(store.get());
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            const std::string utf8 = WideToUtf8(m_tree / m_items[i]);
            bool same = HasPendingBelowShared(store.get(), utf8) == HasPendingBelow(store.get(), utf8);
            if (step % 50 == 0 || i == static_cast<std::size_t>(step) % m_items.size())
                same = same && Ask(store.get(), m_items[i], LookupRoad::Shared, m_rememberedShared) ==
                                   Ask(store.get(), m_items[i], LookupRoad::PerCall, m_rememberedPerCall);
            if (same) continue;
            ++differences;
            if (failure.empty()) failure = utf8;
        }
        return differences;
    }

    test::InstalledClient m_client;
    test::ScratchFolder m_tree;
    std::vector<std::wstring> m_items;
    std::string m_rememberedShared;
    std::string m_rememberedPerCall;
};

// One random change of the client, or several in one transaction. Names
// are UTF-8 paths of the tree, quoted for a statement.
class RandomClient {
public:
    RandomClient(std::function<std::string(const std::wstring&)> utf8, std::uint32_t seed)
        : m_random(seed), m_utf8(std::move(utf8)) {
        for (const std::wstring& folder : kFolders) {
            m_names.push_back(folder);
            for (const wchar_t* file : {L"\\f0", L"\\f1", L"\\F1", L"\\deep\\x"}) m_names.push_back(folder + file);
        }
        m_names.push_back(L"Sync");
        m_names.push_back(L"Sync\\new.txt");
    }

    unsigned Roll() { return m_random() % 1000; }

    std::string Commit() {
        const int changes = Roll() < 150 ? 2 + static_cast<int>(m_random() % 4) : 1;
        std::string sql = "begin;";
        for (int i = 0; i < changes; ++i) sql += Change();
        return sql + "commit;";
    }

    // Rows for a database made afresh.
    std::vector<std::string> Rows(int count) {
        std::vector<std::string> rows;
        for (int i = 0; i < count; ++i)
            rows.push_back("insert or replace into file_status values (" + Name() + ", " + Status() + ");");
        return rows;
    }

private:
    std::string Name() { return Quote(m_utf8(m_names[m_random() % m_names.size()])); }
    std::string Status() { return std::to_string(m_random() % 3); }

    std::string Change() {
        const unsigned kind = m_random() % 40;
        if (kind < 14) return "insert or replace into file_status values (" + Name() + ", " + Status() + ");";
        if (kind < 24) return "update file_status set status = " + Status() + " where local_filename = " + Name() + ";";
        if (kind < 30) return "delete from file_status where local_filename = " + Name() + ";";
        if (kind == 30) return "delete from file_status where " + Beneath(Folder()) + ";";
        if (kind == 31) return Setting();
        if (kind < 34) return BulkInsert();
        if (kind == 34) return "delete from file_status where " + Beneath(Folder() + "\\b") + ";";
        if (kind < 37) return MoveRows();
        if (kind == 37) return LongName();
        if (kind == 38) {
            // A rename in place: the row keeps its number, its text grows or shrinks.
            return "update or replace file_status set local_filename = " + Quote(Folder() + "\\r" + Number()) +
                   " where local_filename = " + Name() + ";";
        }
        return "update file_status set status = " + Status() + " where " + Beneath(Folder()) + ";";
    }

    std::string Folder() { return m_utf8(kFolders[m_random() % kFolders.size()]); }
    std::string Number() { return std::to_string(m_random() % 100000); }

    // Every row beneath the UTF-8 prefix (a folder, or a folder and the start
    // of a name): compared as bytes, since the names hold like wildcards.
    static std::string Beneath(const std::string& prefix) {
        return "substr(local_filename, 1, " + std::to_string(prefix.size()) + ") = " + Quote(prefix);
    }

    // Tens to a hundred and more rows at once: leaves split, and deeper trees.
    std::string BulkInsert() {
        const std::string prefix = Folder() + "\\b" + Number() + "_";
        const unsigned count = 20 + m_random() % 130;
        const unsigned shift = m_random() % 3;
        return "with recursive n(i) as (select 1 union all select i + 1 from n where i < " + std::to_string(count) +
               ") insert or replace into file_status select " + Quote(prefix) + " || i, (i * 7 + " +
               std::to_string(shift) + ") % 3 from n;";
    }

    // A folder renamed: its rows deleted and inserted again under the other
    // name, with new row numbers, so they leave their pages for others.
    std::string MoveRows() {
        const std::string from = Folder() + "\\b";
        const std::string to = Folder() + "\\m" + Number();
        return "insert or replace into file_status select " + Quote(to) + " || substr(local_filename, " +
               std::to_string(from.size() + 1) + "), status from file_status where " + Beneath(from) +
               "; delete from file_status where " + Beneath(from) + ";";
    }

    // Names longer than a page: their payload overflows onto other pages.
    std::string LongName() {
        const std::size_t length = 300 + m_random() % 6000;
        return "insert or replace into file_status values (" + Quote(Folder() + "\\L" + std::string(length, 'n')) +
               ", " + Status() + ");";
    }

    // The monitored folder moved, emptied or gone; the ignored folders
    // changed, broken or gone.
    std::string Setting() {
        const bool monitored = m_random() % 2 == 0;
        const char* key = monitored ? "lumbo_path" : "ignore_dirs";
        const unsigned choice = m_random() % 4;
        std::string sql = std::string("delete from config where key = '") + key + "';";
        if (choice == 3) return sql;
        std::string value;
        if (monitored) value = choice == 0 ? Quote(m_utf8(L"Sync")) : choice == 1 ? Quote(m_utf8(L"Sync\\docs")) : "''";
        else value = choice == 0 ? "'[\"docs\"]'" : choice == 1 ? "'[\"Ignored\"]'" : "'not json'";
        return sql + "insert into config values ('" + key + "', " + value + ");";
    }

    static std::string Quote(const std::string& text) {
        std::string quoted = "'";
        for (const char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        return quoted + "'";
    }

    std::mt19937 m_random;
    std::function<std::string(const std::wstring&)> m_utf8;
    std::vector<std::wstring> m_names;
};

TEST_F(SharedLookupsTest, AnswerAsThePerCallQueriesThroughThousandsOfCommits) {
    ClientWriter writer(m_client.DatabaseFile());
    bool primaryKey = false;
    writer.Execute("pragma page_size = 1024");
    writer.Execute(Schema(primaryKey));
    RandomClient client([this](const std::wstring& relative) { return Utf8(relative); }, 16061);
    bool wal = false;
    int commits = 0;
    int differences = 0;
    int walkedClosed = 0;
    std::int64_t mostPages = 0;
    std::string firstFailure;
    const int steps = DifferentialSteps();
    const PendingFolderCacheActivity before = PendingFolderCacheCounts();
    for (int step = 0; step < steps; ++step) {
        const unsigned roll = client.Roll();
        if (roll >= 30 && roll < 40 && writer.Running()) {
            // The client quits for a while; the next write starts it again.
            writer.Stop();
        } else {
            if (!writer.Running()) writer.Open();
            if (roll < 4) {
                primaryKey = !primaryKey;
                const int pageSizes[] = {512, 1024, 4096};
                writer.Replace(Schema(primaryKey), client.Rows(40), pageSizes[roll % 3]);
                wal = false;
            } else if (roll < 12) {
                wal = !wal;
                writer.Execute(wal ? "pragma journal_mode = wal" : "pragma journal_mode = delete");
            } else if (roll < 16) {
                writer.Execute("vacuum");
            } else if (roll < 18 && !wal) {
                // Only a rollback-mode VACUUM can change the page size.
                writer.Execute(roll == 16 ? "pragma page_size = 512; vacuum" : "pragma page_size = 2048; vacuum");
            } else if (roll < 30 && wal) {
                const char* modes[] = {"passive", "full", "restart", "truncate"};
                writer.Execute(std::string("pragma wal_checkpoint(") + modes[roll % 4] + ")");
            } else {
                writer.Execute(client.Commit());
                ++commits;
            }
        }
        if (!writer.Running() && wal) ++walkedClosed;
        std::string failure;
        const int found = CompareRoads(step, failure);
        if (found != 0 && firstFailure.empty()) firstFailure = "step " + std::to_string(step) + ": " + failure;
        differences += found;
        if (step % 100 == 0) mostPages = std::max(mostPages, PageCount());
    }
    EXPECT_EQ(differences, 0) << "first at " << firstFailure;
    EXPECT_GT(commits, steps * 7 / 10);
    // Most states must be reached from the pages a commit changed.
    const PendingFolderCacheActivity after = PendingFolderCacheCounts();
    const std::size_t updates = after.pageUpdates - before.pageUpdates;
    const std::size_t wholeReads = after.wholeReads - before.wholeReads;
    std::printf("states reached by changed pages: %zu, read in full: %zu\n", updates, wholeReads);
    EXPECT_GT(updates, wholeReads * 3);
    // The run must reach trees of many pages and WAL databases read closed.
    EXPECT_GT(mostPages, 50);
    EXPECT_GT(walkedClosed, 0);
}

// Rewrites the file in place, same size, and puts its last-write time back:
// nothing but the bytes tells the new content from the old.
void RewriteInPlace(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME written;
    ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr));
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
}

TEST_F(SharedLookupsTest, AFilterFileRewrittenAtTheSameSizeCountsAtTheNextCall) {
    ClientWriter writer(m_client.DatabaseFile());
    writer.Execute(Schema(false));
    const std::wstring filter = m_client.InstallFolder() + L"\\files\\filefilter";
    test::WriteFile(filter, "new\\.txt$\n");
    std::string remembered;
    // Sync\new.txt is not listed: pending unless a pattern sets it apart.
    const auto pending = [&] {
        const StatusStore store = OpenStatusStore(DatabasePath());
        return store && Ask(store.get(), L"Sync\\new.txt", LookupRoad::Shared, remembered).pending;
    };
    EXPECT_FALSE(pending());
    EXPECT_FALSE(pending());
    RewriteInPlace(filter, "old\\.txt$\n");
    EXPECT_TRUE(pending());
    RewriteInPlace(filter, "new\\.txt$\n");
    EXPECT_FALSE(pending());
    DeleteFileW(filter.c_str());
    EXPECT_TRUE(pending());
}

// The settings live in the database: a commit that changes them counts at
// the next call, in either journal mode, though the kept values of the state
// before were read inside a call's read.
TEST_F(SharedLookupsTest, SettingsChangedByACommitCountAtTheNextCall) {
    ClientWriter writer(m_client.DatabaseFile());
    writer.Execute(Schema(true));
    struct Case {
        std::string change;
        bool pending;  // of Sync\new.txt, not listed
    };
    const std::string sync = Utf8(L"Sync");
    const std::vector<Case> cases = {
        {"select 1", true},
        {"update config set text_value = 'C:\\Elsewhere' where key = 'lumbo_path'", false},
        {"update config set text_value = '' where key = 'lumbo_path'", false},
        {"update config set text_value = '" + sync + "' where key = 'lumbo_path'", true},
        {"update config set text_value = '[\"new.txt\"]' where key = 'ignore_dirs'", false},
        {"update config set text_value = 'not json' where key = 'ignore_dirs'", true},
    };
    for (const bool wal : {false, true}) {
        writer.Execute(wal ? "pragma journal_mode = wal" : "pragma journal_mode = delete");
        // Each handler object remembers its own last monitored folder.
        std::string remembered;
        std::string rememberedPerCall;
        for (const Case& c : {cases[3], cases[0], cases[1], cases[2], cases[3], cases[4], cases[5]}) {
            writer.Execute(c.change);
            for (int repeat = 0; repeat < 2; ++repeat) {
                const StatusStore store = OpenStatusStore(DatabasePath());
                ASSERT_TRUE(store);
                const ReadTransaction transaction(store.get());
                const bool shared = Ask(store.get(), L"Sync\\new.txt", LookupRoad::Shared, remembered).pending;
                const bool perCall =
                    Ask(store.get(), L"Sync\\new.txt", LookupRoad::PerCall, rememberedPerCall).pending;
                EXPECT_EQ(shared, perCall) << (wal ? "wal, " : "rollback, ") << c.change;
                // An emptied folder leaves the one remembered before.
                if (c.change.find("''") == std::string::npos) {
                    EXPECT_EQ(shared, c.pending) << (wal ? "wal, " : "rollback, ") << c.change;
                }
            }
        }
    }
}

// Explorer asks from several threads at once while the set is built,
// published and replaced: every thread must answer as one thread does.
TEST_F(SharedLookupsTest, ThreadsAtOnceAnswerAsOneThread) {
    ClientWriter writer(m_client.DatabaseFile());
    writer.Execute(Schema(true));
    RandomClient client([this](const std::wstring& relative) { return Utf8(relative); }, 4242);
    for (const std::string& row : client.Rows(60)) writer.Execute(row);
    constexpr int kThreads = 4;
    std::atomic<int> wrong{0};
    std::atomic<int> asked{0};
    std::mutex failuresLock;
    std::string failures;
    for (int round = 0; round < 6; ++round) {
        std::vector<Answers> expected;
        {
            const StatusStore store = OpenStatusStore(DatabasePath());
            ASSERT_TRUE(store);
            std::string remembered;
            for (const std::wstring& item : m_items)
                expected.push_back(Ask(store.get(), item, LookupRoad::PerCall, remembered));
        }
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                ++ready;
                while (ready.load() < kThreads) std::this_thread::yield();
                std::string remembered;
                for (int repeat = 0; repeat < 2; ++repeat) {
                    const StatusStore store = OpenStatusStore(DatabasePath());
                    for (std::size_t i = 0; i < m_items.size(); ++i) {
                        // Each thread walks the items from another start.
                        const std::size_t item = (i + static_cast<std::size_t>(t) * 5) % m_items.size();
                        if (!store || !(Ask(store.get(), m_items[item], LookupRoad::Shared, remembered) ==
                                        expected[item])) {
                            ++wrong;
                            std::lock_guard<std::mutex> lock(failuresLock);
                            failures += "round " + std::to_string(round) + " " + WideToUtf8(m_items[item]) + "; ";
                        }
                        ++asked;
                    }
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        writer.Execute(round == 3 ? "pragma journal_mode = wal" : client.Commit());
        if (round > 3) writer.Execute(client.Commit());
    }
    EXPECT_EQ(wrong.load(), 0) << "of " << asked.load() << ": " << failures;
}

}  // namespace
}  // namespace lumbo
