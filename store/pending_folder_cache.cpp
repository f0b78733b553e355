#include "store/pending_folder_cache.h"

#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include <sqlite3.h>
#include <windows.h>

#include "store/like_folding.h"
#include "store/read_transaction.h"
#include "store/status_queries.h"
#include "store/store_marker.h"

namespace lumbo {

namespace {

// Past this the state is answered by the per-call query instead (1,000,000
// rows with 100,000 pending in 5,000 folders need well under 1 MiB).
constexpr std::size_t kMaxSetBytes = 32u << 20;
// What a set entry costs beside its text: the string, the node, its bucket.
constexpr std::size_t kEntryOverhead = sizeof(std::string) + 4 * sizeof(void*);

constexpr char kPendingRowsInRowOrder[] =
    "select _rowid_, local_filename from file_status where status = 1 and _rowid_ > ?1 order by _rowid_";
constexpr char kPendingRows[] = "select local_filename from file_status where status = 1";
// A column of that name would stand for the row number in the statement above.
constexpr char kRowidShadowed[] =
    "select 1 from pragma_table_info('file_status') where name = '_rowid_' collate nocase";

struct FolderSet {
    explicit FolderSet(const StoreMarker& m) : marker(m) {}
    StoreMarker marker;
    std::unordered_set<std::string> folders;
    std::size_t bytes = 0;
    bool complete = false;
    bool overBound = false;  // answered by the per-call query
    // The walk so far: rows up to this row number are in the set.
    std::optional<bool> inRowOrder;
    sqlite3_int64 lastRow = std::numeric_limits<sqlite3_int64>::min();
    std::string lastParent;  // folded, of the last row walked
};

// Complete sets, swapped whole: a reader copies the pointer under the shared
// lock and reads the set without any lock.
SRWLOCK g_publishedLock = SRWLOCK_INIT;
std::shared_ptr<const FolderSet> g_published;

// The walk in progress, touched only by the thread holding g_buildLock.
SRWLOCK g_buildLock = SRWLOCK_INIT;
std::unique_ptr<FolderSet> g_building;

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockShared(&m_lock); }
    ~SharedLock() { ReleaseSRWLockShared(&m_lock); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& m_lock;
};

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

class TryExclusiveLock {
public:
    explicit TryExclusiveLock(SRWLOCK& lock) : m_lock(lock), m_owned(TryAcquireSRWLockExclusive(&lock) != 0) {}
    ~TryExclusiveLock() {
        if (m_owned) ReleaseSRWLockExclusive(&m_lock);
    }
    TryExclusiveLock(const TryExclusiveLock&) = delete;
    TryExclusiveLock& operator=(const TryExclusiveLock&) = delete;
    explicit operator bool() const { return m_owned; }

private:
    SRWLOCK& m_lock;
    bool m_owned;
};

std::shared_ptr<const FolderSet> Published() {
    const SharedLock lock(g_publishedLock);
    return g_published;
}

void Publish(std::shared_ptr<const FolderSet> set) {
    std::shared_ptr<const FolderSet> previous;
    {
        const ExclusiveLock lock(g_publishedLock);
        previous.swap(g_published);
        g_published = std::move(set);
    }
    // The old set is freed here, outside the lock (or by its last reader).
}

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

enum class Walk { Found, Complete, OverBound, Failed };

// Adds the folders of one row; all its ancestors go in with it, so a folder
// already present means the shallower ones are too.
bool AddFolders(FolderSet& set, const std::string& folded) {
    const std::string::size_type last = folded.rfind('\\');
    if (last == std::string::npos) return true;
    if (folded.compare(0, last + 1, set.lastParent) == 0 && set.lastParent.size() == last + 1) return true;
    set.lastParent.assign(folded, 0, last + 1);
    for (std::string::size_type end = last + 1; end != 0;) {
        std::string folder(folded, 0, end);
        const std::size_t cost = folder.size() + kEntryOverhead;
        if (!set.folders.insert(std::move(folder)).second) break;
        set.bytes += cost;
        if (set.bytes > kMaxSetBytes) return false;
        end = end >= 2 ? folded.rfind('\\', end - 2) : std::string::npos;
        end = end == std::string::npos ? 0 : end + 1;
    }
    return true;
}

// Walks on from where the last call of this state stopped, until a row
// beneath `folder` or the end.
Walk Continue(sqlite3* connection, FolderSet& set, const std::string& folder) {
    if (!set.inRowOrder) {
        const OwnedStatement shadowed = Prepare(connection, kRowidShadowed);
        if (!shadowed) return Walk::Failed;
        const int result = sqlite3_step(shadowed.get());
        if (result != SQLITE_ROW && result != SQLITE_DONE) return Walk::Failed;
        const OwnedStatement probe = result == SQLITE_DONE ? Prepare(connection, kPendingRowsInRowOrder) : nullptr;
        // Without row numbers (a view, a table without rowid) the walk is one go.
        set.inRowOrder = probe != nullptr;
    }
    const OwnedStatement rows = Prepare(connection, *set.inRowOrder ? kPendingRowsInRowOrder : kPendingRows);
    if (!rows) return Walk::Failed;
    if (*set.inRowOrder && sqlite3_bind_int64(rows.get(), 1, set.lastRow) != SQLITE_OK) return Walk::Failed;
    const int nameColumn = *set.inRowOrder ? 1 : 0;
    std::string folded;
    bool found = false;
    for (;;) {
        const int result = sqlite3_step(rows.get());
        if (result == SQLITE_DONE) break;
        if (result != SQLITE_ROW) return Walk::Failed;
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(rows.get(), nameColumn));
        if (name == nullptr) {
            // A NULL name matches nothing; no text for another value means no memory.
            if (sqlite3_column_type(rows.get(), nameColumn) != SQLITE_NULL) return Walk::Failed;
        } else if (const char* last = std::strrchr(name, '\\'); last != nullptr) {
            // Only the folders count: the text up to its last backslash.
            FoldLikeText(name, static_cast<std::size_t>(last - name) + 1, folded);
            if (!AddFolders(set, folded)) return Walk::OverBound;
            if (folded.compare(0, folder.size(), folder) == 0) found = true;
        }
        if (*set.inRowOrder) {
            set.lastRow = sqlite3_column_int64(rows.get(), 0);
            if (found) return Walk::Found;
        }
    }
    set.complete = true;
    return found ? Walk::Found : Walk::Complete;
}

