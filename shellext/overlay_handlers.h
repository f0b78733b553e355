#pragma once

#include <string>

#include "shellext/shell_overlay.h"

namespace lumbo {

// The synchronised badge, a green tick (icon index 0).
class ClumboExt0 : public ShellOverlay<ClumboExt0> {
public:
    static constexpr int kIconIndex = 0;
    bool Decide(const OverlayQuery& query);
};

// The pending badge, blue circling arrows (icon index 1). It remembers the
// last monitored folder it read, for calls that cannot read it.
class ClumboExt1 : public ShellOverlay<ClumboExt1> {
public:
    static constexpr int kIconIndex = 1;
    bool Decide(const OverlayQuery& query);

private:
    std::string m_monitoredFolder;
};

// The failed badge, a red cross (icon index 2).
class ClumboExt2 : public ShellOverlay<ClumboExt2> {
public:
    static constexpr int kIconIndex = 2;
    bool Decide(const OverlayQuery& query);
};

}  // namespace lumbo
