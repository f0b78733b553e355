#include "shellext/overlay_handlers.h"

#include "shellext/overlay_decisions.h"
#include "text/conversions.h"

namespace lumbo {

bool ClumboExt0::Decide(sqlite3* store, const wchar_t* path) {
    return HasSynchronisedBadge(store, WideToUtf8(path));
}

bool ClumboExt2::Decide(sqlite3* store, const wchar_t* path) {
    return HasFailedBadge(store, WideToUtf8(path));
}

}  // namespace lumbo
