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

constexpr int kFolderSize = 100;
constexpr int kPendingPerBusyFolder = 20;
// The row a commit toggles: in folder 1, which never holds pending rows.
constexpr int kToggledRow = 150;

void SetInstallFolder(const std::wstring& folder) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallPathKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring FolderName(int folder) { return L"\\folder" + std::to_wstring(folder); }

// The busy folder in the middle of the table, and the quiet one after it.
int MiddleBusyFolder(int rows) { return (rows / kFolderSize / 2) & ~1; }

}  // namespace

void Execute(sqlite3* connection, const char* sql) {
    if (sqlite3_exec(connection, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(connection));
}

sqlite3* OpenForWriting(const std::wstring& path) {
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(WideToUtf8(path).c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(connection);
        throw std::runtime_error("cannot open the bench database for writing");
    }
    return connection;
}

void WriteText(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write a bench file");
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

BenchLayout::BenchLayout(std::wstring workFolder)
    : m_install(workFolder + L"\\install"), m_sync(workFolder + L"\\Sync") {
    SHCreateDirectoryExW(nullptr, (m_install + L"\\files").c_str(), nullptr);
    SHCreateDirectoryExW(nullptr, (m_sync + L"\\Reports\\2026").c_str(), nullptr);
    for (const BenchItem item : {BenchItem::File0, BenchItem::File1, BenchItem::File2})
        WriteText(ItemPath(item), "measured\r\n");
    WriteFilterFile(20);
    SetInstallFolder(m_install);
}

void BenchLayout::WriteFilterFile(int lines) const {
    std::string filter;
    for (int i = 0; i + 1 < lines; ++i) filter += "^~\\$.*\\.tmp" + std::to_string(i) + "$\n";
    filter += "\\.partial$\n";
    WriteText(m_install + L"\\files\\filefilter", filter);
}

std::wstring BenchLayout::ItemPath(BenchItem item) const {
    switch (item) {
        case BenchItem::File0: return m_sync + L"\\Reports\\2026\\summary0.docx";
        case BenchItem::File1: return m_sync + L"\\Reports\\2026\\summary1.docx";
        case BenchItem::File2: return m_sync + L"\\Reports\\2026\\summary2.docx";
        case BenchItem::PendingFolder: return m_sync + FolderName(MiddleBusyFolder(m_rows));
        case BenchItem::SynchronisedFolder: return m_sync + FolderName(MiddleBusyFolder(m_rows) + 1);
        case BenchItem::SyncRoot: return m_sync;
    }
    return {};
}

void BenchLayout::WriteDatabase(int rows, BenchSchema schema) {
    m_rows = rows;
    m_toggled = false;
    const std::wstring path = m_install + kDatabaseFileSuffix;
    DeleteFileW(path.c_str());
    for (const BenchItem item : {BenchItem::PendingFolder, BenchItem::SynchronisedFolder})
        SHCreateDirectoryExW(nullptr, ItemPath(item).c_str(), nullptr);

    sqlite3* connection = OpenForWriting(path);
    try {
        Execute(connection, "pragma journal_mode = off");
        Execute(connection, "begin");
        Execute(connection, "create table file_status (local_filename text primary key, status integer)");
        Execute(connection, "create table config (key text, text_value text)");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(connection, "insert or replace into file_status values (?1, ?2)", -1, &insert, nullptr);
        const auto add = [&](const std::wstring& name, int status) {
            const std::string utf8 = WideToUtf8(name);
            sqlite3_bind_text(insert, 1, utf8.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 2, status);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        };
        add(m_sync, 0);
        for (int i = 0; i < rows; ++i) {
            const int folder = i / kFolderSize;
            const std::wstring folderPath = m_sync + FolderName(folder);
            if (i % kFolderSize == 0) add(folderPath, 0);
            const bool pending = folder % 2 == 0 && i % kFolderSize < kPendingPerBusyFolder;
            add(folderPath + L"\\file" + std::to_wstring(i) + L".txt", pending ? 1 : (i % 7 == 3 ? 2 : 0));
            if (i == rows / 2) {
                add(ItemPath(BenchItem::File0), 0);
                add(ItemPath(BenchItem::File2), 2);
            }
        }
        sqlite3_finalize(insert);
        const std::string monitored = "insert into config values ('lumbo_path', '" + WideToUtf8(m_sync) + "')";
        Execute(connection, monitored.c_str());
        Execute(connection, "insert into config values ('ignore_dirs', '[\"Ignored\", \"Cache\"]')");
        if (schema == BenchSchema::PrimaryKeyAndStatusIndex)
            Execute(connection, "create index file_status_status on file_status (status)");
        Execute(connection, "commit");
        Execute(connection, "pragma journal_mode = delete");
    } catch (...) {
        sqlite3_close(connection);
        throw;
    }
    sqlite3_close(connection);
}

void BenchLayout::Commit() {
    sqlite3* connection = OpenForWriting(m_install + kDatabaseFileSuffix);
    const std::string name =
        WideToUtf8(m_sync + FolderName(kToggledRow / kFolderSize) + L"\\file" + std::to_wstring(kToggledRow) + L".txt");
    const std::string sql = "update file_status set status = " + std::to_string(m_toggled ? 0 : 2) +
                            " where local_filename = '" + name + "'";
    m_toggled = !m_toggled;
    try {
        Execute(connection, sql.c_str());
    } catch (...) {
        sqlite3_close(connection);
        throw;
    }
    sqlite3_close(connection);
}

}  // namespace lumbo::tools
