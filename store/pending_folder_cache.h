#pragma once

#include <cstddef>
#include <string_view>

#include "store/lookup_result.h"

struct sqlite3;

namespace lumbo {

// HasPendingBelow's answer, without a scan of the table for every folder.
//
// Kept for the whole process, shared by every handler object and thread:
// the folders that hold entries of status 1 beneath them (folded as the like
// match compares, so a look-up is exact), counted, with the status-1 rows by
// number and what each page of file_status's table b-tree held, for one
// state of the database, named by the marker read inside the read
// transaction of the call that reached it. A call uses the state only when
// the markers are equal, so every commit that ended before the call is seen.
// Only plain memory outlives a call.
//
// A new state is reached from the kept one by the pages that changed: in
// WAL mode the pages of the log's frames between the two snapshots (salts
// and running checksum checked), otherwise by hashing the main file in large
// reads against the kept hashes. Changed interior pages are walked again;
// the rows in the old and new rowid ranges of changed leaves are read again
// by SQLite. Another file, a schema change, a WAL restarted, a shape the page
// reader does not know: the state is read in full. A state is swapped in
// whole; readers never wait on each other nor on the one bringing it up to
// date (a call that finds it busy asks the database itself). Whatever fails,
// or a state past its memory bound, gives the per-call answer, so a read that
// fails stays a failure.
LookupResult HasPendingBelowShared(sqlite3* connection, std::string_view utf8Path);

// How many states were read in full and how many reached from the pages a
// commit changed, for the tests and the bench.
struct PendingFolderCacheActivity {
    std::size_t wholeReads = 0;
    std::size_t pageUpdates = 0;
};
PendingFolderCacheActivity PendingFolderCacheCounts();

// The heap the kept state uses (an estimate), for the bench.
std::size_t PendingFolderCacheBytes();

}  // namespace lumbo
