// The send command of Windows 11's own context menu through IExplorerCommand,
// with the shell's own item arrays of real items of a scratch tree, beside the
// classic handler asked about the same selections: the two must offer and copy
// alike.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "shellext/context_menu.h"
#include "shellext/explorer_command.h"
#include "store/client_contract.h"
#include "tests/support/client_fixture.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell_selection.h"
#include "tests/support/test_com_object.h"

namespace lumbo {
namespace {

using Command = test::TestComObject<ClumboExplorerCommand, IExplorerCommand, IObjectWithSite>;
using Handler = test::TestComObject<ClumboShlExt, IShellExtInit, IContextMenu>;

// Items no file-system path names: the shell namespace's own folders.
constexpr wchar_t kThisComputer[] = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
constexpr wchar_t kControlPanel[] = L"::{21EC2020-3AEA-1069-A2DD-08002B30309D}";

// Every file below `folder`, by relative path, with its bytes.
std::map<std::wstring, std::string> TreeContent(const std::wstring& folder, const std::wstring& relative = L"") {
    std::map<std::wstring, std::string> content;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\" + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return content;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            content[relative + name + L"\\"] = "";
            for (const auto& entry : TreeContent(folder, relative + name + L"\\")) content.insert(entry);
        } else {
            content[relative + name] = test::ReadFileBytes(folder + L"\\" + relative + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return content;
}

class ExplorerCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFile(m_root / L"Sync\\inside.txt", "in");
        test::WriteFile(m_root / L"out1.txt", "1");
        test::WriteFile(m_root / L"out2.txt", "2");
        test::CreateFolders(m_root / L"Sync2");
    }

    // The command's state for the items, asked as Explorer asks it first
    // (not ready to wait) and then again (ready to wait); both must agree.
    EXPCMDSTATE State(IShellItemArray* items) {
        test::ComPtr<IShellItemArray> owned(items);
        EXPCMDSTATE quick = 0xFFFF;
        EXPCMDSTATE slow = 0xFFFF;
        EXPECT_EQ(m_command->GetState(owned.Get(), FALSE, &quick), S_OK);
        EXPECT_EQ(m_command->GetState(owned.Get(), TRUE, &slow), S_OK);
        EXPECT_EQ(quick, slow);
        return quick;
    }

    HRESULT Invoke(IShellItemArray* items) {
        test::ComPtr<IShellItemArray> owned(items);
        return m_command->Invoke(owned.Get(), nullptr);
    }

    // The classic handler's Initialize for the same paths (a drop list, which
    // may name items of several folders), and its copy command when it
    // offered its item.
    HRESULT ClassicSend(const std::vector<std::wstring>& paths, bool copy) {
        test::ComPtr<Handler> handler(Handler::Create());
        test::ComPtr<IDataObject> data(test::CreateDropFilesDataObject(paths));
        HRESULT result = handler->Initialize(nullptr, data.Get(), nullptr);
        if (result != S_OK || !copy) return result;
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(0);
        return handler->InvokeCommand(&info);
    }

