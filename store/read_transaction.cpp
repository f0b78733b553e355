#include "store/read_transaction.h"

#include <sqlite3.h>

namespace lumbo {

namespace {

bool HoldsRead(sqlite3* connection) { return sqlite3_txn_state(connection, "main") >= SQLITE_TXN_READ; }

}  // namespace

ReadTransaction::ReadTransaction(sqlite3* connection) : m_connection(connection) {
    if (connection == nullptr) return;
    if (sqlite3_get_autocommit(connection) != 0) {
        if (sqlite3_exec(connection, "begin", nullptr, nullptr, nullptr) != SQLITE_OK) return;
        m_begun = true;
    }
    if (HoldsRead(connection)) {
        m_reading = true;
        return;
    }
    // A deferred transaction reads nothing until a statement does.
    m_reading = sqlite3_exec(connection, "select 1 from sqlite_master limit 1", nullptr, nullptr, nullptr) ==
                    SQLITE_OK &&
                HoldsRead(connection);
    if (!m_reading && m_begun) {
        // Whatever the statements meet next, they meet as they would alone.
        sqlite3_exec(connection, "rollback", nullptr, nullptr, nullptr);
        m_begun = false;
    }
}

ReadTransaction::~ReadTransaction() {
    if (m_begun && sqlite3_exec(m_connection, "commit", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(m_connection, "rollback", nullptr, nullptr, nullptr);
}

}  // namespace lumbo
