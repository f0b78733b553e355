#include "store/pending_folder_cache.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <sqlite3.h>
#include <windows.h>

#include "store/like_folding.h"
#include "store/read_transaction.h"
#include "store/snapshot_pages.h"
#include "store/status_queries.h"
#include "store/store_marker.h"
#include "store/table_pages.h"

namespace lumbo {

namespace {

// Past this the state is answered by the per-call query instead (1,000,000
// rows with 100,000 pending in 5,000 folders need a few MiB).
constexpr std::size_t kMaxStateBytes = 32u << 20;
// What a folder entry costs beside its text, and what a kept row costs.
constexpr std::size_t kFolderOverhead = sizeof(std::string) + 6 * sizeof(void*);
constexpr std::size_t kRowOverhead = 6 * sizeof(void*) + 16;
// Changed pages beyond this many are met by a full walk.
constexpr std::size_t kMaxRangesQueried = 4096;

constexpr char kPendingRowsWithRowid[] = "select _rowid_, local_filename from file_status where status = 1";
constexpr char kPendingRowsInRange[] =
    "select _rowid_, local_filename from file_status where _rowid_ between ?1 and ?2 and status = 1";
constexpr char kPendingRows[] = "select local_filename from file_status where status = 1";
// A column of that name would stand for the row number in the statements above.
constexpr char kRowidShadowed[] =
    "select 1 from pragma_table_info('file_status') where name = '_rowid_' collate nocase";
constexpr char kTableRoot[] =
    "select rootpage from sqlite_master where type = 'table' and name = 'file_status' collate nocase";
constexpr char kSchemaVersion[] = "pragma schema_version";

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using OwnedStatement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

OwnedStatement Prepare(sqlite3* connection, const char* text) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection, text, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return OwnedStatement(statement);
}

// The one integer a statement answers; nothing on failure or no row.
std::optional<sqlite3_int64> SingleInteger(sqlite3* connection, const char* text) {
    const OwnedStatement statement = Prepare(connection, text);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_int64(statement.get(), 0);
}

// The folded folders a name lies in, deepest first: the text up to its last
// backslash, then each shorter one. Empty for a name without a backslash.
template <typename Visit>
void ForEachFolder(const std::string& foldedParent, Visit visit) {
    for (std::string::size_type end = foldedParent.size(); end != 0;) {
        if (!visit(std::string_view(foldedParent.data(), end))) return;
        end = end >= 2 ? foldedParent.rfind('\\', end - 2) : std::string::npos;
        end = end == std::string::npos ? 0 : end + 1;
    }
}

// The folders holding status-1 rows, counted, and which row counts where,
// so that rows can leave as well as come.
class PendingFolders {
public:
    bool Holds(const std::string& folder) const { return m_folders.count(folder) != 0; }
    std::size_t Bytes() const { return m_bytes; }
    bool KeepsRows() const { return m_keepsRows; }
    void KeepRows(bool keep) { m_keepsRows = keep; }

    // `name` may be null (it matches nothing).
    void Add(sqlite3_int64 rowid, const char* name, std::string& folded) {
        if (name == nullptr) return;
        const char* last = std::strrchr(name, '\\');
        if (last == nullptr) return;
        FoldLikeText(name, static_cast<std::size_t>(last - name) + 1, folded);
        const std::string* parent = nullptr;
        ForEachFolder(folded, [&](std::string_view folder) {
            auto [entry, added] = m_folders.try_emplace(std::string(folder), 0);
            if (added) m_bytes += folder.size() + kFolderOverhead;
            ++entry->second;
            if (parent == nullptr) parent = &entry->first;
            return true;
        });
        if (m_keepsRows) {
            m_rows.emplace(rowid, parent);
            m_bytes += kRowOverhead;
        }
    }

