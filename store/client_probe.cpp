#include "store/client_probe.h"

#include <windows.h>

#include "store/client_contract.h"
#include "store/unique_handle.h"

namespace lumbo {

bool IsClientRunning() {
    // Opened, never created: a probe that created the event, however briefly,
    // would make a probe on another thread see a client that is not there.
    HANDLE handle = OpenEventW(SYNCHRONIZE, FALSE, kClientEventName);
    const DWORD error = GetLastError();
    const UniqueHandle event(handle);
    // An event we may not open (the client runs under another account with a
    // stricter descriptor) exists all the same.
    return event || error == ERROR_ACCESS_DENIED;
}

}  // namespace lumbo
