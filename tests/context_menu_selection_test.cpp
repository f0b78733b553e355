// Initialize on real data objects naming real items of a scratch tree, with the
// client's event and "Target" value in the test prefix's registry.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shellext/context_menu.h"
#include "store/client_contract.h"
#include "tests/support/client_fixture.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell_selection.h"
#include "tests/support/test_com_object.h"

namespace lumbo {
namespace {

using Handler = test::TestComObject<ClumboShlExt, IShellExtInit, IContextMenu>;

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { OleInitialize(nullptr); }
    void TearDown() override { OleUninitialize(); }
};
const auto* const g_com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFile(m_root / L"Sync\\inside.txt", "in");
        test::WriteFile(m_root / L"out1.txt", "1");
        test::WriteFile(m_root / L"out2.txt", "2");
        test::WriteFile(m_root / L"other\\x.txt", "x");
        test::CreateFolders(m_root / L"Sync2");
    }

    HRESULT Initialize(IDataObject* data) {
        test::ComPtr<IDataObject> owned(data);
        test::ComPtr<IShellExtInit> init;
        EXPECT_EQ(m_handler->QueryInterface(IID_IShellExtInit, init.OutVoid()), S_OK);
        return init->Initialize(nullptr, owned.Get(), nullptr);
    }

    test::ScratchFolder m_root;
    test::SyncFolderKey m_syncKey;
    test::ComPtr<Handler> m_handler{Handler::Create()};
};