    // Every kept row with a number in [first, last] leaves.
    void RemoveRange(sqlite3_int64 first, sqlite3_int64 last) {
        auto row = m_rows.lower_bound(first);
        while (row != m_rows.end() && row->first <= last) {
            const std::string parent = *row->second;
            ForEachFolder(parent, [&](std::string_view folder) {
                const auto entry = m_folders.find(std::string(folder));
                if (entry == m_folders.end()) return false;
                if (--entry->second == 0) {
                    m_bytes -= entry->first.size() + kFolderOverhead;
                    m_folders.erase(entry);
                }
                return true;
            });
            row = m_rows.erase(row);
            m_bytes -= kRowOverhead;
        }
    }

private:
    std::unordered_map<std::string, std::size_t> m_folders;  // rows at or beneath
    std::map<sqlite3_int64, const std::string*> m_rows;       // a row: its folder's key above
    std::size_t m_bytes = 0;
    bool m_keepsRows = true;
};

// What each page of file_status's table contributed, for the state kept.
struct KeptPages {
    bool usable = false;  // else the next state is walked in full
    DatabaseLayout layout;
    std::uint32_t root = 0;
    sqlite3_int64 schemaVersion = 0;
    std::unordered_map<std::uint32_t, TablePage> pages;
    std::unordered_set<std::uint32_t> overflowLeaves;  // leaves with rows continued on other pages
    bool walView = false;  // read through the WAL up to `wal`, else the main file with `hashes`
    WalPosition wal;
    std::vector<std::uint64_t> hashes;
};

struct KeptState {
    StoreMarker marker;
    bool overBound = false;  // answered by the per-call query
    PendingFolders folders;
    KeptPages pages;
};

// The kept state, read by callers under the shared lock (tried, never waited
// for) and changed only under the exclusive one, by the thread holding
// g_buildLock, which alone replaces it and so reads it without a lock.
SRWLOCK g_stateLock = SRWLOCK_INIT;
std::unique_ptr<KeptState> g_state;
SRWLOCK g_buildLock = SRWLOCK_INIT;

// How states were reached, for the tests and the bench.
volatile LONG g_wholeReads = 0;
volatile LONG g_pageUpdates = 0;

template <void(WINAPI* Release)(PSRWLOCK)>
class HeldLock {
public:
    HeldLock(SRWLOCK& lock, bool held) : m_lock(lock), m_held(held) {}
    ~HeldLock() {
        if (m_held) Release(&m_lock);
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    explicit operator bool() const { return m_held; }

private:
    SRWLOCK& m_lock;
    bool m_held;
};
using SharedHold = HeldLock<ReleaseSRWLockShared>;
using ExclusiveHold = HeldLock<ReleaseSRWLockExclusive>;

SharedHold TryShared(SRWLOCK& lock) { return SharedHold(lock, TryAcquireSRWLockShared(&lock) != 0); }
ExclusiveHold TryExclusive(SRWLOCK& lock) { return ExclusiveHold(lock, TryAcquireSRWLockExclusive(&lock) != 0); }
ExclusiveHold Exclusive(SRWLOCK& lock) {
    AcquireSRWLockExclusive(&lock);
    return ExclusiveHold(lock, true);
}

// The kept answer for the marker, if the kept state is of that marker.
std::optional<bool> KeptAnswer(const StoreMarker& marker, const std::string& folder) {
    const SharedHold reading = TryShared(g_stateLock);
    if (!reading || !g_state || g_state->marker != marker || g_state->overBound) return std::nullopt;
    return g_state->folders.Holds(folder);
}

enum class Read { Done, OverBound, Failed };

// Adds the status-1 rows a statement yields (row number, name).
Read AddRows(sqlite3_stmt* rows, PendingFolders& folders, bool withRowid) {
    std::string folded;
    const int nameColumn = withRowid ? 1 : 0;
    for (;;) {
        const int result = sqlite3_step(rows);
        if (result == SQLITE_DONE) return Read::Done;
        if (result != SQLITE_ROW) return Read::Failed;
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(rows, nameColumn));
        // No text for a value that is not NULL means no memory.
        if (name == nullptr && sqlite3_column_type(rows, nameColumn) != SQLITE_NULL) return Read::Failed;
        folders.Add(withRowid ? sqlite3_column_int64(rows, 0) : 0, name, folded);
        if (folders.Bytes() > kMaxStateBytes) return Read::OverBound;
    }
}

using RowRange = std::pair<sqlite3_int64, sqlite3_int64>;

// The ranges sorted, with those that overlap or touch joined.
std::vector<RowRange> Merged(std::vector<RowRange> ranges) {
    std::sort(ranges.begin(), ranges.end());
    std::vector<RowRange> merged;
    for (const RowRange& range : ranges) {
        if (!merged.empty() && (range.first <= merged.back().second ||
                                (merged.back().second < INT64_MAX && range.first == merged.back().second + 1)))
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    return merged;
}

// The file's layout, with the page count of the state read (the header's
// own lags behind in WAL mode).
std::optional<DatabaseLayout> LayoutOf(sqlite3* connection, const StoreMarker& marker) {
    std::optional<DatabaseLayout> layout = ReadDatabaseLayout(marker.header, sizeof marker.header);
    const std::optional<sqlite3_int64> pages = SingleInteger(connection, "pragma page_count");
    if (!layout || layout->autoVacuum || !layout->utf8 || !pages || *pages <= 0 || *pages > 0xffffffffll)
        return std::nullopt;
    layout->pageCount = static_cast<std::uint32_t>(*pages);
    return layout;
}

std::unordered_map<std::uint32_t, TablePage> PagesOf(const TableTree& tree) {
    std::unordered_map<std::uint32_t, TablePage> pages;
    for (const auto* list : {&tree.interiors, &tree.leaves})
        for (const TreePage& page : *list) pages.emplace(page.page, page.content);
    return pages;
}

std::unordered_set<std::uint32_t> OverflowLeaves(const std::unordered_map<std::uint32_t, TablePage>& pages) {
    std::unordered_set<std::uint32_t> leaves;
    for (const auto& [page, content] : pages)
        if (content.leaf && content.overflows) leaves.insert(page);
    return leaves;
}

// The table's pages as this state holds them, with what tells the next
// state's changes; `usable` stays false for any shape not understood.
KeptPages ReadPages(sqlite3* connection, const StoreMarker& marker) {
    KeptPages kept;
    const std::optional<DatabaseLayout> layout = LayoutOf(connection, marker);
    const std::optional<sqlite3_int64> root = SingleInteger(connection, kTableRoot);
    const std::optional<sqlite3_int64> version = SingleInteger(connection, kSchemaVersion);
    if (!layout || !root || *root <= 0 || *root > 0xffffffffll || !version) return kept;
    std::optional<SnapshotPages> pages = SnapshotPages::Open(connection, *layout);
    if (!pages) return kept;
    kept.layout = *layout;
    kept.root = static_cast<std::uint32_t>(*root);
    kept.schemaVersion = *version;
    kept.walView = marker.wal;
    if (marker.wal) {
        kept.wal = ReadWalPosition(marker.walSnapshot);
        if (!pages->LayWalFrames(WalPosition{}, kept.wal)) return kept;
    } else {
        std::optional<std::vector<std::uint64_t>> hashes = pages->HashMainFile();
        if (!hashes) return kept;
        kept.hashes = std::move(*hashes);
    }
    const PageReader read = [&pages](std::uint32_t page, std::vector<unsigned char>& bytes) {
        return pages->Read(page, bytes);
    };
    const std::optional<TableTree> tree = ReadTableTree(kept.root, kept.layout, ParseFrom(kept.layout, read));
    if (!tree) return kept;
    kept.pages = PagesOf(*tree);
    kept.overflowLeaves = OverflowLeaves(kept.pages);
    kept.usable = true;
    return kept;
}

bool RowidShadowed(sqlite3* connection, bool& shadowed) {
    const OwnedStatement statement = Prepare(connection, kRowidShadowed);
    if (!statement) return false;
    const int result = sqlite3_step(statement.get());
    shadowed = result == SQLITE_ROW;
    return result == SQLITE_ROW || result == SQLITE_DONE;
}

// The whole state, read afresh. Nothing on failure.
std::unique_ptr<KeptState> ReadWholeState(sqlite3* connection, const StoreMarker& marker) {
    auto state = std::make_unique<KeptState>();
    state->marker = marker;
    bool shadowed = false;
    if (!RowidShadowed(connection, shadowed)) return nullptr;
    if (!shadowed) state->pages = ReadPages(connection, marker);
    // Rows are kept by number only where the pages can tell their changes.
    const bool withRowid = state->pages.usable;
    state->folders.KeepRows(withRowid);
    const OwnedStatement rows = Prepare(connection, withRowid ? kPendingRowsWithRowid : kPendingRows);
    if (!rows) return nullptr;
    switch (AddRows(rows.get(), state->folders, withRowid)) {
        case Read::Done:
            return state;
        case Read::OverBound: {
            auto marked = std::make_unique<KeptState>();
            marked->marker = marker;
            marked->overBound = true;
            return marked;
        }
        case Read::Failed:
            break;
    }
    return nullptr;
}

// What changed from the kept state to this one: the row ranges to read
// again, the status-1 rows now in them, and the table's pages as they now
// stand: walked anew when an interior page changed, else the changed leaves.
struct Change {
    std::vector<RowRange> ranges;
    std::vector<std::pair<sqlite3_int64, std::string>> rows;
    std::optional<std::unordered_map<std::uint32_t, TablePage>> walked;
    std::vector<TreePage> changedLeaves;
    WalPosition wal;
    std::vector<std::uint64_t> hashes;
};

bool SameFile(const StoreMarker& a, const StoreMarker& b) {
    return a.volumeSerial == b.volumeSerial && a.fileIndexHigh == b.fileIndexHigh &&
           a.fileIndexLow == b.fileIndexLow;
}

// Nothing when only a full walk can tell (another file, a schema changed,
// a WAL restarted, pages not understood).
std::optional<Change> ReadChange(sqlite3* connection, const KeptState& kept, const StoreMarker& marker) {
    const KeptPages& before = kept.pages;
    if (kept.overBound || !before.usable || !SameFile(kept.marker, marker) || marker.wal != before.walView)
        return std::nullopt;
    const std::optional<DatabaseLayout> layout = LayoutOf(connection, marker);
    const std::optional<sqlite3_int64> version = SingleInteger(connection, kSchemaVersion);
    if (!layout || layout->pageSize != before.layout.pageSize || layout->usableSize != before.layout.usableSize ||
        !version || *version != before.schemaVersion)
        return std::nullopt;
    std::optional<SnapshotPages> pages = SnapshotPages::Open(connection, *layout);
    if (!pages) return std::nullopt;

    Change change;
    std::unordered_set<std::uint32_t> changed;
    if (marker.wal) {
        change.wal = ReadWalPosition(marker.walSnapshot);
        if (std::memcmp(change.wal.salts, before.wal.salts, sizeof before.wal.salts) != 0 ||
            change.wal.bigEndianChecksum != before.wal.bigEndianChecksum ||
            !pages->LayWalFrames(before.wal, change.wal))
            return std::nullopt;
        for (const std::uint32_t page : pages->FramePages()) changed.insert(page);
    } else {
        std::optional<std::vector<std::uint64_t>> hashes = pages->HashMainFile();
        if (!hashes) return std::nullopt;
        change.hashes = std::move(*hashes);
        for (std::size_t i = 0; i < change.hashes.size(); ++i)
            if (i >= before.hashes.size() || change.hashes[i] != before.hashes[i])
                changed.insert(static_cast<std::uint32_t>(i + 1));
    }

    std::vector<unsigned char> bytes;
    const auto readChanged = [&](std::uint32_t page) -> std::optional<TablePage> {
        if (!pages->Read(page, bytes)) return std::nullopt;
        return ParseTablePage(bytes.data(), bytes.size(), page, *layout);
    };
    std::vector<RowRange> ranges;
    const auto addRange = [&ranges](const TablePage& leaf) {
        if (leaf.leaf && leaf.cellCount != 0) ranges.emplace_back(leaf.firstRowid, leaf.lastRowid);
    };

    // While no interior page changed, the table holds the same pages: only
    // the changed leaves are read, each for its rows before and after.
    bool interiorChanged = false;
    bool outsideChanged = false;
    for (const std::uint32_t page : changed) {
        const auto known = before.pages.find(page);
        if (known == before.pages.end()) {
            outsideChanged = true;
        } else if (!known->second.leaf) {
            interiorChanged = true;
        } else if (!interiorChanged) {
            std::optional<TablePage> now = readChanged(page);
            if (!now || !now->leaf) {
                interiorChanged = true;  // a root leaf split, or damage: walk
                continue;
            }
            addRange(known->second);
            addRange(*now);
            change.changedLeaves.push_back(TreePage{page, std::move(*now)});
        }
    }
    // A changed page outside the table (an overflow page, say) may carry a
    // row of a leaf that did not change: such leaves are read again.
    if (!interiorChanged && outsideChanged)
        for (const std::uint32_t leaf : before.overflowLeaves) addRange(before.pages.at(leaf));

    if (interiorChanged) {
        ranges.clear();
        change.changedLeaves.clear();
        const PageParser parse = [&](std::uint32_t page) -> std::optional<TablePage> {
            if (changed.count(page) != 0) return readChanged(page);
            // An unchanged page holds what it held, if it was the table's.
            const auto known = before.pages.find(page);
            if (known == before.pages.end()) return std::nullopt;
            return known->second;
        };
        const std::optional<TableTree> tree = ReadTableTree(before.root, *layout, parse);
        if (!tree) return std::nullopt;
        change.walked = PagesOf(*tree);
        const auto& now = *change.walked;
        outsideChanged = false;
        for (const std::uint32_t page : changed)
            if (before.pages.count(page) == 0 && now.count(page) == 0) outsideChanged = true;
        for (const TreePage& leaf : tree->leaves) {
            const auto old = before.pages.find(leaf.page);
            if (changed.count(leaf.page) != 0 || old == before.pages.end() ||
                (outsideChanged && leaf.content.overflows)) {
                addRange(leaf.content);
                if (old != before.pages.end()) addRange(old->second);
            }
        }
        for (const auto& [page, content] : before.pages) {
            const auto still = now.find(page);
            if (still == now.end() || !still->second.leaf) addRange(content);
        }
    }
    change.ranges = Merged(std::move(ranges));
    if (change.ranges.size() > kMaxRangesQueried) return std::nullopt;

    const OwnedStatement rows = Prepare(connection, kPendingRowsInRange);
    if (!rows) return std::nullopt;
    std::size_t readBytes = 0;
    for (const auto& [first, last] : change.ranges) {
        sqlite3_reset(rows.get());
        if (sqlite3_bind_int64(rows.get(), 1, first) != SQLITE_OK ||
            sqlite3_bind_int64(rows.get(), 2, last) != SQLITE_OK)
            return std::nullopt;
        for (;;) {
            const int result = sqlite3_step(rows.get());
            if (result == SQLITE_DONE) break;
            if (result != SQLITE_ROW) return std::nullopt;
            const char* name = reinterpret_cast<const char*>(sqlite3_column_text(rows.get(), 1));
            if (name == nullptr) {
                if (sqlite3_column_type(rows.get(), 1) != SQLITE_NULL) return std::nullopt;
                continue;
            }
            change.rows.emplace_back(sqlite3_column_int64(rows.get(), 0), name);
            // As many rows as a whole state holds: reading it whole is no dearer.
            readBytes += change.rows.back().second.size() + kRowOverhead;
            if (readBytes > kMaxStateBytes) return std::nullopt;
        }
    }
    return change;
}

// Brings the kept state to `marker`, whole or not at all. False when the
// state could not be had (the caller then asks the database itself).
bool BringUpToDate(sqlite3* connection, const StoreMarker& marker) {
    // Up to date already: only a reader's lock was missed.
    if (g_state && g_state->marker == marker) return true;
    std::optional<Change> change;
    if (g_state) change = ReadChange(connection, *g_state, marker);
    std::unique_ptr<KeptState> whole;
    if (!change) {
        whole = ReadWholeState(connection, marker);
        if (!whole) return false;
    }
    // Kept only if nothing moved under a read that holds no lock.
    const std::optional<StoreMarker> after = ReadStoreMarker(connection, true);
    if (!after || *after != marker) return false;

    InterlockedIncrement(whole ? &g_wholeReads : &g_pageUpdates);
    std::unique_ptr<KeptState> previous;
    {
        const ExclusiveHold writing = Exclusive(g_stateLock);
        if (whole) {
            previous = std::move(g_state);
            g_state = std::move(whole);
        } else {
            try {
                std::string folded;
                PendingFolders& folders = g_state->folders;
                for (const auto& [first, last] : change->ranges) folders.RemoveRange(first, last);
                for (const auto& [rowid, name] : change->rows) folders.Add(rowid, name.c_str(), folded);
                KeptPages& kept = g_state->pages;
                if (change->walked) {
                    kept.pages = std::move(*change->walked);
                    kept.overflowLeaves = OverflowLeaves(kept.pages);
                }
                for (TreePage& leaf : change->changedLeaves) {
                    if (leaf.content.overflows) kept.overflowLeaves.insert(leaf.page);
                    else kept.overflowLeaves.erase(leaf.page);
                    kept.pages[leaf.page] = std::move(leaf.content);
                }
                if (marker.wal) kept.wal = change->wal;
                else kept.hashes = std::move(change->hashes);
                g_state->marker = marker;
                if (folders.Bytes() > kMaxStateBytes) {
                    previous = std::move(g_state);
                    g_state = std::make_unique<KeptState>();
                    g_state->marker = marker;
                    g_state->overBound = true;
                }
            } catch (...) {
                // Half a change would be a wrong state: none is kept.
                previous = std::move(g_state);
                throw;
            }
        }
    }
    // The old state is freed here, outside the lock.
    return true;
}

// The shared answer, or nothing when only the per-call query can give it.
std::optional<bool> SharedAnswer(sqlite3* connection, const std::string& folder) {
    const ReadTransaction transaction(connection);
    if (!transaction) return std::nullopt;
    const std::optional<StoreMarker> marker = ReadStoreMarker(connection, true);
    // The folding follows SQLite's UTF-8 reader; other encodings are converted first.
    if (!marker || !marker->IsUtf8()) return std::nullopt;
    if (const std::optional<bool> kept = KeptAnswer(*marker, folder)) return kept;

    // Another call bringing the state up to date: this one asks the database.
    const ExclusiveHold building = TryExclusive(g_buildLock);
    if (!building) return std::nullopt;
    if (!BringUpToDate(connection, *marker)) return std::nullopt;
    if (g_state->overBound) return std::nullopt;
    return g_state->folders.Holds(folder);
}

}  // namespace

LookupResult HasPendingBelowShared(sqlite3* connection, std::string_view utf8Path) {
    if (utf8Path.empty() || utf8Path.find('\0') != std::string_view::npos || !IsExistingFolder(utf8Path))
        return HasPendingBelow(connection, utf8Path);
    // A pattern past SQLite's limit makes the per-call query fail; so be it.
    const int patternLimit = sqlite3_limit(connection, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1);
    if (patternLimit < 0 || FolderContentPattern(utf8Path).size() > static_cast<std::size_t>(patternLimit))
        return HasPendingBelow(connection, utf8Path);
    try {
        const std::optional<bool> answer = SharedAnswer(connection, FoldedFolder(utf8Path));
        if (answer) return FoundIf(*answer);
    } catch (const std::bad_alloc&) {
        // Nothing was kept of what failed; the database still answers.
    }
    return HasPendingBelow(connection, utf8Path);
}

PendingFolderCacheActivity PendingFolderCacheCounts() {
    return {static_cast<std::size_t>(g_wholeReads), static_cast<std::size_t>(g_pageUpdates)};
}

std::size_t PendingFolderCacheBytes() {
    const SharedHold reading = TryShared(g_stateLock);
    return reading && g_state ? g_state->folders.Bytes() : 0;
}

}  // namespace lumbo
