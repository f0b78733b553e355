#pragma once

#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace lumbo {

// A compiled statement, finalised on every way out.
class Statement {
public:
    Statement(sqlite3* connection, const char* text);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // False when the statement did not compile (no table, locked database...).
    explicit operator bool() const { return m_statement != nullptr; }

    // Parameters are 1-based; false when binding fails.
    bool Bind(int index, int value);
    bool Bind(int index, std::string_view text);

    // True while a row stands; false at the end and on any error.
    bool Step();

    // Whether the statement could not be read to its end: it did not
    // compile, a parameter did not bind, or a step ended in an error (a
    // lock, an I/O error, a damaged page) instead of the last row.
    bool Failed() const { return m_failed; }

    // Column of the current row as NUL-terminated text; null for NULL.
    const char* ColumnText(int column);
    int ColumnInt(int column);

private:
    sqlite3_stmt* m_statement = nullptr;
    bool m_failed = false;
};

}  // namespace lumbo
