#pragma once

#include <memory>
#include <string>

struct sqlite3;

namespace lumbo {

void CloseStatusStore(sqlite3* connection);

struct StatusStoreCloser {
    void operator()(sqlite3* connection) const { CloseStatusStore(connection); }
};

// One connection to the client's database, for the length of one call.
using StatusStore = std::unique_ptr<sqlite3, StatusStoreCloser>;

// Opens the database read-only: the client's files are never written, and a
// missing database is not created (null). An empty path opens a private
// temporary database that holds no tables. No busy timeout is set, so a
// locked database makes a lookup find nothing at once.
StatusStore OpenStatusStore(const std::string& utf8Path);

}  // namespace lumbo
