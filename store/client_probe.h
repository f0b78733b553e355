#pragma once

namespace lumbo {

// Whether the client runs, told by its named event. The probe only opens the
// event by name: it never creates one, so no probe can make the client seem
// to run, and it keeps no handle.
bool IsClientRunning();

}  // namespace lumbo
