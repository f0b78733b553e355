// Measures IsMemberOf of the three overlay handlers of the built DLL, reached
// through its exports as Explorer reaches them, against the floor: one event
// probe, one registry read, one open and close and one indexed point query
// done directly. Files and folders, with the database unchanged between calls
// and right after a commit of the client. Run on demand (scripts/bench.sh);
// it prints tables.
//
//   overlay_bench.exe DLL_PATH WORK_FOLDER [--quick | --large | --memory | --folders]
//   overlay_bench.exe DLL_PATH WORK_FOLDER --concurrency WRITER_EXE [SECONDS]
//   overlay_bench.exe DLL_PATH WORK_FOLDER --sync [ROLLBACK_SECONDS [WAL_SECONDS [ROWS]]]
//
// The DLL loads only into Explorer, regsvr32 or the class verifier, so the
// bench runs as C:\windows\system32\verclsid.exe of a prefix of its own.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <shlguid.h>

#include <sqlite3.h>

#include "store/client_contract.h"
#include "store/client_probe.h"
#include "store/monotonic_clock.h"
#include "store/install_path.h"
#include "store/statement.h"
#include "store/pending_folder_cache.h"
#include "store/status_queries.h"
#include "store/status_store.h"
#include "store/unique_handle.h"
#include "text/conversions.h"
#include "tools/bench/bench_database.h"
#include "tools/bench/concurrency_bench.h"
#include "tools/bench/sync_bench.h"