    test::ScratchFolder m_root;
    test::SyncFolderKey m_syncKey;
    test::ComPtr<Command> m_command{Command::Create()};
};

TEST_F(ExplorerCommandTest, ShownExactlyWhereTheClassicHandlerOffersItsItem) {
    const std::wstring R = m_root.Path();
    const std::wstring sync = R + L"\\Sync";
    const std::wstring inside = R + L"\\Sync\\inside.txt";
    const std::wstring out1 = R + L"\\out1.txt";
    const std::wstring out2 = R + L"\\out2.txt";
    struct Case {
        const char* name;
        bool clientRuns;
        std::function<void()> setTarget;
        std::vector<std::wstring> selection;
        EXPCMDSTATE expected;
    };
    const auto target = [this](const std::wstring& folder) { return [this, folder] { m_syncKey.SetTarget(folder); }; };
    const auto expandable = [this](const std::wstring& text) {
        return [this, text] {
            m_syncKey.SetRawTarget(REG_EXPAND_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        };
    };
    SetEnvironmentVariableW(L"LUMBO_TEST_ROOT", R.c_str());
    SetEnvironmentVariableW(L"LUMBO_TEST_LONG", (L"C:\\" + std::wstring(297, L'l')).c_str());
    const Case cases[] = {
        {"two files outside", true, target(sync), {out1, out2}, ECS_ENABLED},
        {"one inside among others", true, target(sync), {out1, inside}, ECS_HIDDEN},
        {"inside only, target with backslash", true, target(sync + L"\\"), {inside}, ECS_HIDDEN},
        {"the folder itself", true, target(sync), {sync}, ECS_HIDDEN},
        {"its parent", true, target(sync), {R}, ECS_ENABLED},
        {"look-alike sibling", true, target(sync + L"\\"), {R + L"\\Sync2"}, ECS_ENABLED},
        {"client absent", false, target(sync), {out1}, ECS_HIDDEN},
        {"Target missing", true, [this] { m_syncKey.SetOtherValueOnly(); }, {out1}, ECS_HIDDEN},
        {"Target empty", true, target(L""), {out1}, ECS_HIDDEN},
        {"Target of 260 units", true, target(L"C:\\" + std::wstring(257, L'a')), {out1}, ECS_HIDDEN},
        {"Target expanded, item inside", true, expandable(L"%LUMBO_TEST_ROOT%\\Sync"), {inside}, ECS_HIDDEN},
        {"Target expanded, item outside", true, expandable(L"%LUMBO_TEST_ROOT%\\Sync"), {out1}, ECS_ENABLED},
        {"Target of 300 units once expanded", true, expandable(L"%LUMBO_TEST_LONG%"), {out1}, ECS_HIDDEN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<test::ClientEvent> client;
        if (c.clientRuns) client.emplace();
        test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSyncFolderKey);
        c.setTarget();
        EXPECT_EQ(State(test::CreateShellItemArray(c.selection)), c.expected);
        EXPECT_EQ(ClassicSend(c.selection, false), c.expected == ECS_ENABLED ? S_OK : E_INVALIDARG);
    }
    SetEnvironmentVariableW(L"LUMBO_TEST_ROOT", nullptr);
    SetEnvironmentVariableW(L"LUMBO_TEST_LONG", nullptr);
}

TEST_F(ExplorerCommandTest, HiddenWithoutItemsOrForItemsWithoutAFileSystemPath) {
    const test::ClientEvent client;
    m_syncKey.SetTarget(m_root / L"Sync");
    const std::wstring outside = m_root / L"out1.txt";
    ASSERT_EQ(State(test::CreateShellItemArray({outside})), ECS_ENABLED);

    EXPECT_EQ(State(nullptr), ECS_HIDDEN);
    EXPECT_EQ(State(test::CreateEmptyShellItemArray()), ECS_HIDDEN);
    EXPECT_EQ(State(test::CreateShellItemArray({kThisComputer})), ECS_HIDDEN);
    EXPECT_EQ(State(test::CreateShellItemArray({kControlPanel})), ECS_HIDDEN);
    EXPECT_EQ(State(test::CreateShellItemArray({outside, kControlPanel})), ECS_HIDDEN);
    EXPECT_EQ(m_command->GetState(nullptr, TRUE, nullptr), E_POINTER);
}

TEST_F(ExplorerCommandTest, CopiesWhatTheClassicCommandCopies) {
    const test::ClientEvent client;
    const std::wstring classicSync = m_root / L"ClassicSync";
    const std::wstring commandSync = m_root / L"CommandSync";
    for (const std::wstring& sync : {classicSync, commandSync}) test::WriteFile(sync + L"\\existing.txt", "kept");
    test::WriteFile(m_root / L"src\\a.txt", "alpha");
    test::WriteFile(m_root / L"src\\tree\\sub\\deep.txt", "deep");
    test::WriteFile(m_root / L"src\\tree\\top.txt", "top");
    test::WriteFile(m_root / L"src\\existing.txt", "new");
    // A name beyond the ANSI code page: the copy works on UTF-16 paths.
    test::WriteFile(m_root / L"src\\\u7F51\u76D8 \U0001F600.txt", "wide");
    const std::vector<std::wstring> selection = {m_root / L"src\\a.txt", m_root / L"src\\tree",
                                                 m_root / L"src\\existing.txt",
                                                 m_root / L"src\\\u7F51\u76D8 \U0001F600.txt"};

    m_syncKey.SetTarget(classicSync);
    ASSERT_EQ(ClassicSend(selection, true), S_OK);
    m_syncKey.SetTarget(commandSync);
    ASSERT_EQ(Invoke(test::CreateShellItemArray(selection)), S_OK);

    const std::map<std::wstring, std::string> copied = TreeContent(commandSync);
    EXPECT_EQ(copied, TreeContent(classicSync));
    const std::map<std::wstring, std::string> expected = {
        {L"a.txt", "alpha"},       {L"existing.txt", "kept"},   {L"tree\\", ""},
        {L"tree\\sub\\", ""},      {L"tree\\sub\\deep.txt", "deep"}, {L"tree\\top.txt", "top"},
        {L"\u7F51\u76D8 \U0001F600.txt", "wide"},
    };
    EXPECT_EQ(copied, expected);
    EXPECT_EQ(test::ReadFileBytes(m_root / L"src\\a.txt"), "alpha") << "a copy, not a move";
}

TEST_F(ExplorerCommandTest, RefusesWhatTheClassicCommandRefusesAndCopiesNothing) {
    const std::wstring sync = m_root / L"Sync";
    const std::wstring outside = m_root / L"out1.txt";
    const std::map<std::wstring, std::string> before = TreeContent(sync);
    struct Case {
        const char* name;
        bool clientRuns;
        bool targetSet;
        std::function<IShellItemArray*()> items;
        std::vector<std::wstring> classicSelection;  // the same selection for the classic handler
    };
    const Case cases[] = {
        {"no array", true, true, [] { return nullptr; }, {}},
        {"an empty array", true, true, [] { return test::CreateEmptyShellItemArray(); }, {}},
        {"no synchronised folder", true, false, [&] { return test::CreateShellItemArray({outside}); }, {outside}},
        {"client absent", false, true, [&] { return test::CreateShellItemArray({outside}); }, {outside}},
        {"an item inside", true, true, [&] { return test::CreateShellItemArray({outside, sync + L"\\inside.txt"}); },
         {outside, sync + L"\\inside.txt"}},
        {"the folder itself", true, true, [&] { return test::CreateShellItemArray({outside, sync}); }, {outside, sync}},
        {"an item without a file-system path", true, true,
         [&] { return test::CreateShellItemArray({outside, kThisComputer}); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<test::ClientEvent> client;
        if (c.clientRuns) client.emplace();
        test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSyncFolderKey);
        if (c.targetSet) m_syncKey.SetTarget(sync);
        EXPECT_EQ(Invoke(c.items()), E_INVALIDARG);
        EXPECT_EQ(ClassicSend(c.classicSelection, true), E_INVALIDARG);
        EXPECT_EQ(TreeContent(sync), before);
    }
}

TEST_F(ExplorerCommandTest, TitleIconFlagsAndNames) {
    LPWSTR title = nullptr;
    ASSERT_EQ(m_command->GetTitle(nullptr, &title), S_OK);
    EXPECT_STREQ(title, L"\u53D1\u9001\u5230Orvek\u7F51\u76D8");
    CoTaskMemFree(title);

    LPWSTR tip = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(m_command->GetToolTip(nullptr, &tip), E_NOTIMPL);
    EXPECT_EQ(tip, nullptr);
    EXPCMDFLAGS flags = 0xFFFF;
    ASSERT_EQ(m_command->GetFlags(&flags), S_OK);
    EXPECT_EQ(flags, static_cast<EXPCMDFLAGS>(ECF_DEFAULT));
    IEnumExplorerCommand* subCommands = reinterpret_cast<IEnumExplorerCommand*>(1);
    EXPECT_EQ(m_command->EnumSubCommands(&subCommands), E_NOTIMPL);
    EXPECT_EQ(subCommands, nullptr);

    // One fixed name, whichever object is asked.
    GUID first = GUID_NULL;
    GUID second = GUID_NULL;
    ASSERT_EQ(m_command->GetCanonicalName(&first), S_OK);
    ASSERT_EQ(test::ComPtr<Command>(Command::Create())->GetCanonicalName(&second), S_OK);
    EXPECT_FALSE(IsEqualGUID(first, GUID_NULL));
    EXPECT_TRUE(IsEqualGUID(first, second));

    for (HRESULT result : {m_command->GetTitle(nullptr, nullptr), m_command->GetIcon(nullptr, nullptr),
                           m_command->GetCanonicalName(nullptr), m_command->GetFlags(nullptr)})
        EXPECT_EQ(result, E_POINTER);
}

TEST_F(ExplorerCommandTest, TheIconLocationLoadsAtEverySize) {
    LPWSTR location = nullptr;
    ASSERT_EQ(m_command->GetIcon(nullptr, &location), S_OK);
    const std::wstring text = location;
    CoTaskMemFree(location);
    // Here the class lives in the test program, which carries the resources.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(text, std::wstring(self) + L",-" + std::to_wstring(IDI_SEND_COMMAND));

    const std::size_t comma = text.rfind(L',');
    ASSERT_NE(comma, std::wstring::npos);
    const int id = -std::stoi(text.substr(comma + 1));
    HMODULE file = LoadLibraryExW(text.substr(0, comma).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(file, nullptr);

    // The group holds exactly these sizes, each 32 bits with alpha.
    HRSRC group = FindResourceW(file, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(file, group)));
    const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = directory + 6 + 14 * i;  // GRPICONDIRENTRY
        sizes.push_back(entry[0]);
        EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 32) << "bit count of entry " << i;
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 48}));

    for (int size : {16, 20, 24, 32, 48}) {
        SCOPED_TRACE(size);
        HICON icon = static_cast<HICON>(LoadImageW(file, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour = {};
        GetObjectW(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    FreeLibrary(file);
}

TEST_F(ExplorerCommandTest, KeepsTheSiteExplorerHandsIt) {
    void* site = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_command->GetSite(IID_IUnknown, &site), E_FAIL);
    EXPECT_EQ(site, nullptr);

    test::ComPtr<Command> other(Command::Create());
    ASSERT_EQ(m_command->SetSite(static_cast<IExplorerCommand*>(other.Get())), S_OK);
    test::ComPtr<IExplorerCommand> back;
    ASSERT_EQ(m_command->GetSite(IID_IExplorerCommand, back.OutVoid()), S_OK);
    EXPECT_EQ(back.Get(), static_cast<IExplorerCommand*>(other.Get()));
    back.Reset();
    EXPECT_EQ(other->AddRef(), 3u) << "the site is held once";
    other->Release();

    ASSERT_EQ(m_command->SetSite(nullptr), S_OK);
    EXPECT_EQ(other->AddRef(), 2u) << "a cleared site is released";
    other->Release();
    EXPECT_EQ(m_command->GetSite(IID_IUnknown, &site), E_FAIL);
}

}  // namespace
}  // namespace lumbo
