#include "tools/bench/sync_bench.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include <sqlite3.h>

#include "store/install_path.h"
#include "store/monotonic_clock.h"
#include "text/conversions.h"
#include "tools/bench/bench_database.h"

namespace lumbo::tools {

namespace {

constexpr int kListedFiles = 150;
constexpr int kListedFolders = 50;

struct Item {
    std::wstring path;
    HRESULT expected[3] = {S_FALSE, S_FALSE, S_FALSE};
};

// The listed folder: files of every status and not listed yet, sub-folders
// with and without pending entries beneath them.
std::vector<Item> WriteListedFolder(const std::wstring& sync, const std::wstring& databasePath) {
    const std::wstring folder = sync + L"\\Listing";
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    std::vector<Item> items;
    std::string sql = "begin;";
    const auto row = [&sql](const std::wstring& path, int status) {
        sql += "insert or replace into file_status values ('" + WideToUtf8(path) + "', " + std::to_string(status) +
               ");";
    };
    for (int i = 0; i < kListedFiles; ++i) {
        const std::wstring path = folder + L"\\report" + std::to_wstring(i) + L".docx";
        WriteText(path, "x");
        if (i % 10 != 5) row(path, i % 10 == 0 ? 1 : i % 10 == 1 ? 2 : 0);
        items.push_back({path});
    }
    for (int i = 0; i < kListedFolders; ++i) {
        const std::wstring path = folder + L"\\project" + std::to_wstring(i);
        SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
        row(path, 0);
        row(path + L"\\notes.txt", i % 5 == 0 ? 1 : 0);
        items.push_back({path});
    }
    sqlite3* connection = OpenForWriting(databasePath);
    try {
        Execute(connection, (sql + "commit;").c_str());
    } catch (...) {
        sqlite3_close(connection);
        throw;
    }
    sqlite3_close(connection);
    return items;
}

// The client committing at a fixed rate on its open connection: a row of
// another folder flips between synchronised and pending, or a new file of
// another folder is listed.
class Writer {
public:
    Writer(const std::wstring& databasePath, const std::wstring& sync, bool wal, double perSecond)
        : m_connection(OpenForWriting(databasePath)), m_sync(WideToUtf8(sync)) {
        Execute(m_connection, wal ? "pragma journal_mode = wal" : "pragma journal_mode = delete");
        m_thread = std::thread([this, perSecond] { Run(perSecond); });
    }
    ~Writer() {
        m_stop = true;
        m_thread.join();
        sqlite3_close(m_connection);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    int Commits() const { return m_commits; }
    int Failed() const { return m_failed; }

private:
    void Run(double perSecond) {
        const double start = MonotonicSeconds();
        for (int n = 0; !m_stop; ++n) {
            const std::string sql =
                n % 2 == 0 ? "update file_status set status = " + std::to_string((n / 2) % 2) +
                                 " where local_filename = '" + m_sync + "\\folder1\\file150.txt'"
                           : "insert or replace into file_status values ('" + m_sync + "\\folder3\\new" +
                                 std::to_string(n) + ".txt', 1)";
            if (sqlite3_exec(m_connection, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) ++m_commits;
            else ++m_failed;
            const double next = start + (n + 1) / perSecond;
            while (!m_stop && MonotonicSeconds() < next) Sleep(1);
        }
    }

    sqlite3* m_connection;
    std::string m_sync;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_commits{0};
    std::atomic<int> m_failed{0};
    std::thread m_thread;
};

double Percentile(std::vector<double>& values, int percent) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * static_cast<std::size_t>(percent) / 100)] * 1e6;
}

bool OpensFail(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return true;
    CloseHandle(file);
    return false;
}

}  // namespace

int RunSyncBench(IShellIconOverlayIdentifier* const (&handlers)[3], const std::wstring& workFolder,
                 const std::function<void(const std::string&)>& floorQuery, const SyncBenchOptions& options) {
    BenchLayout layout(workFolder);
    layout.WriteDatabase(options.rows, BenchSchema::PrimaryKey);
    const std::wstring sync = layout.ItemPath(BenchItem::SyncRoot);
    const std::wstring databasePath = Utf8ToWide(DatabasePath());
    std::vector<Item> items = WriteListedFolder(sync, databasePath);
    const std::string floorItem = WideToUtf8(layout.ItemPath(BenchItem::File0));

    std::printf("| journal | commits/s | commits | calls | median us | p95 us | p99 us | floor us | p99 / floor | "
                "list ms | floor list ms | list / floor | misses | of them failed opens |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const bool wal : {false, true}) {
        for (const double rate : {2.0, 10.0, 50.0}) {
            std::vector<double> calls;
            std::vector<double> floors;
            std::vector<double> lists;
            std::vector<double> floorLists;
            int misses = 0;
            int failedOpens = 0;
            int commits = 0;
            {
                Writer writer(databasePath, sync, wal, rate);
                // The answers of the quiet state, which no commit of the writer changes.
                for (Item& item : items)
                    for (int h = 0; h < 3; ++h) item.expected[h] = handlers[h]->IsMemberOf(item.path.c_str(), 0);
                const double start = MonotonicSeconds();
                const double seconds = wal ? options.walSeconds : options.rollbackSeconds;
                while (MonotonicSeconds() - start < seconds) {
                    double list = 0;
                    double floorList = 0;
                    for (const Item& item : items) {
                        for (int h = 0; h < 3; ++h) {
                            const double t0 = MonotonicSeconds();
                            const HRESULT answer = handlers[h]->IsMemberOf(item.path.c_str(), 0);
                            const double t1 = MonotonicSeconds();
                            floorQuery(floorItem);
                            const double t2 = MonotonicSeconds();
                            calls.push_back(t1 - t0);
                            floors.push_back(t2 - t1);
                            list += t1 - t0;
                            floorList += t2 - t1;
                            if (answer != item.expected[h]) {
                                ++misses;
                                if (OpensFail(databasePath)) ++failedOpens;
                            }
                        }
                    }
                    lists.push_back(list);
                    floorLists.push_back(floorList);
                }
                commits = writer.Commits();
            }
            const std::size_t callCount = calls.size();
            const double median = Percentile(calls, 50);
            const double p95 = Percentile(calls, 95);
            const double p99 = Percentile(calls, 99);
            const double floor = Percentile(floors, 50);
            const double list = Percentile(lists, 50) / 1000;
            const double floorList = Percentile(floorLists, 50) / 1000;
            std::printf("| %s | %.0f | %d | %zu | %.0f | %.0f | %.0f | %.0f | %.2f | %.1f | %.1f | %.2f | %d | %d |\n",
                        wal ? "WAL" : "rollback", rate, commits, callCount, median, p95, p99, floor, p99 / floor, list,
                        floorList, list / floorList, misses, failedOpens);
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace lumbo::tools
