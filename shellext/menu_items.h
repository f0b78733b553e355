#pragma once

// The one entry the handler adds to a context menu, framed by two separators.

#include <windows.h>

namespace lumbo {

// Send to Orvek net disk.
inline constexpr wchar_t kMenuItemText[] = L" \u53D1\u9001\u5230Orvek\u7F51\u76D8";
// The item's picture (16 x 16, 24 bits per pixel, Chinese (PRC) language).
inline constexpr int kMenuBitmapId = 204;

// Inserts separator, item (identifier idCmdFirst, `bitmap` as its unchecked
// mark when there is one) and separator at `indexMenu`. Returns the number of
// identifiers used: 0 for default-only and verbs-only queries, else 1.
UINT AddMenuItems(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT flags, HBITMAP bitmap);

}  // namespace lumbo
