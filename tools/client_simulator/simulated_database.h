#pragma once

#include <string>

struct sqlite3;

namespace lumbo::tools {

// The client's database, as the client keeps it: created afresh, then rows
// changed one statement at a time while the extension reads it.
class SimulatedDatabase {
public:
    SimulatedDatabase(const std::wstring& path, bool withFilenameIndex);
    ~SimulatedDatabase();
    SimulatedDatabase(const SimulatedDatabase&) = delete;
    SimulatedDatabase& operator=(const SimulatedDatabase&) = delete;

    void SetConfig(const std::string& key, const std::string& utf8Value);
    // Replaces the path's rows by one with this status.
    void SetStatus(const std::string& utf8Path, int status);
    void Forget(const std::string& utf8Path);

private:
    void Execute(const char* sql, const std::string& first, const std::string* second = nullptr,
                 const int* number = nullptr);

    sqlite3* m_connection = nullptr;
};

}  // namespace lumbo::tools
