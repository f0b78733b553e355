#pragma once

// The doctor's checks, one function per family. Each reads, never writes,
// and gives its findings in a fixed order; a read that fails is a finding of
// its own ("could not read: ..."), never taken for "missing".

#include <string>
#include <vector>

#include "tools/doctor/finding.h"

namespace lumbo::doctor {

// Explorer's overlay identifiers in its order, and where ours stand.
Findings CheckOverlaySlots();

// The four classes, ProgIDs, AppID, overlay and menu entries, type library,
// blocked list and the registered DLL's version.
Findings CheckRegistration();

// The client's side: event, install folder, database, settings, filter
// file, configuration file, Target.
Findings CheckClientContract();

// For each path, the three overlay handlers' answers and why, as the DLL
// decides them (its own code, run in this process).
Findings ExplainPaths(const std::vector<std::wstring>& paths);

}  // namespace lumbo::doctor
