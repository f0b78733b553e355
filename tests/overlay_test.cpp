// The synchronised and failed overlays: their decisions on a real database and
// real folders, and the handlers reached through IShellIconOverlayIdentifier.
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/module_instance.h"
#include "shellext/overlay_decisions.h"
#include "shellext/overlay_frame.h"
#include "shellext/overlay_handlers.h"
#include "store/status_store.h"
#include "tests/support/installed_client.h"
#include "tests/support/test_com_object.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

using test::ComPtr;
using test::StatusRow;

// A synchronised folder of real items beside the client's install folder.
class OverlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* folder : {L"Sync\\docs\\a\\b", L"Sync\\docsx", L"Sync\\d_1", L"Sync\\dA1", L"Sync\\done"})
            test::CreateFolders(m_tree / folder);
        test::WriteFile(m_tree / L"Sync\\a.txt", "a");
    }

    std::string P(const std::wstring& relative) const { return WideToUtf8(m_tree / relative); }
    std::wstring W(const std::wstring& relative) const { return m_tree / relative; }

    void Write(std::vector<StatusRow> rows) { m_client.WriteDatabase(test::ClientDatabase::WithStatusRows(rows)); }

    test::InstalledClient m_client;
    test::ScratchFolder m_tree;
};

template <class Handler>
HRESULT AskThroughCom(const std::wstring& path, DWORD attributes = 0) {
    ComPtr<IShellIconOverlayIdentifier> overlay(
        test::TestComObject<Handler, IShellIconOverlayIdentifier>::Create());
    return overlay->IsMemberOf(path.c_str(), attributes);
}

struct BadgeCase {
    const char* name;
    std::vector<StatusRow> rows;
    std::wstring item;
    HRESULT synchronised;  // ClumboExt0
    HRESULT failed;        // ClumboExt2
};

TEST_F(OverlayTest, BadgesFollowTheDatabase) {
    const std::vector<BadgeCase> cases = {
        {"file listed synchronised", {{P(L"Sync\\a.txt"), 0}}, L"Sync\\a.txt", S_OK, S_FALSE},
        {"file listed failed", {{P(L"Sync\\a.txt"), 2}}, L"Sync\\a.txt", S_FALSE, S_OK},
        {"file listed pending", {{P(L"Sync\\a.txt"), 1}}, L"Sync\\a.txt", S_FALSE, S_FALSE},
        {"file not listed", {{P(L"Sync\\b.txt"), 0}}, L"Sync\\a.txt", S_FALSE, S_FALSE},
        {"other letter case", {{P(L"Sync\\a.txt"), 0}, {P(L"Sync\\A.txt"), 2}}, L"Sync\\A.TXT", S_FALSE, S_FALSE},
        {"trailing backslash", {{P(L"Sync\\docs"), 0}, {P(L"Sync\\docs"), 2}}, L"Sync\\docs\\", S_FALSE, S_FALSE},
        {"rows of both statuses", {{P(L"Sync\\a.txt"), 0}, {P(L"Sync\\a.txt"), 2}}, L"Sync\\a.txt", S_OK, S_OK},
        {"synchronised and pending rows of a file", {{P(L"Sync\\a.txt"), 0}, {P(L"Sync\\a.txt"), 1}},
         L"Sync\\a.txt", S_OK, S_FALSE},
        {"folder with pending entry two levels down", {{P(L"Sync\\docs"), 0}, {P(L"Sync\\docs\\a\\x.doc"), 1}},
         L"Sync\\docs", S_FALSE, S_FALSE},
        {"folder whose entries below are synchronised or failed",
         {{P(L"Sync\\docs"), 0}, {P(L"Sync\\docs\\a\\x.doc"), 2}, {P(L"Sync\\docs\\y"), 0}}, L"Sync\\docs", S_OK,
         S_FALSE},
        {"pending entry under a look-alike sibling", {{P(L"Sync\\docs"), 0}, {P(L"Sync\\docsx\\y"), 1}},
         L"Sync\\docs", S_OK, S_FALSE},
        {"pending entry under an underscore look-alike", {{P(L"Sync\\d_1"), 0}, {P(L"Sync\\dA1\\y"), 1}},
         L"Sync\\d_1", S_OK, S_FALSE},
        {"folder listed but gone from disk", {{P(L"Sync\\gone"), 0}, {P(L"Sync\\gone\\x"), 1}}, L"Sync\\gone", S_OK,
         S_FALSE},
        {"failed path gone from disk", {{P(L"Sync\\gone.txt"), 2}}, L"Sync\\gone.txt", S_FALSE, S_OK},
        {"folder not listed holding a failed file", {{P(L"Sync\\done\\x"), 2}}, L"Sync\\done", S_FALSE, S_FALSE},
        {"an apostrophe in the name", {{P(L"Sync\\Bob's report.docx"), 0}}, L"Sync\\Bob's report.docx", S_OK,
         S_FALSE},
        {"non-ascii letters", {{P(L"Sync\\\u540C\u6B65 caf\u00E9.txt"), 2}}, L"Sync\\\u540C\u6B65 caf\u00E9.txt",
         S_FALSE, S_OK},
    };
    m_client.Start();
    for (const BadgeCase& c : cases) {
        Write(c.rows);
        EXPECT_EQ(AskThroughCom<ClumboExt0>(W(c.item)), c.synchronised) << c.name;
        EXPECT_EQ(AskThroughCom<ClumboExt2>(W(c.item)), c.failed) << c.name;
    }
}

