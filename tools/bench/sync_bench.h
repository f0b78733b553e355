#pragma once

#include <functional>
#include <string>

struct IShellIconOverlayIdentifier;

namespace lumbo::tools {

// A client syncing while Explorer lists a folder: a writer thread commits
// (one status flip or one small insert each) 2, 10 and 50 times a second,
// holding its connection open as the client does, while this thread lists a
// folder of 200 items (files and sub-folders, each asked of the three
// handlers) over and over; per journal mode. Prints per-call median, p95 and
// p99, the time to list the folder, the floor beside them, and the answers
// that differ from the quiet database's (those met while opening a file
// failed counted apart).
struct SyncBenchOptions {
    int rows = 1000000;
    double rollbackSeconds = 30;
    // Short: Wine keeps every closed handle's descriptor while the client
    // holds a WAL database open, and opens start failing near 20,000.
    double walSeconds = 5;
};
int RunSyncBench(IShellIconOverlayIdentifier* const (&handlers)[3], const std::wstring& workFolder,
                 const std::function<void(const std::string&)>& floorQuery, const SyncBenchOptions& options);

}  // namespace lumbo::tools
