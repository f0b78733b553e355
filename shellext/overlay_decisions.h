#pragma once

#include <string_view>

struct sqlite3;

namespace lumbo {

// The green tick: listed as synchronised, and (for a folder) nothing beneath
// it still waiting for upload.
bool HasSynchronisedBadge(sqlite3* store, std::string_view utf8Path);

// The red cross: listed as failed. Folders are not looked into.
bool HasFailedBadge(sqlite3* store, std::string_view utf8Path);

}  // namespace lumbo