TEST_F(SelectionTest, RefusesItemsInsideTheSynchronisedFolderOnly) {
    const test::ClientEvent client;
    const std::wstring R = m_root.Path();
    struct Case {
        const char* name;
        std::wstring target;
        std::vector<std::wstring> selection;
        bool fromShell;  // the shell's own data object (one folder), else ours
        HRESULT expected;
    };
    const Case cases[] = {
        {"two files outside", R + L"\\Sync", {R + L"\\out1.txt", R + L"\\out2.txt"}, true, S_OK},
        {"one inside among others",
         R + L"\\Sync",
         {R + L"\\out1.txt", R + L"\\Sync\\inside.txt", R + L"\\other\\x.txt"},
         false,
         E_INVALIDARG},
        {"inside only", R + L"\\Sync\\", {R + L"\\Sync\\inside.txt"}, true, E_INVALIDARG},
        {"the folder itself", R + L"\\Sync", {R + L"\\Sync"}, true, E_INVALIDARG},
        {"the folder itself, target with backslash", R + L"\\Sync\\", {R + L"\\Sync"}, true, E_INVALIDARG},
        {"its parent", R + L"\\Sync", {R}, true, S_OK},
        {"other letter case", R + L"\\Sync\\", {R + L"\\SYNC\\inside.txt"}, false, S_OK},
        {"look-alike sibling", R + L"\\Sync\\", {R + L"\\Sync2"}, true, S_OK},
        {"look-alike sibling and a file", R + L"\\Sync", {R + L"\\Sync2", R + L"\\out1.txt"}, true, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_syncKey.SetTarget(c.target);
        IDataObject* data =
            c.fromShell ? test::CreateShellDataObject(c.selection) : test::CreateDropFilesDataObject(c.selection);
        EXPECT_EQ(Initialize(data), c.expected);
    }
}

TEST_F(SelectionTest, RefusesWithoutClientSelectionOrUsableTarget) {
    const std::wstring outside = m_root / L"out1.txt";
    m_syncKey.SetTarget(m_root / L"Sync");

    // No client: refused, and the probe leaves no event behind.
    ASSERT_FALSE(test::ClientEventExists());
    EXPECT_EQ(Initialize(test::CreateShellDataObject({outside})), E_INVALIDARG);
    EXPECT_FALSE(test::ClientEventExists());

    const test::ClientEvent client;
    EXPECT_EQ(Initialize(test::CreateShellDataObject({outside})), S_OK);

    // No data object to read a selection from, or one that names nothing
    // (Wine counts an empty drop list as one entry that reads as nothing).
    EXPECT_EQ(Initialize(nullptr), E_INVALIDARG);
    EXPECT_EQ(Initialize(test::CreateDropFilesDataObject({})), E_INVALIDARG);

    struct Case {
        const char* name;
        std::optional<std::wstring> target;  // nothing: key without "Target"
        bool keyExists;
        HRESULT expected;
    };
    const std::wstring longest = L"C:\\" + std::wstring(256, L'a');  // 259 units: fits with its terminator
    const Case cases[] = {
        {"key missing", std::nullopt, false, E_INVALIDARG},
        {"value missing", std::nullopt, true, E_INVALIDARG},
        {"empty, would be the drive root", L"", true, E_INVALIDARG},
        {"259 units", longest, true, S_OK},
        {"260 units", longest + L"b", true, E_INVALIDARG},
        {"600 units", std::wstring(600, L'c'), true, E_INVALIDARG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSyncFolderKey);
        if (c.target) m_syncKey.SetTarget(*c.target);
        else if (c.keyExists) m_syncKey.SetOtherValueOnly();
        EXPECT_EQ(Initialize(test::CreateShellDataObject({outside})), c.expected);
    }
}

// Sets an environment variable of this process for one scope.
class EnvironmentVariable {
public:
    EnvironmentVariable(const wchar_t* name, const std::wstring& value) : m_name(name) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~EnvironmentVariable() { SetEnvironmentVariableW(m_name, nullptr); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    const wchar_t* m_name;
};

TEST_F(SelectionTest, ATargetStoredForExpansionIsExpandedOtherTypesAreRefused) {
    const test::ClientEvent client;
    const EnvironmentVariable root(L"LUMBO_TEST_ROOT", m_root.Path());
    // Short as written, 300 units once expanded.
    const EnvironmentVariable longFolder(L"LUMBO_TEST_LONG", L"C:\\" + std::wstring(297, L'l'));
    // 259 units once expanded: fits with its terminator.
    const EnvironmentVariable longestFolder(L"LUMBO_TEST_LONGEST", L"C:\\" + std::wstring(256, L'm'));
    const std::wstring inside = m_root / L"Sync\\inside.txt";
    const std::wstring outside = m_root / L"out1.txt";

    const auto expandable = [this](const std::wstring& text) {
        m_syncKey.SetRawTarget(REG_EXPAND_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    };
    struct Case {
        const char* name;
        std::function<void()> setTarget;
        HRESULT forInside;
        HRESULT forOutside;
    };
    const DWORD number = 7;
    const wchar_t multi[] = L"C:\\Sync\0\0";
    const Case cases[] = {
        // Refusing the item inside proves the expanded folder is the one compared.
        {"expanded", [&] { expandable(L"%LUMBO_TEST_ROOT%\\Sync"); }, E_INVALIDARG, S_OK},
        {"expanded, with its backslash", [&] { expandable(L"%lumbo_test_root%\\Sync\\"); }, E_INVALIDARG, S_OK},
        {"no variable in it", [&] { expandable(m_root / L"Sync"); }, E_INVALIDARG, S_OK},
        {"an unset variable stays as written", [&] { expandable(L"%LUMBO_TEST_UNSET%\\Sync"); }, S_OK, S_OK},
        {"259 units once expanded", [&] { expandable(L"%LUMBO_TEST_LONGEST%"); }, S_OK, S_OK},
        {"300 units once expanded", [&] { expandable(L"%LUMBO_TEST_LONG%"); }, E_INVALIDARG, E_INVALIDARG},
        {"empty", [&] { expandable(L""); }, E_INVALIDARG, E_INVALIDARG},
        {"REG_DWORD", [&] { m_syncKey.SetRawTarget(REG_DWORD, &number, sizeof number); }, E_INVALIDARG,
         E_INVALIDARG},
        {"REG_MULTI_SZ", [&] { m_syncKey.SetRawTarget(REG_MULTI_SZ, multi, sizeof multi); }, E_INVALIDARG,
         E_INVALIDARG},
        {"REG_BINARY", [&] { m_syncKey.SetRawTarget(REG_BINARY, multi, sizeof multi); }, E_INVALIDARG,
         E_INVALIDARG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.setTarget();
        EXPECT_EQ(Initialize(test::CreateDropFilesDataObject({inside})), c.forInside);
        EXPECT_EQ(Initialize(test::CreateShellDataObject({outside})), c.forOutside);
    }
}

}  // namespace
}  // namespace lumbo
