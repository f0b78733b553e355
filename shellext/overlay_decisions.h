#pragma once

#include <string>
#include <string_view>

#include "shellext/overlay_frame.h"

struct sqlite3;

namespace lumbo {

// Where "is anything pending beneath this folder" and the filter patterns
// come from: the process's shared caches, or the per-call queries and
// compilation that the caches must always agree with.
enum class LookupRoad { Shared, PerCall };

// The green tick: listed as synchronised, and (for a folder) nothing beneath
// it still waiting for upload.
bool HasSynchronisedBadge(sqlite3* store, std::string_view utf8Path, LookupRoad road = LookupRoad::Shared);

// The red cross: listed as failed. Folders are not looked into.
bool HasFailedBadge(sqlite3* store, std::string_view utf8Path);

// The blue arrows: listed as pending, or an item of the monitored folder that
// the filter rules let through and that either holds something pending or is
// not listed yet. `rememberedFolder` is the handler's last monitored folder
// (UTF-8). Every decision is made on the UTF-16 path; the ANSI form shows
// only in trace lines.
bool HasPendingBadge(const OverlayQuery& query, std::string& rememberedFolder,
                     LookupRoad road = LookupRoad::Shared);

// The client's filter file, beside its database.
std::wstring FilterFilePath(const std::wstring& databasePath);

}  // namespace lumbo