namespace {

using lumbo::tools::BenchItem;
using lumbo::tools::BenchLayout;
using lumbo::tools::BenchSchema;
using lumbo::MonotonicSeconds;

struct Handler {
    const char* name;
    const wchar_t* clsid;
    IShellIconOverlayIdentifier* overlay = nullptr;
};

struct Figures {
    double median = 0;
    double p95 = 0;
};

Figures Summarise(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    Figures figures;
    figures.median = times[times.size() / 2] * 1e6;
    figures.p95 = times[std::min(times.size() - 1, times.size() * 95 / 100)] * 1e6;
    return figures;
}

// Times `call` until `maxCalls` calls or `budgetSeconds` have passed (at
// least 5 calls); `prepare` runs untimed before each call. The floor is timed
// right after each call, so both see the same load of the machine.
template <class Call, class Prepare, class Floor>
std::pair<Figures, Figures> Measure(Call call, Prepare prepare, Floor floor, int maxCalls, double budgetSeconds) {
    std::vector<double> times;
    std::vector<double> floorTimes;
    const double start = MonotonicSeconds();
    for (int i = 0; i < maxCalls && (i < 5 || MonotonicSeconds() - start < budgetSeconds); ++i) {
        prepare();
        const double before = MonotonicSeconds();
        call();
        const double between = MonotonicSeconds();
        floor();
        times.push_back(between - before);
        floorTimes.push_back(MonotonicSeconds() - between);
    }
    return {Summarise(floorTimes), Summarise(times)};
}

// The least any overlay query must do.
void FloorQuery(const std::string& utf8Path) {
    lumbo::IsClientRunning();
    const lumbo::StatusStore store = lumbo::OpenStatusStore(lumbo::DatabasePath());
    lumbo::Statement statement(store.get(), "select status from file_status where local_filename = ?1");
    statement.Bind(1, utf8Path);
    statement.Step();
}

// The process's private bytes. Wine leaves PrivateUsage at 0 but fills
// PagefileUsage with the private memory in use, which is what a leak grows.
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

bool CreateHandlers(const std::wstring& dllPath, std::vector<Handler>& handlers) {
    HMODULE dll = LoadLibraryW(dllPath.c_str());
    if (dll == nullptr) {
        std::fprintf(stderr, "bench: the DLL did not load (error %lu); is this the class verifier's path?\n",
                     GetLastError());
        return false;
    }
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    if (getClassObject == nullptr) return false;
    for (Handler& handler : handlers) {
        CLSID clsid;
        CLSIDFromString(handler.clsid, &clsid);
        IClassFactory* factory = nullptr;
        if (FAILED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return false;
        const HRESULT created = factory->CreateInstance(nullptr, IID_IShellIconOverlayIdentifier,
                                                        reinterpret_cast<void**>(&handler.overlay));
        factory->Release();
        if (FAILED(created)) return false;
    }
    return true;
}

struct Case {
    const char* name;
    BenchItem item;
    bool badged[3];  // the answer each handler must give
};

const Case kCases[] = {
    {"file", BenchItem::File0, {true, false, false}},
    {"file", BenchItem::File1, {false, true, false}},
    {"file", BenchItem::File2, {false, false, true}},
    {"synchronised folder", BenchItem::SynchronisedFolder, {true, false, false}},
    {"folder with pending", BenchItem::PendingFolder, {false, true, false}},
    {"sync root", BenchItem::SyncRoot, {false, false, false}},
};

// Files are timed with the handler that badges them; folders with the two
// handlers that look beneath them.
bool Timed(const Case& c, int handler) {
    if (c.item == BenchItem::File0 || c.item == BenchItem::File1 || c.item == BenchItem::File2)
        return c.badged[handler];
    return handler != 2;
}

// Every timed call must give the expected answer: a fast failure measures nothing.
struct CheckedCall {
    IShellIconOverlayIdentifier* overlay;
    std::wstring path;
    HRESULT expected;
    int calls = 0;
    int wrong = 0;
    void operator()() {
        ++calls;
        if (overlay->IsMemberOf(path.c_str(), 0) != expected) ++wrong;
    }
};

bool ReportWrong(const CheckedCall& call, const char* handler, const char* item, int rows) {
    if (call.wrong == 0) return false;
    std::fprintf(stderr, "bench: %s answered %s wrongly in %d of %d calls at %d rows\n", handler, item, call.wrong,
                 call.calls, rows);
    return true;
}

// The folder look-up alone, inside this process: the per-call query and the
// shared set on the same database, in turns, so both meet the same load.
// Right after a commit the set is walked again; unchanged, it is read.
int CompareFolderRoads(BenchLayout& layout, const std::vector<int>& sizes) {
    std::printf("| rows | status index | item | database | per-call us | shared us | shared / per-call | calls |\n");
    std::printf("|---:|:---:|---|---|---:|---:|---:|---:|\n");
    for (const int rows : sizes) {
        for (const BenchSchema schema : {BenchSchema::PrimaryKey, BenchSchema::PrimaryKeyAndStatusIndex}) {
            layout.WriteDatabase(rows, schema);
            for (const BenchItem item : {BenchItem::SynchronisedFolder, BenchItem::PendingFolder}) {
                const std::string path = lumbo::WideToUtf8(layout.ItemPath(item));
                const lumbo::LookupResult expected =
                    item == BenchItem::PendingFolder ? lumbo::LookupResult::Found : lumbo::LookupResult::NotFound;
                for (const bool afterCommit : {true, false}) {
                    std::vector<double> perCall;
                    std::vector<double> shared;
                    const int calls = afterCommit ? 4 : 20;
                    for (int i = 0; i < calls; ++i) {
                        if (afterCommit) {
                            layout.Commit();
                        }
                        for (int turn = 0; turn < 2; ++turn) {
                            const bool sharedTurn = (turn == 0) == (i % 2 == 0);
                            const lumbo::StatusStore store = lumbo::OpenStatusStore(lumbo::DatabasePath());
                            const double before = MonotonicSeconds();
                            const lumbo::LookupResult answer = sharedTurn
                                                                   ? lumbo::HasPendingBelowShared(store.get(), path)
                                                                   : lumbo::HasPendingBelow(store.get(), path);
                            (sharedTurn ? shared : perCall).push_back(MonotonicSeconds() - before);
                            if (answer != expected) {
                                std::fprintf(stderr, "bench: a folder look-up answered wrongly at %d rows\n", rows);
                                return 1;
                            }
                        }
                    }
                    const Figures a = Summarise(perCall);
                    const Figures b = Summarise(shared);
                    std::printf("| %d | %s | %s | %s | %.0f | %.0f | %.2f | %d |\n", rows,
                                schema == BenchSchema::PrimaryKeyAndStatusIndex ? "yes" : "no",
                                item == BenchItem::PendingFolder ? "folder with pending" : "synchronised folder",
                                afterCommit ? "right after a commit" : "unchanged", a.median, b.median,
                                b.median / a.median, calls);
                    std::fflush(stdout);
                }
            }
            if (rows == 1000000 && schema == BenchSchema::PrimaryKey)
                std::printf("\nshared folder set at 1000000 rows (100000 pending in 5000 folders): %zu KiB\n\n",
                            lumbo::PendingFolderCacheBytes() / 1024);
        }
    }
    return 0;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: overlay_bench DLL_PATH WORK_FOLDER [--quick | --large | --memory | --folders]\n");
        return 2;
    }
    if (argc > 4 && std::wstring(argv[3]) == L"--concurrency")
        return lumbo::tools::RunConcurrencyBench(argv[1], argv[2], argv[4], argc > 5 ? _wtof(argv[5]) : 60.0);
    if (argc > 3 && std::wstring(argv[3]) == L"--folders") {
        BenchLayout layout(argv[2]);
        return CompareFolderRoads(layout, {100000, 1000000});
    }
    const bool quick = argc > 3 && std::wstring(argv[3]) == L"--quick";
    const bool memoryOnly = argc > 3 && std::wstring(argv[3]) == L"--memory";
    const bool largeOnly = argc > 3 && std::wstring(argv[3]) == L"--large";
    BenchLayout layout(argv[2]);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    std::vector<Handler> handlers = {
        {"status 0", L"{2B8987D5-ECE1-4918-8CCE-F694624DEF4A}"},
        {"status 1", L"{B1C1C94C-280B-48FD-9171-AE0CDF13316F}"},
        {"status 2", L"{100E0AF5-A72F-4FBF-A6C6-56EE95107183}"},
    };
    if (!CreateHandlers(argv[1], handlers)) return 1;
    const lumbo::UniqueHandle client(CreateEventW(nullptr, FALSE, FALSE, lumbo::kClientEventName));
    if (argc > 3 && std::wstring(argv[3]) == L"--sync") {
        lumbo::tools::SyncBenchOptions options;
        if (argc > 4) options.rollbackSeconds = _wtof(argv[4]);
        if (argc > 5) options.walSeconds = _wtof(argv[5]);
        if (argc > 6) options.rows = _wtoi(argv[6]);
        IShellIconOverlayIdentifier* const overlays[3] = {handlers[0].overlay, handlers[1].overlay,
                                                          handlers[2].overlay};
        return lumbo::tools::RunSyncBench(overlays, argv[2], FloorQuery, options);
    }

    std::vector<int> sizes = {1000, 10000, 100000, 1000000};
    if (quick) sizes = {1000, 10000};
    if (largeOnly) sizes = {1000000};
    if (memoryOnly) sizes.clear();
    const double budget = quick ? 0.3 : 1.5;
    if (!sizes.empty()) {
        std::printf("| rows | status index | item | handler | floor us | unchanged us | p95 us | / floor | "
                    "floor us | after a commit us | / floor | calls |\n");
        std::printf("|---:|:---:|---|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    }
    SIZE_T keptBefore = 0;
    SIZE_T keptAfter = 0;
    for (const int rows : sizes) {
        for (const BenchSchema schema : {BenchSchema::PrimaryKey, BenchSchema::PrimaryKeyAndStatusIndex}) {
            if (largeOnly && schema != BenchSchema::PrimaryKey) continue;
            layout.WriteDatabase(rows, schema);
            const bool memoryRun = rows == 1000000 && schema == BenchSchema::PrimaryKey;
            if (memoryRun) keptBefore = PrivateBytes();
            const std::string floorItem = lumbo::WideToUtf8(layout.ItemPath(BenchItem::File0));
            const auto floor = [&] { FloorQuery(floorItem); };
            for (const Case& c : kCases) {
                for (int h = 0; h < 3; ++h) {
                    if (!Timed(c, h)) continue;
                    CheckedCall call{handlers[static_cast<std::size_t>(h)].overlay, layout.ItemPath(c.item),
                                     c.badged[h] ? S_OK : S_FALSE};
                    const auto [floorUnchanged, unchanged] = Measure(std::ref(call), [] {}, floor, 2000, budget);
                    const auto [floorAfter, afterCommit] =
                        Measure(std::ref(call), [&] { layout.Commit(); }, floor, 200, budget);
                    if (ReportWrong(call, handlers[static_cast<std::size_t>(h)].name, c.name, rows)) return 1;
                    std::printf("| %d | %s | %s | %s | %.0f | %.0f | %.0f | %.2f | %.0f | %.0f | %.2f | %d |\n", rows,
                                schema == BenchSchema::PrimaryKeyAndStatusIndex ? "yes" : "no", c.name,
                                handlers[static_cast<std::size_t>(h)].name, floorUnchanged.median, unchanged.median,
                                unchanged.p95, unchanged.median / floorUnchanged.median, floorAfter.median,
                                afterCommit.median, afterCommit.median / floorAfter.median, call.calls);
                    std::fflush(stdout);
                }
            }
            if (memoryRun) keptAfter = PrivateBytes();
        }
    }
    if (keptBefore != 0) {
        std::printf("\nprivate bytes at 1000000 rows (100000 pending in 5000 folders), before the first call: %zu KiB; "
                    "after every case: %zu KiB\n",
                    static_cast<std::size_t>(keptBefore / 1024), static_cast<std::size_t>(keptAfter / 1024));
    }

    if (!sizes.empty()) {
        // The pending handler's fixed cost with a small and a large filter file.
        layout.WriteDatabase(10000, BenchSchema::PrimaryKey);
        const std::string floorItem = lumbo::WideToUtf8(layout.ItemPath(BenchItem::File0));
        std::printf("\n| filter lines | floor us | status 1 on a new file us | p95 us | / floor | calls |\n");
        std::printf("|---:|---:|---:|---:|---:|---:|\n");
        for (const int lines : {20, 20000}) {
            layout.WriteFilterFile(lines);
            CheckedCall call{handlers[1].overlay, layout.ItemPath(BenchItem::File1), S_OK};
            const auto [floor, figures] =
                Measure(std::ref(call), [] {}, [&] { FloorQuery(floorItem); }, 2000, budget * 2);
            if (ReportWrong(call, handlers[1].name, "file", 10000)) return 1;
            std::printf("| %d | %.0f | %.0f | %.0f | %.2f | %d |\n", lines, floor.median, figures.median, figures.p95,
                        figures.median / floor.median, call.calls);
            std::fflush(stdout);
        }
        layout.WriteFilterFile(20);
    }

    // Memory: the same calls over and over must not grow the heap.
    layout.WriteDatabase(1000, BenchSchema::PrimaryKey);
    const int total = quick ? 10000 : 30000;
    SIZE_T afterFirstThousand = 0;
    for (int i = 1; i <= total; ++i) {
        const Case& c = kCases[static_cast<std::size_t>(i % 6)];
        handlers[static_cast<std::size_t>(i % 3)].overlay->IsMemberOf(layout.ItemPath(c.item).c_str(), 0);
        if (i == 1000) afterFirstThousand = PrivateBytes();
    }
    std::printf("\nprivate bytes after 1000 calls: %zu KiB; after %d calls: %zu KiB\n", static_cast<std::size_t>(afterFirstThousand / 1024),
                total, static_cast<std::size_t>(PrivateBytes() / 1024));
    for (Handler& handler : handlers) handler.overlay->Release();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench: %s\n", error.what());
        return 1;
    }
}
