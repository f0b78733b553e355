#pragma once

#include "shellext/shell_overlay.h"

namespace lumbo {

// The synchronised badge, a green tick (icon index 0).
class ClumboExt0 : public ShellOverlay<ClumboExt0> {
public:
    static constexpr int kIconIndex = 0;
    bool Decide(const OverlayQuery& query);
};

// The failed badge, a red cross (icon index 2).
class ClumboExt2 : public ShellOverlay<ClumboExt2> {
public:
    static constexpr int kIconIndex = 2;
    bool Decide(const OverlayQuery& query);
};

}  // namespace lumbo
