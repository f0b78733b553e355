#pragma once

struct sqlite3;

namespace lumbo {

// A read transaction held by this scope, so that every statement inside it
// and the store marker read beside them see one and the same state of the
// database, and the locks are taken once rather than per statement. A
// transaction the connection already holds is joined, never ended here.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* connection);
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

    // True while the connection holds a read of the database: the marker
    // read now describes what its statements read. False when the read
    // could not start (a lock not granted within the busy wait, a file that
    // is no database); the statements then start their own reads, as they
    // would without this scope.
    explicit operator bool() const { return m_reading; }

private:
    sqlite3* m_connection;
    bool m_begun = false;
    bool m_reading = false;
};

}  // namespace lumbo