TEST_F(OverlayTest, AttributesFromExplorerChangeNothing) {
    m_client.Start();
    Write({{P(L"Sync\\a.txt"), 0}, {P(L"Sync\\docs"), 2}});
    for (const DWORD attributes : {0ul, 0xFFFFFFFFul, static_cast<unsigned long>(FILE_ATTRIBUTE_DIRECTORY)}) {
        EXPECT_EQ(AskThroughCom<ClumboExt0>(W(L"Sync\\a.txt"), attributes), S_OK);
        EXPECT_EQ(AskThroughCom<ClumboExt2>(W(L"Sync\\docs"), attributes), S_OK);
        EXPECT_EQ(AskThroughCom<ClumboExt2>(W(L"Sync\\a.txt"), attributes), S_FALSE);
    }
}

TEST_F(OverlayTest, NoClientNoBadge) {
    Write({{P(L"Sync\\a.txt"), 0}, {P(L"Sync\\b.txt"), 2}});
    EXPECT_EQ(AskThroughCom<ClumboExt0>(W(L"Sync\\a.txt")), S_FALSE);
    EXPECT_EQ(AskThroughCom<ClumboExt2>(W(L"Sync\\b.txt")), S_FALSE);
    EXPECT_FALSE(test::ClientEventExists());
    m_client.Start();
    EXPECT_EQ(AskThroughCom<ClumboExt0>(W(L"Sync\\a.txt")), S_OK);
    m_client.Stop();
    EXPECT_EQ(AskThroughCom<ClumboExt0>(W(L"Sync\\a.txt")), S_FALSE);
}

TEST_F(OverlayTest, NoDatabaseNoBadge) {
    m_client.Start();
    EXPECT_EQ(AskThroughCom<ClumboExt0>(W(L"Sync\\a.txt")), S_FALSE) << "database missing";
    EXPECT_FALSE(test::Exists(m_client.DatabaseFile())) << "the database must not be created";

    test::ClientDatabase noTables;
    noTables.withStatusTable = false;
    noTables.withConfigTable = false;
    m_client.WriteDatabase(noTables);
    EXPECT_EQ(AskThroughCom<ClumboExt0>(W(L"Sync\\a.txt")), S_FALSE) << "database without tables";
    EXPECT_EQ(AskThroughCom<ClumboExt2>(W(L"Sync\\a.txt")), S_FALSE) << "database without tables";

    Write({{P(L"Sync\\a.txt"), 0}});
    m_client.InstallKey().SetOtherValueOnly();
    EXPECT_EQ(AskThroughCom<ClumboExt0>(W(L"Sync\\a.txt")), S_FALSE) << "install folder unreadable";
}

