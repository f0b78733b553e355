#include "tests/support/test_database.h"

#include <stdexcept>

#include <sqlite3.h>
#include <windows.h>

#include "text/conversions.h"

namespace lumbo::test {

namespace {

sqlite3* OpenReadWrite(const std::wstring& path) {
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(WideToUtf8(path).c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(connection);
        throw std::runtime_error("cannot open test database");
    }
    return connection;
}

void BindOptionalText(sqlite3_stmt* statement, int index, const std::optional<std::string>& text) {
    if (text)
        sqlite3_bind_text(statement, index, text->c_str(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(statement, index);
}

}  // namespace

void ClientDatabase::WriteTo(const std::wstring& path) const {
    DeleteFileW(path.c_str());
    sqlite3* connection = OpenReadWrite(path);
    try {
        Execute(connection, "begin");
        if (withStatusTable) {
            Execute(connection, "create table file_status (local_filename text, status integer)");
            if (withFilenameIndex)
                Execute(connection, "create index file_status_local_filename on file_status (local_filename)");
            sqlite3_stmt* insert = nullptr;
            sqlite3_prepare_v2(connection, "insert into file_status values (?1, ?2)", -1, &insert, nullptr);
            for (const StatusRow& row : statusRows) {
                BindOptionalText(insert, 1, row.localFilename);
                sqlite3_bind_int(insert, 2, row.status);
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
            sqlite3_finalize(insert);
        }
        if (withConfigTable) {
            Execute(connection, "create table config (key text, text_value text)");
            sqlite3_stmt* insert = nullptr;
            sqlite3_prepare_v2(connection, "insert into config values (?1, ?2)", -1, &insert, nullptr);
            for (const ConfigRow& row : configRows) {
                sqlite3_bind_text(insert, 1, row.key.c_str(), -1, SQLITE_TRANSIENT);
                BindOptionalText(insert, 2, row.textValue);
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
            sqlite3_finalize(insert);
        }
        Execute(connection, "commit");
    } catch (...) {
        sqlite3_close(connection);
        throw;
    }
    sqlite3_close(connection);
}

void Execute(sqlite3* connection, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("sql failed: " + message + " in: " + sql);
    }
}

void ExecuteSql(const std::wstring& path, const std::string& sql) {
    sqlite3* connection = OpenReadWrite(path);
    try {
        Execute(connection, sql);
    } catch (...) {
        sqlite3_close(connection);
        throw;
    }
    sqlite3_close(connection);
}

ExclusiveLock::ExclusiveLock(const std::wstring& path) : m_connection(OpenReadWrite(path)) {
    Execute(m_connection, "begin exclusive");
}

ExclusiveLock::~ExclusiveLock() {
    sqlite3_exec(m_connection, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(m_connection);
}

}  // namespace lumbo::test
