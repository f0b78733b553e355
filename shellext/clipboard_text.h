#pragma once

#include <windows.h>

namespace lumbo {

// Replaces the clipboard's content with an empty Unicode text. S_OK also when
// the clipboard cannot be opened (nothing changes); E_OUTOFMEMORY when the
// text cannot be allocated (the clipboard is then left empty and closed).
HRESULT PutEmptyClipboardText();

}  // namespace lumbo