TEST_F(OverlayTest, NoExceptionLeavesTheQuery) {
    m_client.Start();
    Write({});
    const OverlayDecision throwsConversionError = [](const OverlayQuery&) -> bool {
        throw ConversionError("Error in conversion.");
    };
    const OverlayDecision throwsBadAlloc = [](const OverlayQuery&) -> bool { throw std::bad_alloc(); };
    const OverlayDecision throwsAnything = [](const OverlayQuery&) -> bool { throw 42; };
    const OverlayDecision claims = [](const OverlayQuery& query) {
        return query.store != nullptr && !query.databasePath.empty() && query.path != nullptr;
    };
    EXPECT_EQ(OverlayIsMemberOf(L"C:\\x", throwsConversionError), S_FALSE);
    EXPECT_EQ(OverlayIsMemberOf(L"C:\\x", throwsBadAlloc), S_FALSE);
    EXPECT_EQ(OverlayIsMemberOf(L"C:\\x", throwsAnything), S_FALSE);
    EXPECT_EQ(OverlayIsMemberOf(L"C:\\x", claims), S_OK) << "the decision is reached and believed";
    EXPECT_EQ(OverlayIsMemberOf(nullptr, claims), S_FALSE);
    EXPECT_EQ(AskThroughCom<ClumboExt0>(L""), S_FALSE);
}

template <class Handler>
void ExpectOverlayInfo(int expectedIndex) {
    ComPtr<IShellIconOverlayIdentifier> overlay(test::TestComObject<Handler, IShellIconOverlayIdentifier>::Create());
    wchar_t modulePath[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(ModuleInstance(), modulePath, MAX_PATH), 0u);

    wchar_t iconFile[MAX_PATH];
    int index = -1;
    DWORD flags = 0;
    EXPECT_EQ(overlay->GetOverlayInfo(iconFile, MAX_PATH, &index, &flags), S_OK);
    EXPECT_STREQ(iconFile, modulePath);
    EXPECT_EQ(index, expectedIndex);
    EXPECT_EQ(flags, static_cast<DWORD>(ISIOI_ICONFILE | ISIOI_ICONINDEX));

    wchar_t shortBuffer[8];
    std::wmemset(shortBuffer, L'#', 8);
    EXPECT_EQ(overlay->GetOverlayInfo(shortBuffer, 6, &index, &flags), S_OK);
    EXPECT_EQ(std::wstring(shortBuffer, 5), std::wstring(modulePath, 5)) << "a cut path";
    EXPECT_EQ(shortBuffer[6], L'#') << "nothing written past the given size";

    int priority = -1;
    EXPECT_EQ(overlay->GetPriority(&priority), S_OK);
    EXPECT_EQ(priority, 0);
}

TEST(OverlayInfo, NamesTheModuleAndTheIconIndex) {
    ExpectOverlayInfo<ClumboExt0>(0);
    ExpectOverlayInfo<ClumboExt2>(2);
}

TEST(OverlayInfo, FollowsTheModuleTheFrameKeeps) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    SetModuleInstance(kernel);
    wchar_t kernelPath[MAX_PATH] = {};
    GetModuleFileNameW(kernel, kernelPath, MAX_PATH);
    wchar_t iconFile[MAX_PATH];
    int index = -1;
    DWORD flags = 0;
    EXPECT_EQ(OverlayInfo(iconFile, MAX_PATH, &index, &flags, 1), S_OK);
    SetModuleInstance(nullptr);
    EXPECT_STREQ(iconFile, kernelPath);
    EXPECT_EQ(index, 1);
}

}  // namespace
}  // namespace lumbo
