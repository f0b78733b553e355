#pragma once

#include <cstddef>
#include <string_view>

#include "store/lookup_result.h"

struct sqlite3;

namespace lumbo {

// HasPendingBelow's answer, without a scan of the table for every folder.
//
// Kept for the whole process, shared by every handler object and thread:
// the set of folders that hold entries of status 1 beneath them (folded as
// the like match compares, so a look-up is exact), for one state of the
// database, named by the marker read inside the read transaction of the call
// that built it. A call reads the marker inside its own read transaction and
// uses the set only when the markers are equal, so every commit that ended
// before the call is seen. Only plain memory outlives a call.
//
// The set is built by walking the status-1 rows in row order. A call that
// finds its folder stops there and leaves the walk for the next call of the
// same state to resume, so no call reads more rows than the per-call query
// would; a complete walk is published for readers, who never wait for each
// other nor for a builder (a call that finds the builder busy asks the
// database itself). Whatever fails, or a set past its memory bound, gives
// the per-call answer, so a read that fails stays a failure.
LookupResult HasPendingBelowShared(sqlite3* connection, std::string_view utf8Path);

// The heap the kept sets use (an estimate), for the bench.
std::size_t PendingFolderCacheBytes();

}  // namespace lumbo
