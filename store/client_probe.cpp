#include "store/client_probe.h"

#include <windows.h>

#include "store/client_contract.h"
#include "store/unique_handle.h"

namespace lumbo {

bool IsClientRunning() {
    const UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, kClientEventName));
    // Any other failure (access denied, say) counts as the client not running.
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace lumbo
