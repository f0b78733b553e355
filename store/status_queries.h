#pragma once

#include <string>
#include <string_view>

#include "store/client_contract.h"
#include "store/lookup_result.h"

struct sqlite3;

namespace lumbo {

// Each lookup tells found, not found and could not read apart.

// Whether the client lists the path with that status. The path is compared
// byte for byte with local_filename (no case folding, no trimming).
LookupResult StatusListContains(sqlite3* connection, FileStatus status, std::string_view utf8Path);

// Whether the client lists the path at all, with any status.
LookupResult IsListed(sqlite3* connection, std::string_view utf8Path);

// How the client lists a path: at all, and with status 1 among its rows. One
// lookup, where asking the status-1 list and then the listed test would be two.
// `pending` is true only when `listed` is Found.
struct ListedStatus {
    LookupResult listed = LookupResult::NotFound;
    bool pending = false;
};
ListedStatus ReadListedStatus(sqlite3* connection, std::string_view utf8Path);

// Whether the path is an existing folder with an entry of status 1 anywhere
// beneath it. ASCII letters of the folder match without regard to case. A
// path that is no existing folder is NotFound without asking the database.
// One query per call; HasPendingBelowShared gives the same answers cheaper.
LookupResult HasPendingBelow(sqlite3* connection, std::string_view utf8Path);

// Whether the file system has a folder at the path (asked at every call).
bool IsExistingFolder(std::string_view utf8Path);

// The like pattern for every entry beneath the folder: the folder with one
// trailing backslash, '%', '_' and the escape character escaped, then '%'.
std::string FolderContentPattern(std::string_view utf8Folder);

}  // namespace lumbo