// The shared answer, or nothing when only the per-call query can give it.
std::optional<bool> SharedAnswer(sqlite3* connection, const std::string& folder) {
    const ReadTransaction transaction(connection);
    if (!transaction) return std::nullopt;
    const std::optional<StoreMarker> marker = ReadStoreMarker(connection);
    // The folding follows SQLite's UTF-8 reader; other encodings are converted first.
    if (!marker || !marker->IsUtf8()) return std::nullopt;

    const std::shared_ptr<const FolderSet> published = Published();
    if (published && published->marker == *marker) {
        if (published->overBound) return std::nullopt;
        return published->folders.count(folder) != 0;
    }

    const TryExclusiveLock building(g_buildLock);
    if (!building) return std::nullopt;
    if (!g_building || g_building->marker != *marker) {
        g_building.reset();
        g_building = std::make_unique<FolderSet>(*marker);
    }
    FolderSet& set = *g_building;
    if (set.folders.count(folder) != 0) return true;
    Walk walk;
    try {
        walk = Continue(connection, set, folder);
    } catch (...) {
        // A row half added would break the set: it goes whole.
        g_building.reset();
        throw;
    }
    switch (walk) {
        case Walk::Found:
            if (set.complete) Publish(std::shared_ptr<const FolderSet>(std::move(g_building)));
            return true;
        case Walk::Complete:
            Publish(std::shared_ptr<const FolderSet>(std::move(g_building)));
            return false;
        case Walk::OverBound: {
            g_building.reset();
            auto marked = std::make_shared<FolderSet>(*marker);
            marked->overBound = true;
            Publish(std::move(marked));
            return std::nullopt;
        }
        case Walk::Failed:
            break;
    }
    g_building.reset();
    return std::nullopt;
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

std::size_t PendingFolderCacheBytes() {
    const std::shared_ptr<const FolderSet> published = Published();
    std::size_t bytes = published ? published->bytes : 0;
    const TryExclusiveLock building(g_buildLock);
    if (building && g_building) bytes += g_building->bytes;
    return bytes;
}

}  // namespace lumbo
