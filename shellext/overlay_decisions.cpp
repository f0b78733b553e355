#include "shellext/overlay_decisions.h"

#include "store/status_queries.h"

namespace lumbo {

bool HasSynchronisedBadge(sqlite3* store, std::string_view utf8Path) {
    return StatusListContains(store, FileStatus::Synchronised, utf8Path) && !HasPendingBelow(store, utf8Path);
}

bool HasFailedBadge(sqlite3* store, std::string_view utf8Path) {
    return StatusListContains(store, FileStatus::Failed, utf8Path);
}

}  // namespace lumbo
