// The table page reader on databases SQLite itself wrote, of every page
// size, with reserved bytes at the page end, trees of several levels, long
// names that overflow and a freelist; its leaves against the rows SQLite
// reports in each leaf's rowid range. Damaged files must give "unsure",
// never a crash or a wrong tree.
#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "store/read_transaction.h"
#include "store/snapshot_pages.h"
#include "store/store_marker.h"
#include "store/table_pages.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_database.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

class Database {
public:
    explicit Database(const std::wstring& path) {
        if (sqlite3_open(WideToUtf8(path).c_str(), &m_connection) != SQLITE_OK) throw std::runtime_error("open");
    }
    ~Database() { sqlite3_close(m_connection); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* get() const { return m_connection; }

    void Execute(const std::string& sql) { test::Execute(m_connection, sql); }

    // The integers of the first row.
    std::vector<std::int64_t> Row(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        std::vector<std::int64_t> values;
        if (sqlite3_prepare_v2(m_connection, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(statement); ++i)
                values.push_back(sqlite3_column_int64(statement, i));
        sqlite3_finalize(statement);
        return values;
    }

private:
    sqlite3* m_connection = nullptr;
};

struct Shape {
    int pageSize;
    int reserved;
    int rows;
};

PageReader FromBytes(const std::string& file, std::uint32_t pageSize) {
    return [&file, pageSize](std::uint32_t page, std::vector<unsigned char>& bytes) {
        const std::uint64_t at = std::uint64_t{page - 1} * pageSize;
        if (at + pageSize > file.size()) return false;
        bytes.assign(file.begin() + static_cast<std::ptrdiff_t>(at),
                     file.begin() + static_cast<std::ptrdiff_t>(at + pageSize));
        return true;
    };
}

class TablePagesTest : public ::testing::Test {
protected:
    std::wstring Path() const { return m_folder / L"pages.db"; }

    // A client-shaped table with gaps in the rowids, some names longer than
    // a page, and a third of the rows deleted again so a freelist remains.
    void Write(const Shape& shape) {
        DeleteFileW(Path().c_str());
        Database database(Path());
        int reserved = shape.reserved;
        ASSERT_EQ(sqlite3_file_control(database.get(), "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved), SQLITE_OK);
        database.Execute("pragma page_size = " + std::to_string(shape.pageSize) +
                         "; create table file_status (local_filename text primary key, status integer);"
                         "create table config (key text, text_value text); begin;");
        std::mt19937 random(static_cast<std::uint32_t>(shape.pageSize + shape.reserved));
        std::int64_t rowid = 1;
        for (int i = 0; i < shape.rows; ++i) {
            rowid += 1 + static_cast<std::int64_t>(random() % 5);
            if (i == shape.rows / 2) rowid += std::int64_t{1} << 40;  // an eight-byte varint onwards
            const std::size_t length = random() % 40 == 0 ? shape.pageSize + random() % 3000 : 10 + random() % 60;
            std::string name = "C:\\Sync\\" + std::to_string(i) + "\\";
            name.append(length, static_cast<char>('a' + i % 26));
            database.Execute("insert into file_status (rowid, local_filename, status) values (" +
                             std::to_string(rowid) + ", '" + name + "', " + std::to_string(random() % 3) + ")");
        }
        database.Execute("commit; delete from file_status where rowid % 3 = 0 and rowid % 7 < 5");
    }

    // The tree in the bytes of m_file.
    std::optional<TableTree> Walk(std::uint32_t root, const DatabaseLayout& layout) const {
        return ReadTableTree(root, layout, ParseFrom(layout, FromBytes(m_file, layout.pageSize)));
    }

    std::string m_file;
    test::ScratchFolder m_folder;
};

TEST_F(TablePagesTest, LeavesHoldExactlyTheRowsSqliteReportsForEveryShape) {
    const std::vector<Shape> shapes = {{512, 0, 400},    {1024, 0, 900},  {1024, 33, 900}, {4096, 0, 3000},
                                       {4096, 8, 3000},  {8192, 255, 3000}, {16384, 0, 5000}, {32768, 64, 5000},
                                       {65536, 0, 8000}, {65536, 200, 8000}};
    for (const Shape& shape : shapes) {
        SCOPED_TRACE("page size " + std::to_string(shape.pageSize) + ", reserved " + std::to_string(shape.reserved));
        Write(shape);
        m_file = test::ReadFileBytes(Path());
        const auto* bytes = reinterpret_cast<const unsigned char*>(m_file.data());
        const std::optional<DatabaseLayout> layout = ReadDatabaseLayout(bytes, m_file.size());
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->pageSize, static_cast<std::uint32_t>(shape.pageSize));
        EXPECT_EQ(layout->usableSize, static_cast<std::uint32_t>(shape.pageSize - shape.reserved));
        EXPECT_EQ(std::uint64_t{layout->pageCount} * layout->pageSize, m_file.size());
        EXPECT_TRUE(layout->utf8);
        EXPECT_FALSE(layout->autoVacuum);

        Database database(Path());
        EXPECT_GT(database.Row("pragma freelist_count")[0], 0);
        const auto root = static_cast<std::uint32_t>(
            database.Row("select rootpage from sqlite_master where name = 'file_status'")[0]);
        const std::optional<TableTree> tree = Walk(root, *layout);
        ASSERT_TRUE(tree);
        EXPECT_FALSE(tree->interiors.empty());
        ASSERT_GT(tree->leaves.size(), 2u);

        std::int64_t rows = 0;
        std::int64_t previousLast = 0;
        int overflowing = 0;
        for (const TreePage& leaf : tree->leaves) {
            const TablePage& page = leaf.content;
            ASSERT_TRUE(page.leaf);
            EXPECT_GT(page.firstRowid, previousLast) << "leaf " << leaf.page;
            previousLast = page.lastRowid;
            const std::string range = " from file_status where rowid between " + std::to_string(page.firstRowid) +
                                      " and " + std::to_string(page.lastRowid);
            const std::vector<std::int64_t> reported = database.Row("select count(*), min(rowid), max(rowid)" + range);
            EXPECT_EQ(reported, (std::vector<std::int64_t>{page.cellCount, page.firstRowid, page.lastRowid}))
                << "leaf " << leaf.page;
            // A name longer than the page cannot stay on it; short ones all do.
            const std::int64_t longest = database.Row("select max(length(local_filename))" + range)[0];
            if (longest > shape.pageSize) {
                EXPECT_TRUE(page.overflows) << "leaf " << leaf.page;
            }
            if (longest < 100) {
                EXPECT_FALSE(page.overflows) << "leaf " << leaf.page;
            }
            overflowing += page.overflows ? 1 : 0;
            rows += page.cellCount;
        }
        EXPECT_EQ(rows, database.Row("select count(*) from file_status")[0]);
        EXPECT_GT(overflowing, 0);
    }
}

TEST_F(TablePagesTest, ShapesNotReadAreUnsure) {
    Write({512, 0, 50});
    {
        Database database(Path());
        database.Execute("create table plain (a text primary key, b) without rowid;"
                         "insert into plain values ('x', 1), ('y', 2); create index by_status on file_status (status)");
    }
    m_file = test::ReadFileBytes(Path());
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_file.data());
    const std::optional<DatabaseLayout> layout = ReadDatabaseLayout(bytes, m_file.size());
    ASSERT_TRUE(layout);
    Database database(Path());
    for (const char* index : {"plain", "by_status", "sqlite_autoindex_file_status_1"}) {
        const auto root = static_cast<std::uint32_t>(
            database.Row(std::string("select rootpage from sqlite_master where name = '") + index + "'")[0]);
        EXPECT_FALSE(Walk(root, *layout)) << index;
    }
    EXPECT_FALSE(Walk(0, *layout));
    EXPECT_FALSE(Walk(layout->pageCount + 1, *layout));

    // The header's own checks: the magic, a page size that is no power of two,
    // a usable size below SQLite's least, a UTF-16 text encoding.
    struct Damage {
        std::size_t offset;
        unsigned char value;
        bool readable;
    };
    for (const Damage& damage : std::vector<Damage>{{0, 'X', false}, {16, 0x05, false}, {17, 0x01, false},
                                                    {20, 250, false}, {21, 65, false}, {59, 2, true}}) {
        std::string header = m_file.substr(0, 100);
        header[damage.offset] = static_cast<char>(damage.value);
        const std::optional<DatabaseLayout> read =
            ReadDatabaseLayout(reinterpret_cast<const unsigned char*>(header.data()), header.size());
        EXPECT_EQ(read.has_value(), damage.readable) << "offset " << damage.offset;
        if (read) {
            EXPECT_FALSE(read->utf8);
        }
    }
    EXPECT_FALSE(ReadDatabaseLayout(bytes, 99));
}

// In WAL mode the pages a reader sees are the main file's with the log's
// frames up to its snapshot laid over them: the tree read that way holds the
// reader's rows, not the main file's older ones nor a later commit's.
TEST_F(TablePagesTest, ThroughTheWalTheTreeIsTheSnapshots) {
    Write({1024, 0, 300});
    Database client(Path());
    client.Execute("pragma journal_mode = wal; pragma wal_autocheckpoint = 0");
    // Rows in new leaves and old ones, all in the log only.
    client.Execute("insert into file_status select local_filename || 'x', 1 from file_status where rowid % 2 = 0;"
                   "delete from file_status where rowid % 5 = 1");
    Database reader(Path());
    const ReadTransaction transaction(reader.get());
    ASSERT_TRUE(transaction);
    const std::optional<StoreMarker> marker = ReadStoreMarker(reader.get());
    ASSERT_TRUE(marker && marker->wal);
    const std::vector<std::int64_t> seen = reader.Row("select count(*), max(rowid) from file_status");
    // A commit after the reader's snapshot must not show.
    client.Execute("insert into file_status select local_filename || 'y', 1 from file_status");

    std::optional<DatabaseLayout> layout = ReadDatabaseLayout(marker->header, sizeof marker->header);
    ASSERT_TRUE(layout);
    layout->pageCount = static_cast<std::uint32_t>(reader.Row("pragma page_count")[0]);
    std::optional<SnapshotPages> pages = SnapshotPages::Open(reader.get(), *layout);
    ASSERT_TRUE(pages);
    const WalPosition position = ReadWalPosition(marker->walSnapshot);
    ASSERT_GT(position.maxFrame, 0u);
    ASSERT_TRUE(pages->LayWalFrames(WalPosition{}, position));
    EXPECT_FALSE(pages->FramePages().empty());
    // Past the snapshot's checksum the frames are not the reader's.
    WalPosition wrong = position;
    wrong.checksum[0] ^= 1;
    EXPECT_FALSE(SnapshotPages::Open(reader.get(), *layout)->LayWalFrames(WalPosition{}, wrong));

    const auto root = static_cast<std::uint32_t>(
        reader.Row("select rootpage from sqlite_master where name = 'file_status'")[0]);
    const PageReader read = [&pages](std::uint32_t page, std::vector<unsigned char>& bytes) {
        return pages->Read(page, bytes);
    };
    const std::optional<TableTree> tree = ReadTableTree(root, *layout, ParseFrom(*layout, read));
    ASSERT_TRUE(tree);
    std::int64_t rows = 0;
    for (const TreePage& leaf : tree->leaves) {
        const std::vector<std::int64_t> reported = reader.Row(
            "select count(*) from file_status where rowid between " + std::to_string(leaf.content.firstRowid) +
            " and " + std::to_string(leaf.content.lastRowid));
        EXPECT_EQ(reported[0], leaf.content.cellCount) << "leaf " << leaf.page;
        rows += leaf.content.cellCount;
    }
    EXPECT_EQ(rows, seen[0]);
    EXPECT_EQ(tree->leaves.back().content.lastRowid, seen[1]);
}

// Random damage to the table's pages: the walk either gives up or gives a
// tree whose leaves still ascend, and never reads outside the page.
TEST_F(TablePagesTest, DamagedPagesNeverCrashTheWalk) {
    Write({512, 16, 600});
    const std::string original = test::ReadFileBytes(Path());
    const std::optional<DatabaseLayout> layout =
        ReadDatabaseLayout(reinterpret_cast<const unsigned char*>(original.data()), original.size());
    ASSERT_TRUE(layout);
    std::uint32_t root = 0;
    {
        Database database(Path());
        root = static_cast<std::uint32_t>(
            database.Row("select rootpage from sqlite_master where name = 'file_status'")[0]);
    }
    std::mt19937 random(77);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        m_file = original;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            // Mostly the page headers and cell pointers, where damage bites.
            const std::size_t page = random() % layout->pageCount;
            const std::size_t within = random() % 4 != 0 ? random() % 40 : random() % layout->pageSize;
            m_file[page * layout->pageSize + within] = static_cast<char>(random());
        }
        const std::optional<TableTree> tree = Walk(root, *layout);
        if (!tree) {
            ++refused;
            continue;
        }
        std::int64_t previousLast = std::numeric_limits<std::int64_t>::min();
        for (const TreePage& leaf : tree->leaves) {
            if (leaf.content.cellCount == 0) continue;
            EXPECT_GT(leaf.content.firstRowid, previousLast);
            EXPECT_LE(leaf.content.firstRowid, leaf.content.lastRowid);
            previousLast = leaf.content.lastRowid;
        }
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace lumbo
