// Measures IsMemberOf of the three overlay handlers of the built DLL, reached
// through its exports as Explorer reaches them, against the floor: one event
// probe, one registry read, one open and close and one indexed point query
// done directly. Run on demand (scripts/bench.sh); it prints a table.
//
//   overlay_bench.exe DLL_PATH WORK_FOLDER [--quick | --memory]
//
// The DLL loads only into Explorer, regsvr32 or the class verifier, so the
// bench runs as C:\windows\system32\verclsid.exe of a prefix of its own.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <shlguid.h>

#include <sqlite3.h>

#include "store/client_contract.h"
#include "store/client_probe.h"
#include "store/install_path.h"
#include "store/statement.h"
#include "store/status_store.h"
#include "store/unique_handle.h"
#include "text/conversions.h"
#include "tools/bench/bench_database.h"

namespace {

using lumbo::tools::BenchLayout;

struct Handler {
    const char* name;
    const wchar_t* clsid;
    int status;  // the handler badges the bench's item of this status
    IShellIconOverlayIdentifier* overlay = nullptr;
};

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

struct Figures {
    double median = 0;
    double p95 = 0;
};

// Times `call` until `maxCalls` calls or `budgetSeconds` have passed (at least 5 calls).
template <class Call>
Figures Measure(Call call, int maxCalls, double budgetSeconds) {
    std::vector<double> times;
    const double start = Now();
    for (int i = 0; i < maxCalls && (i < 5 || Now() - start < budgetSeconds); ++i) {
        const double before = Now();
        call();
        times.push_back(Now() - before);
    }
    std::sort(times.begin(), times.end());
    Figures figures;
    figures.median = times[times.size() / 2] * 1e6;
    figures.p95 = times[std::min(times.size() - 1, times.size() * 95 / 100)] * 1e6;
    return figures;
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

int Run(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: overlay_bench DLL_PATH WORK_FOLDER [--quick | --memory]\n");
        return 2;
    }
    const bool quick = argc > 3 && std::wstring(argv[3]) == L"--quick";
    const bool memoryOnly = argc > 3 && std::wstring(argv[3]) == L"--memory";
    const BenchLayout layout(argv[2]);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    std::vector<Handler> handlers = {
        {"status 0", L"{2B8987D5-ECE1-4918-8CCE-F694624DEF4A}", 0},
        {"status 1", L"{B1C1C94C-280B-48FD-9171-AE0CDF13316F}", 1},
        {"status 2", L"{100E0AF5-A72F-4FBF-A6C6-56EE95107183}", 2},
    };
    if (!CreateHandlers(argv[1], handlers)) return 1;
    const lumbo::UniqueHandle client(CreateEventW(nullptr, FALSE, FALSE, lumbo::kClientEventName));

    std::vector<int> sizes = {1000, 10000, 100000, 1000000};
    if (quick) sizes = {1000, 10000};
    if (memoryOnly) sizes.clear();
    if (!sizes.empty()) {
        std::printf("| rows | index | floor median us | handler | median us | p95 us | median / floor | calls |\n");
        std::printf("|---:|:---:|---:|---|---:|---:|---:|---:|\n");
    }
    for (const int rows : sizes) {
        for (const bool withIndex : {true, false}) {
            layout.WriteDatabase(rows, withIndex);
            const std::string floorItem = lumbo::WideToUtf8(layout.ItemPath(0));
            const double budget = quick ? 0.5 : 3.0;
            const Figures floor = Measure([&] { FloorQuery(floorItem); }, 2000, budget);
            for (Handler& handler : handlers) {
                // Every timed call must give the badge: a fast failure measures nothing.
                const std::wstring item = layout.ItemPath(handler.status);
                int calls = 0;
                int wrong = 0;
                const Figures figures = Measure(
                    [&] {
                        ++calls;
                        if (handler.overlay->IsMemberOf(item.c_str(), 0) != S_OK) ++wrong;
                    },
                    2000, budget);
                if (wrong > 0) {
                    std::fprintf(stderr, "bench: %s missed the badge in %d of %d calls at %d rows\n", handler.name,
                                 wrong, calls, rows);
                    return 1;
                }
                std::printf("| %d | %s | %.0f | %s | %.0f | %.0f | %.2f | %d |\n", rows, withIndex ? "yes" : "no",
                            floor.median, handler.name, figures.median, figures.p95, figures.median / floor.median,
                            calls);
                std::fflush(stdout);
            }
        }
    }

    // Memory: the same calls over and over must not grow the heap.
    layout.WriteDatabase(1000, true);
    const int total = quick ? 10000 : 100000;
    SIZE_T afterFirstThousand = 0;
    for (int i = 1; i <= total; ++i) {
        const Handler& handler = handlers[static_cast<std::size_t>(i % 3)];
        handler.overlay->IsMemberOf(layout.ItemPath(handler.status).c_str(), 0);
        if (i == 1000) afterFirstThousand = PrivateBytes();
    }
    std::printf("\nprivate bytes after 1000 calls: %zu KiB; after %d calls: %zu KiB\n", static_cast<std::size_t>(afterFirstThousand / 1024),
                total, static_cast<std::size_t>(PrivateBytes() / 1024));
    for (Handler& handler : handlers) handler.overlay->Release();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
