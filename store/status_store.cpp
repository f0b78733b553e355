#include "store/status_store.h"

#include <sqlite3.h>

namespace lumbo {

void CloseStatusStore(sqlite3* connection) { sqlite3_close(connection); }

StatusStore OpenStatusStore(const std::string& utf8Path) {
    sqlite3* connection = nullptr;
    const int result = sqlite3_open_v2(utf8Path.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr);
    StatusStore store(connection);
    if (result != SQLITE_OK) return nullptr;
    return store;
}

}  // namespace lumbo
