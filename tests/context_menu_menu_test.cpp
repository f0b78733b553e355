// QueryContextMenu on real popup menus, read back item by item, and the
// bitmap resource as the build embeds it.
#include <string>

#include <gtest/gtest.h>

#include "server/module_instance.h"
#include "shellext/context_menu.h"
#include "shellext/menu_items.h"
#include "store/unique_handle.h"
#include "tests/support/shell_selection.h"
#include "tests/support/test_com_object.h"

namespace lumbo {
namespace {

using Handler = test::TestComObject<ClumboShlExt, IShellExtInit, IContextMenu>;

// A popup menu that already holds `count` items of the host.
UniqueMenu HostMenu(int count) {
    UniqueMenu menu(CreatePopupMenu());
    for (int i = 0; i < count; ++i)
        AppendMenuW(menu.Get(), MF_STRING, 1 + i, (L"host " + std::to_wstring(i)).c_str());
    return menu;
}

struct ItemRead {
    UINT type;
    UINT id;
    std::wstring text;
    HBITMAP unchecked;
    HBITMAP checked;
    HMENU submenu;
    UINT state;
};

ItemRead ReadItem(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_CHECKMARKS | MIIM_SUBMENU | MIIM_STATE;
    info.dwTypeData = text;
    info.cch = 128;
    EXPECT_TRUE(GetMenuItemInfoW(menu, position, TRUE, &info));
    return {info.fType, info.wID, text, info.hbmpUnchecked, info.hbmpChecked, info.hSubMenu, info.fState};
}

void ExpectOurEntries(HMENU menu, UINT index, UINT idCmdFirst, bool withBitmap) {
    const ItemRead before = ReadItem(menu, index);
    EXPECT_EQ(before.type & MFT_SEPARATOR, static_cast<UINT>(MFT_SEPARATOR));
    const ItemRead item = ReadItem(menu, index + 1);
    EXPECT_EQ(item.type, static_cast<UINT>(MFT_STRING));
    EXPECT_EQ(item.id, idCmdFirst);
    EXPECT_EQ(item.text, std::wstring(L" \u53D1\u9001\u5230Orvek\u7F51\u76D8"));
    EXPECT_EQ(item.submenu, nullptr);
    EXPECT_EQ(item.state & (MFS_CHECKED | MFS_DISABLED), 0u);
    EXPECT_EQ(item.checked, nullptr);
    if (withBitmap) {
        ASSERT_NE(item.unchecked, nullptr);
        BITMAP bitmap = {};
        ASSERT_EQ(GetObjectW(item.unchecked, sizeof bitmap, &bitmap), static_cast<int>(sizeof bitmap));
        EXPECT_EQ(bitmap.bmWidth, 16);
        EXPECT_EQ(bitmap.bmHeight, 16);
    } else {
        EXPECT_EQ(item.unchecked, nullptr);
    }
    const ItemRead after = ReadItem(menu, index + 2);
    EXPECT_EQ(after.type & MFT_SEPARATOR, static_cast<UINT>(MFT_SEPARATOR));
}

TEST(MenuTest, AddsOneItemBetweenSeparatorsUnlessOnlyDefaultsOrVerbsAreAsked) {
    struct Case {
        const char* name;
        UINT flags;
        HRESULT expected;
    };
    const Case cases[] = {
        {"normal", CMF_NORMAL, 1},
        {"extended", CMF_EXTENDEDVERBS, 1},
        {"explore", CMF_EXPLORE, 1},
        {"default only", CMF_DEFAULTONLY, S_OK},
        {"verbs only", CMF_VERBSONLY, S_OK},
        {"verbs only among others", CMF_VERBSONLY | CMF_EXPLORE, S_OK},
    };
    const test::ComPtr<Handler> handler(Handler::Create());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UniqueMenu menu = HostMenu(7);
        EXPECT_EQ(handler->QueryContextMenu(menu.Get(), 5, 100, 200, c.flags), c.expected);
        if (c.expected == S_OK) {
            EXPECT_EQ(GetMenuItemCount(menu.Get()), 7);
            continue;
        }
        ASSERT_EQ(GetMenuItemCount(menu.Get()), 10);
        ExpectOurEntries(menu.Get(), 5, 100, true);
        // The host's items around ours keep their order.
        EXPECT_EQ(ReadItem(menu.Get(), 4).id, 5u);
        EXPECT_EQ(ReadItem(menu.Get(), 8).id, 6u);
    }

    // A second query inserts the entries again where asked.
    const UniqueMenu menu = HostMenu(0);
    EXPECT_EQ(handler->QueryContextMenu(menu.Get(), 0, 7, 7, CMF_NORMAL), 1);
    EXPECT_EQ(handler->QueryContextMenu(menu.Get(), 3, 8, 8, CMF_NORMAL), 1);
    ASSERT_EQ(GetMenuItemCount(menu.Get()), 6);
    ExpectOurEntries(menu.Get(), 0, 7, true);
    ExpectOurEntries(menu.Get(), 3, 8, true);
}

TEST(MenuTest, BitmapResourceIsA16By16TrueColourChineseBitmap) {
    const HRSRC resource = FindResourceExW(GetModuleHandleW(nullptr), RT_BITMAP, MAKEINTRESOURCEW(kMenuBitmapId),
                                           MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    ASSERT_NE(resource, nullptr);
    ASSERT_GE(SizeofResource(GetModuleHandleW(nullptr), resource), sizeof(BITMAPINFOHEADER) + 16 * 16 * 3);
    const auto* header =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(GetModuleHandleW(nullptr), resource)));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, 16);
    EXPECT_EQ(header->biHeight, 16);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
}

TEST(MenuTest, ItemWithoutBitmapWhenTheResourceIsAbsent) {
    // A module of ours that carries no bitmap 204.
    const std::wstring helper = test::ProgramFolder() + L"\\clipboard_reader.exe";
    const HMODULE module = LoadLibraryExW(helper.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(FindResourceW(module, MAKEINTRESOURCEW(kMenuBitmapId), RT_BITMAP), nullptr);
    SetModuleInstance(module);
    {
        const test::ComPtr<Handler> handler(Handler::Create());
        const UniqueMenu menu = HostMenu(2);
        EXPECT_EQ(handler->QueryContextMenu(menu.Get(), 1, 40, 40, CMF_NORMAL), 1);
        ASSERT_EQ(GetMenuItemCount(menu.Get()), 5);
        ExpectOurEntries(menu.Get(), 1, 40, false);
    }
    SetModuleInstance(nullptr);
    FreeLibrary(module);
}

TEST(MenuTest, NoCommandStringsAreGiven) {
    const test::ComPtr<Handler> handler(Handler::Create());
    for (const UINT type : {GCS_HELPTEXTW, GCS_VERBW, GCS_VALIDATEW, GCS_HELPTEXTA, GCS_VERBA, GCS_VALIDATEA}) {
        for (const UINT_PTR id : {0u, 1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " id " << id);
            char buffer[64];
            std::fill(std::begin(buffer), std::end(buffer), '#');
            EXPECT_EQ(handler->GetCommandString(id, type, nullptr, buffer, 32), E_INVALIDARG);
            EXPECT_EQ(std::string(buffer, 64), std::string(64, '#'));
        }
    }
}

}  // namespace
}  // namespace lumbo
