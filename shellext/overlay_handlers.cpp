#include "shellext/overlay_handlers.h"

#include "shellext/overlay_decisions.h"
#include "text/conversions.h"

namespace lumbo {

bool ClumboExt0::Decide(const OverlayQuery& query) {
    return HasSynchronisedBadge(query.store, WideToUtf8(query.path));
}

bool ClumboExt1::Decide(const OverlayQuery& query) { return HasPendingBadge(query, m_monitoredFolder); }

bool ClumboExt2::Decide(const OverlayQuery& query) {
    return HasFailedBadge(query.store, WideToUtf8(query.path));
}

}  // namespace lumbo
