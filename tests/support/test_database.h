#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace lumbo::test {

// One row of file_status; a missing name stands for NULL.
struct StatusRow {
    std::optional<std::string> localFilename;  // UTF-8
    int status;
};

// One row of config; a missing value stands for NULL.
struct ConfigRow {
    std::string key;
    std::optional<std::string> textValue;  // UTF-8
};

// A client database made with SQLite itself, as the client makes it.
struct ClientDatabase {
    std::vector<StatusRow> statusRows;
    std::vector<ConfigRow> configRows;
    bool withStatusTable = true;
    bool withConfigTable = true;
    bool withFilenameIndex = false;

    static ClientDatabase WithStatusRows(std::vector<StatusRow> rows) {
        ClientDatabase database;
        database.statusRows = std::move(rows);
        return database;
    }

    // Creates (or replaces) the database file at the UTF-16 path.
    void WriteTo(const std::wstring& path) const;
};

// Runs statements on an open connection; throws on failure.
void Execute(sqlite3* connection, const std::string& sql);

// Runs statements on a database file, read-write; throws on failure.
void ExecuteSql(const std::wstring& path, const std::string& sql);

// Holds an exclusive lock on the database while it lives, as a client in the
// middle of a write does.
class ExclusiveLock {
public:
    explicit ExclusiveLock(const std::wstring& path);
    ~ExclusiveLock();
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    sqlite3* m_connection = nullptr;
};

}  // namespace lumbo::test
