#include "tools/bench/bench_database.h"

#include <stdexcept>
#include <string>

#include <sqlite3.h>
#include <windows.h>
#include <shlobj.h>

#include "store/client_contract.h"
#include "text/conversions.h"

namespace lumbo::tools {

namespace {

void WriteText(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write a bench file");
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void SetInstallFolder(const std::wstring& folder) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallPathKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void Execute(sqlite3* connection, const char* sql) {
    if (sqlite3_exec(connection, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(connection));
}

}  // namespace

BenchLayout::BenchLayout(std::wstring workFolder)
    : m_install(workFolder + L"\\install"), m_sync(workFolder + L"\\Sync") {
    SHCreateDirectoryExW(nullptr, (m_install + L"\\files").c_str(), nullptr);
    SHCreateDirectoryExW(nullptr, (m_sync + L"\\Reports\\2026").c_str(), nullptr);
    for (int status = 0; status < 3; ++status) WriteText(ItemPath(status), "measured\r\n");
    std::string filter;
    for (int i = 0; i < 19; ++i) filter += "^~\\$.*\\.tmp" + std::to_string(i) + "$\n";
    filter += "\\.partial$\n";
    WriteText(m_install + L"\\files\\filefilter", filter);
    SetInstallFolder(m_install);
}

std::wstring BenchLayout::ItemPath(int status) const {
    return m_sync + L"\\Reports\\2026\\summary" + std::to_wstring(status) + L".docx";
}

void BenchLayout::WriteDatabase(int rows, bool withFilenameIndex) const {
    const std::wstring path = m_install + kDatabaseFileSuffix;
    DeleteFileW(path.c_str());
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(WideToUtf8(path).c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create the bench database");
    Execute(connection, "pragma journal_mode = off");
    Execute(connection, "begin");
    Execute(connection, "create table file_status (local_filename text, status integer)");
    Execute(connection, "create table config (key text, text_value text)");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(connection, "insert into file_status values (?1, ?2)", -1, &insert, nullptr);
    const std::string sync = WideToUtf8(m_sync);
    for (int i = 0; i < rows; ++i) {
        std::string name = sync + "\\folder" + std::to_string(i / 1000) + "\\file" + std::to_string(i) + ".txt";
        int status = i % 3;
        if (i == rows / 2 || i == rows / 2 + 1) {
            status = i == rows / 2 ? 0 : 2;
            name = WideToUtf8(ItemPath(status));
        }
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 2, status);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    const std::string monitored = "insert into config values ('lumbo_path', '" + sync + "')";
    Execute(connection, monitored.c_str());
    Execute(connection, "insert into config values ('ignore_dirs', '[\"Ignored\", \"Cache\"]')");
    if (withFilenameIndex)
        Execute(connection, "create index file_status_local_filename on file_status (local_filename)");
    Execute(connection, "commit");
    sqlite3_close(connection);
}

}  // namespace lumbo::tools
