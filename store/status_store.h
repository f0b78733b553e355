#pragma once

#include <memory>
#include <string>

struct sqlite3;

namespace lumbo {

// How long, in total, one connection may wait for the client's locks before
// its lookups give up (they then count as unreadable, never as "not found").
// Chosen by measurement: it covers ordinary commits and WAL-index rebuilds.
#ifndef LUMBO_BUSY_WAIT_MS
#define LUMBO_BUSY_WAIT_MS 100
#endif
inline constexpr int kBusyWaitMilliseconds = LUMBO_BUSY_WAIT_MS;

// One read-only connection to the client's database, for the length of one
// call. It creates and writes no file: a missing database is not created (no
// connection), and a WAL-mode database the client has not open is read from
// its main file alone, without the -shm and -wal files SQLite would make.
class StatusStore {
public:
    StatusStore();
    ~StatusStore();
    StatusStore(StatusStore&& other) noexcept;
    StatusStore& operator=(StatusStore&& other) noexcept;
    StatusStore(const StatusStore&) = delete;
    StatusStore& operator=(const StatusStore&) = delete;

    sqlite3* get() const;
    explicit operator bool() const { return get() != nullptr; }

    // False when what the lookups read may be torn: the client opened the
    // database and changed its main file while it was read without SQLite's
    // locks. The call's answers must then be dropped.
    bool ReadsWereStable() const;

    struct State;

private:
    explicit StatusStore(std::unique_ptr<State> state);
    friend StatusStore OpenStatusStore(const std::string& utf8Path, int busyWaitMilliseconds);

    std::unique_ptr<State> m_state;
};

// Opens the database read-only. An empty path opens a private temporary
// database that holds no tables. A lookup meeting the client's lock waits for
// it, at most `busyWaitMilliseconds` over the whole connection.
StatusStore OpenStatusStore(const std::string& utf8Path, int busyWaitMilliseconds = kBusyWaitMilliseconds);

}  // namespace lumbo
