#pragma once

namespace lumbo {

// Whether the client runs, told by its named event. The probe keeps no handle:
// when the client is absent the event it creates is destroyed at once.
bool IsClientRunning();

}  // namespace lumbo
