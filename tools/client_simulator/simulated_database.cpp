#include "tools/client_simulator/simulated_database.h"

#include <stdexcept>

#include <sqlite3.h>
#include <windows.h>

#include "text/conversions.h"

namespace lumbo::tools {

SimulatedDatabase::SimulatedDatabase(const std::wstring& path, bool withFilenameIndex) {
    DeleteFileW(path.c_str());
    if (sqlite3_open_v2(WideToUtf8(path).c_str(), &m_connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create the database");
    const char* schema =
        "create table file_status (local_filename text, status integer);"
        "create table config (key text, text_value text);";
    if (sqlite3_exec(m_connection, schema, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create the tables");
    if (withFilenameIndex &&
        sqlite3_exec(m_connection, "create index file_status_local_filename on file_status (local_filename)",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create the index");
}

SimulatedDatabase::~SimulatedDatabase() { sqlite3_close(m_connection); }

void SimulatedDatabase::Execute(const char* sql, const std::string& first, const std::string* second,
                                const int* number) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_connection, sql, -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(m_connection));
    sqlite3_bind_text(statement, 1, first.c_str(), -1, SQLITE_TRANSIENT);
    if (second != nullptr) sqlite3_bind_text(statement, 2, second->c_str(), -1, SQLITE_TRANSIENT);
    if (number != nullptr) sqlite3_bind_int(statement, 2, *number);
    const int result = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (result != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(m_connection));
}

void SimulatedDatabase::SetConfig(const std::string& key, const std::string& utf8Value) {
    Execute("delete from config where key = ?1", key);
    Execute("insert into config (key, text_value) values (?1, ?2)", key, &utf8Value);
}

void SimulatedDatabase::SetStatus(const std::string& utf8Path, int status) {
    Forget(utf8Path);
    Execute("insert into file_status (local_filename, status) values (?1, ?2)", utf8Path, nullptr, &status);
}

void SimulatedDatabase::Forget(const std::string& utf8Path) {
    Execute("delete from file_status where local_filename = ?1", utf8Path);
}

}  // namespace lumbo::tools
