#include "tools/bench/concurrency_bench.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include <sqlite3.h>

#include "store/client_contract.h"
#include "store/monotonic_clock.h"
#include "store/unique_handle.h"
#include "text/conversions.h"
#include "tools/bench/bench_database.h"

namespace lumbo::tools {

namespace {

constexpr int kThreads = 8;
const wchar_t* const kClasses[] = {L"{2B8987D5-ECE1-4918-8CCE-F694624DEF4A}",
                                   L"{B1C1C94C-280B-48FD-9171-AE0CDF13316F}",
                                   L"{100E0AF5-A72F-4FBF-A6C6-56EE95107183}"};

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

struct Item {
    std::wstring path;
    bool badge[3];
};

void Execute(sqlite3* connection, const std::string& sql) {
    if (sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(connection));
}

// The client's installation: 1,000 rows the writer never touches, of which
// the measured items, and its own churn folder.
std::vector<Item> WriteLayout(const std::wstring& install, const std::wstring& sync, bool wal) {
    SHCreateDirectoryExW(nullptr, (install + L"\\files").c_str(), nullptr);
    SHCreateDirectoryExW(nullptr, (sync + L"\\churn").c_str(), nullptr);
    WriteText(install + L"\\files\\filefilter", "^~\\$\n\\.partial$\n");
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallPathKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(install.c_str()),
                   static_cast<DWORD>((install.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    const std::wstring database = install + kDatabaseFileSuffix;
    for (const wchar_t* suffix : {L"", L"-wal", L"-shm", L"-journal"}) DeleteFileW((database + suffix).c_str());
    sqlite3* connection = nullptr;
    if (sqlite3_open(WideToUtf8(database).c_str(), &connection) != SQLITE_OK)
        throw std::runtime_error("cannot create the bench database");
    Execute(connection, wal ? "pragma journal_mode = wal" : "pragma journal_mode = delete");
    Execute(connection, "begin");
    Execute(connection, "create table file_status (local_filename text, status integer)");
    Execute(connection, "create index file_status_local_filename on file_status (local_filename)");
    Execute(connection, "create table config (key text, text_value text)");
    Execute(connection, "insert into config values ('lumbo_path', '" + WideToUtf8(sync) + "')");
    Execute(connection, "insert into config values ('ignore_dirs', '[\"Ignored\"]')");
    std::vector<Item> items;
    for (int i = 0; i < 1000; ++i) {
        const std::wstring path = sync + L"\\kept\\f" + std::to_wstring(i) + L".txt";
        const int status = i % 3;
        Execute(connection, "insert into file_status values ('" + WideToUtf8(path) + "', " + std::to_string(status) + ")");
        if (i % 25 == 0) items.push_back({path, {status == 0, status == 1, status == 2}});
    }
    for (int i = 0; i < 8; ++i) items.push_back({sync + L"\\kept\\new" + std::to_wstring(i) + L".txt", {false, true, false}});
    Execute(connection, "commit");
    sqlite3_close(connection);
    return items;
}

struct Latencies {
    std::mutex lock;
    std::vector<double> byHandler[3];
};

struct Counts {
    std::atomic<long> calls[3] = {};
    std::atomic<long> wrong[3] = {};    // a badge where none belongs
    std::atomic<long> missing[3] = {};  // no badge where one belongs
};

void AskUntil(GetClassObjectFunction getClassObject, const std::vector<Item>& items, HANDLE stop, int thread,
              Counts& counts, Latencies& latencies) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellIconOverlayIdentifier* overlays[3] = {};
    for (int i = 0; i < 3; ++i) {
        CLSID clsid;
        CLSIDFromString(kClasses[i], &clsid);
        IClassFactory* factory = nullptr;
        if (FAILED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return;
        factory->CreateInstance(nullptr, IID_IShellIconOverlayIdentifier, reinterpret_cast<void**>(&overlays[i]));
        factory->Release();
        if (overlays[i] == nullptr) return;
    }
    std::vector<double> mine[3];
    for (std::size_t n = static_cast<std::size_t>(thread) * 7; WaitForSingleObject(stop, 0) != WAIT_OBJECT_0; ++n) {
        const Item& item = items[n % items.size()];
        for (int h = 0; h < 3; ++h) {
            const double before = MonotonicSeconds();
            const HRESULT answer = overlays[h]->IsMemberOf(item.path.c_str(), 0);
            mine[h].push_back(MonotonicSeconds() - before);
            ++counts.calls[h];
            const bool badge = answer == S_OK;
            if (badge && !item.badge[h]) ++counts.wrong[h];
            if (!badge && item.badge[h]) ++counts.missing[h];
        }
    }
    for (IShellIconOverlayIdentifier* overlay : overlays) overlay->Release();
    CoUninitialize();
    const std::lock_guard<std::mutex> guard(latencies.lock);
    for (int h = 0; h < 3; ++h) latencies.byHandler[h].insert(latencies.byHandler[h].end(), mine[h].begin(), mine[h].end());
}

double Percentile(std::vector<double>& times, double fraction) {
    if (times.empty()) return 0;
    const std::size_t at = std::min(times.size() - 1, static_cast<std::size_t>(times.size() * fraction));
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(at), times.end());
    return times[at] * 1e3;
}

}  // namespace

int RunConcurrencyBench(const std::wstring& dllPath, const std::wstring& workFolder, const std::wstring& writer,
                        double seconds) {
    HMODULE dll = LoadLibraryW(dllPath.c_str());
    if (dll == nullptr) {
        std::fprintf(stderr, "bench: the DLL did not load (error %lu)\n", GetLastError());
        return 1;
    }
    const auto getClassObject =
        reinterpret_cast<GetClassObjectFunction>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    if (getClassObject == nullptr) return 1;
    const UniqueHandle client(CreateEventW(nullptr, FALSE, FALSE, kClientEventName));
    const std::wstring install = workFolder + L"\\concurrency";
    const std::wstring sync = workFolder + L"\\concurrency-sync";

    std::printf("| journal | handler | calls | wrong | missing | p50 ms | p99 ms | max ms |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|\n");
    for (const bool wal : {false, true}) {
        const std::vector<Item> items = WriteLayout(install, sync, wal);
        const UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, L"lumbo-bench-churn-done"));
        const UniqueHandle close(CreateEventW(nullptr, TRUE, FALSE, L"lumbo-bench-churn-close"));
        std::wstring commandLine = L"\"" + writer + L"\" --churn \"" + install + kDatabaseFileSuffix + L"\" \"" +
                                   sync + L"\" " + std::to_wstring(seconds) + (wal ? L" wal" : L" rollback") +
                                   L" lumbo-bench-churn-done lumbo-bench-churn-close";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(writer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            std::fprintf(stderr, "bench: cannot start the writer (error %lu)\n", GetLastError());
            return 1;
        }
        CloseHandle(process.hThread);
        const UniqueHandle writerProcess(process.hProcess);

        Counts counts;
        Latencies latencies;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] { AskUntil(getClassObject, items, done.Get(), t, counts, latencies); });
        const HANDLE ends[] = {done.Get(), writerProcess.Get()};
        WaitForMultipleObjects(2, ends, FALSE, static_cast<DWORD>(seconds * 1000) + 60000);
        SetEvent(done.Get());
        for (std::thread& thread : threads) thread.join();
        SetEvent(close.Get());
        WaitForSingleObject(writerProcess.Get(), 60000);

        for (int h = 0; h < 3; ++h) {
            std::vector<double>& times = latencies.byHandler[h];
            const double max = times.empty() ? 0 : *std::max_element(times.begin(), times.end()) * 1e3;
            std::printf("| %s | status %d | %ld | %ld | %ld | %.2f | %.2f | %.1f |\n", wal ? "WAL" : "rollback", h,
                        counts.calls[h].load(), counts.wrong[h].load(), counts.missing[h].load(),
                        Percentile(times, 0.5), Percentile(times, 0.99), max);
        }
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace lumbo::tools
