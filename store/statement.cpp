#include "store/statement.h"

#include <sqlite3.h>

namespace lumbo {

Statement::Statement(sqlite3* connection, const char* text) {
    if (sqlite3_prepare_v2(connection, text, -1, &m_statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        m_failed = true;
    }
}

Statement::~Statement() { sqlite3_finalize(m_statement); }

bool Statement::Bind(int index, int value) {
    const bool bound = m_statement != nullptr && sqlite3_bind_int(m_statement, index, value) == SQLITE_OK;
    if (!bound) m_failed = true;
    return bound;
}

// An empty view may carry no pointer, which SQLite would bind as NULL.
bool Statement::Bind(int index, std::string_view text) {
    const bool bound = m_statement != nullptr &&
                       sqlite3_bind_text64(m_statement, index, text.empty() ? "" : text.data(), text.size(),
                                           SQLITE_TRANSIENT, SQLITE_UTF8) == SQLITE_OK;
    if (!bound) m_failed = true;
    return bound;
}

bool Statement::Step() {
    if (m_statement == nullptr || m_failed) return false;
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) m_failed = true;
    return false;
}

int Statement::ColumnInt(int column) { return sqlite3_column_int(m_statement, column); }

const char* Statement::ColumnText(int column) {
    return reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
}

}  // namespace lumbo
