#include "shellext/menu_items.h"

#include <algorithm>
#include <iterator>

#include <shlobj.h>

namespace lumbo {

UINT AddMenuItems(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT flags, HBITMAP bitmap) {
    if ((flags & (CMF_DEFAULTONLY | CMF_VERBSONLY)) != 0) return 0;

    InsertMenuW(menu, indexMenu, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);

    // The menu copies the text; the literal itself is never written.
    wchar_t text[sizeof kMenuItemText / sizeof kMenuItemText[0]];
    std::copy(std::begin(kMenuItemText), std::end(kMenuItemText), text);
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.wID = idCmdFirst;
    item.hSubMenu = nullptr;
    item.dwTypeData = text;
    InsertMenuItemW(menu, indexMenu + 1, TRUE, &item);
    if (bitmap != nullptr) SetMenuItemBitmaps(menu, indexMenu + 1, MF_BYPOSITION, bitmap, nullptr);

    InsertMenuW(menu, indexMenu + 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    return 1;
}

}  // namespace lumbo
