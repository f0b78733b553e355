#include "store/status_store.h"

#include <optional>

#include <sqlite3.h>
#include <windows.h>

#include "store/busy_budget.h"
#include "store/database_file.h"
#include "text/lenient_conversions.h"

namespace lumbo {

namespace {

// SQLite's default Windows layer caps a path at 1,040 UTF-8 bytes and at 260
// units in the calls it makes; this one takes any install folder.
constexpr char kLongPathVfs[] = "win32-longpath";

// The path as a URI that reads the file as it stands: no locks, no WAL, no
// shared-memory index, and so no side file.
std::string ImmutableUri(const std::string& utf8Path) {
    std::string uri = "file:";
    for (const char c : utf8Path) {
        if (c == '%') uri += "%25";
        else if (c == '?') uri += "%3f";
        else if (c == '#') uri += "%23";
        else uri += c;
    }
    return uri + "?immutable=1";
}

}  // namespace

struct StatusStore::State {
    explicit State(int busyWaitMilliseconds) : budget(busyWaitMilliseconds) {}
    ~State() { sqlite3_close(connection); }

    sqlite3* connection = nullptr;
    BusyBudget budget;
    // Held for the connection's life on a WAL-mode database: while it is, no
    // client connection can checkpoint on closing nor delete the side files.
    DatabaseFile file;
    std::wstring widePath;
    // Set when the main file is read without SQLite's locks.
    std::optional<DatabaseFile::Stamp> immutableStamp;
};

StatusStore::StatusStore() = default;
StatusStore::StatusStore(std::unique_ptr<State> state) : m_state(std::move(state)) {}
StatusStore::~StatusStore() = default;
StatusStore::StatusStore(StatusStore&& other) noexcept = default;
StatusStore& StatusStore::operator=(StatusStore&& other) noexcept = default;

sqlite3* StatusStore::get() const { return m_state ? m_state->connection : nullptr; }

bool StatusStore::ReadsWereStable() const {
    if (!m_state || !m_state->immutableStamp) return true;
    // No -wal yet: no client connection has opened the database, and none
    // can have come and gone, since our lock keeps them from deleting it.
    if (!InspectSideFile(m_state->widePath, L"-wal").exists) return true;
    // A client opened it meanwhile; its writes go to the -wal, and only a
    // checkpoint would change what was read.
    return m_state->file.CurrentStamp() == *m_state->immutableStamp;
}

StatusStore OpenStatusStore(const std::string& utf8Path, int busyWaitMilliseconds) {
    // No install folder means no database; SQLite would take the empty name
    // for a private temporary one and fail only later, on its missing tables.
    if (utf8Path.empty()) return {};
    auto state = std::make_unique<StatusStore::State>(busyWaitMilliseconds);
    std::string openName = utf8Path;
    int flags = SQLITE_OPEN_READONLY;

    state->widePath = LongPathForm(Utf8ToWideLenient(utf8Path));
    // Opened beside SQLite first: a missing database is never created, and
    // one that is held open without sharing or denied fails at once
    // instead of after SQLite's retries.
    if (state->widePath.empty() || state->file.Open(state->widePath) != OpenOutcome::Opened) return {};
    if (state->file.IsWalMode()) {
        if (!state->file.LockShared(state->budget)) return {};
        const SideFile wal = InspectSideFile(state->widePath, L"-wal");
        if (wal.empty) {
            // Nothing uncheckpointed exists: the main file alone is the
            // database, and reading it needs no shared-memory index.
            state->immutableStamp = state->file.CurrentStamp();
            openName = ImmutableUri(utf8Path);
            flags |= SQLITE_OPEN_URI;
        } else if (!InspectSideFile(state->widePath, L"-shm").exists) {
            // The WAL cannot be read without making a -shm file.
            return {};
        }
    } else {
        // A rollback-journal database: SQLite's own locks do, and a lock
        // of ours held beside them would stall a committing writer.
        state->file.Close();
    }

    const int result = sqlite3_open_v2(openName.c_str(), &state->connection, flags, kLongPathVfs);
    if (result != SQLITE_OK) return {};
    sqlite3_busy_handler(state->connection, &BusyBudget::BusyHandler, &state->budget);
    // A reader that happens to close last must not write the client's file.
    sqlite3_db_config(state->connection, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return StatusStore(std::move(state));
}

}  // namespace lumbo
