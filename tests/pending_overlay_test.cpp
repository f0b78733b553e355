// The pending overlay through IShellIconOverlayIdentifier, on a real client
// installation: settings in the database, a filter file beside it, real files.
#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shellext/overlay_handlers.h"
#include "tests/support/file_attributes.h"
#include "tests/support/installed_client.h"
#include "tests/support/test_com_object.h"
#include "tests/support/trace_capture.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

using test::ComPtr;
using test::StatusRow;
using PendingOverlay = test::TestComObject<ClumboExt1, IShellIconOverlayIdentifier>;

class PendingOverlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* folder : {L"Sync\\docs", L"Sync\\Ignored", L"Sync\\done", L"Other"})
            test::CreateFolders(Path(folder));
        for (const wchar_t* file : {L"Sync\\up.txt", L"Sync\\new.txt", L"Sync\\hidden.txt", L"Sync\\Ignored\\x.txt",
                                    L"Sync\\done.txt", L"Sync\\failed.txt", L"Sync\\docs\\x.txt",
                                    L"Sync\\~$temp.docx", L"Sync\\Bob's.txt", L"Other\\a.txt"})
            test::WriteFile(Path(file), "x");
        test::SetAttributesOrThrow(Path(L"Sync\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
        test::WriteFile(m_client.InstallFolder() + L"\\files\\filefilter", "^~\\$\n");
        m_client.Start();
    }

    std::wstring Path(const std::wstring& relative) const { return m_tree / relative; }
    std::string Utf8(const std::wstring& relative) const { return WideToUtf8(Path(relative)); }

    void Write(std::vector<StatusRow> rows, bool withConfig = true) {
        test::ClientDatabase database = test::ClientDatabase::WithStatusRows(std::move(rows));
        database.withConfigTable = withConfig;
        database.configRows = {{"lumbo_path", Utf8(L"Sync")}, {"ignore_dirs", "[\"Ignored\"]"}};
        m_client.WriteDatabase(database);
    }

    test::InstalledClient m_client;
    test::ScratchFolder m_tree;
};

HRESULT Ask(IShellIconOverlayIdentifier* overlay, const std::wstring& path) {
    return overlay->IsMemberOf(path.c_str(), 0);
}

TEST_F(PendingOverlayTest, AnswersFollowTheSummary) {
    struct Case {
        const char* name;
        std::wstring item;
        HRESULT expected;
    };
    Write({
        {Utf8(L"Sync\\up.txt"), 1},
        {Utf8(L"Other\\a.txt"), 1},
        {Utf8(L"Sync"), 1},
        {Utf8(L"Sync\\hidden.txt"), 1},
        {Utf8(L"Sync\\done.txt"), 0},
        {Utf8(L"Sync\\failed.txt"), 2},
        {Utf8(L"Sync\\docs"), 0},
        {Utf8(L"Sync\\docs\\x.txt"), 1},
        {Utf8(L"Sync\\done"), 0},
        {Utf8(L"Sync\\Bob's.txt"), 0},
    });
    const std::wstring lowerCase = [&] {
        std::wstring path = Path(L"Sync\\up.txt");
        for (wchar_t& c : path) c = static_cast<wchar_t>(towlower(c));
        return path;
    }();
    const Case cases[] = {
        {"listed pending", L"Sync\\up.txt", S_OK},
        {"listed pending outside the monitored folder", L"Other\\a.txt", S_FALSE},
        {"the monitored folder itself", L"Sync", S_FALSE},
        {"not listed yet", L"Sync\\new.txt", S_OK},
        {"not listed and not on disk", L"Sync\\gone.txt", S_OK},
        {"hidden but listed pending", L"Sync\\hidden.txt", S_OK},
        {"in an ignored folder", L"Sync\\Ignored\\x.txt", S_FALSE},
        {"matched by the filter file", L"Sync\\~$temp.docx", S_FALSE},
        {"listed synchronised", L"Sync\\done.txt", S_FALSE},
        {"listed failed", L"Sync\\failed.txt", S_FALSE},
        {"a folder with pending content", L"Sync\\docs", S_OK},
        {"a synchronised folder without", L"Sync\\done", S_FALSE},
        {"an apostrophe, listed synchronised", L"Sync\\Bob's.txt", S_FALSE},
    };
    ComPtr<IShellIconOverlayIdentifier> overlay(PendingOverlay::Create());
    for (const Case& c : cases) EXPECT_EQ(Ask(overlay.Get(), Path(c.item)), c.expected) << c.name;
    EXPECT_EQ(Ask(overlay.Get(), lowerCase), S_FALSE) << "other letter case fails the monitored-folder test";
}

TEST_F(PendingOverlayTest, TheStatusListComesBeforeTheFilterRules) {
    Write({});
    ComPtr<IShellIconOverlayIdentifier> overlay(PendingOverlay::Create());
    EXPECT_EQ(Ask(overlay.Get(), Path(L"Sync\\hidden.txt")), S_FALSE) << "hidden and not listed";
    Write({{Utf8(L"Sync\\hidden.txt"), 1}});
    EXPECT_EQ(Ask(overlay.Get(), Path(L"Sync\\hidden.txt")), S_OK) << "hidden but listed pending";
}

TEST_F(PendingOverlayTest, TheMonitoredFolderIsRememberedPerObject) {
    Write({{Utf8(L"Sync\\up.txt"), 1}}, /*withConfig=*/false);
    ComPtr<IShellIconOverlayIdentifier> fresh(PendingOverlay::Create());
    EXPECT_EQ(Ask(fresh.Get(), Path(L"Sync\\new.txt")), S_FALSE) << "no monitored folder known";
    EXPECT_EQ(Ask(fresh.Get(), Path(L"Sync\\up.txt")), S_OK) << "the status list still counts";

    ComPtr<IShellIconOverlayIdentifier> remembering(PendingOverlay::Create());
    Write({});
    EXPECT_EQ(Ask(remembering.Get(), Path(L"Sync\\new.txt")), S_OK);
    Write({}, /*withConfig=*/false);
    EXPECT_EQ(Ask(remembering.Get(), Path(L"Sync\\new.txt")), S_OK) << "the folder read before stays in force";
    EXPECT_EQ(Ask(remembering.Get(), Path(L"Other\\a.txt")), S_FALSE);
    ComPtr<IShellIconOverlayIdentifier> another(PendingOverlay::Create());
    EXPECT_EQ(Ask(another.Get(), Path(L"Sync\\new.txt")), S_FALSE) << "a new object knows no folder";
}

TEST_F(PendingOverlayTest, NoClientNoDatabaseNoTrace) {
    Write({{Utf8(L"Sync\\up.txt"), 1}});
    ComPtr<IShellIconOverlayIdentifier> overlay(PendingOverlay::Create());
    m_client.Stop();
    test::TraceCapture trace;
    EXPECT_EQ(Ask(overlay.Get(), Path(L"Sync\\up.txt")), S_FALSE);
    m_client.Start();
    DeleteFileW(m_client.DatabaseFile().c_str());
    EXPECT_EQ(Ask(overlay.Get(), Path(L"Sync\\new.txt")), S_FALSE);
    EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(PendingOverlayTest, TracesEveryStepForAnUnlistedItem) {
    Write({});
    ComPtr<IShellIconOverlayIdentifier> overlay(PendingOverlay::Create());
    const std::string item = Utf8ToAnsi(Utf8(L"Sync\\new.txt"));
    const std::string monitored = Utf8ToAnsi(Utf8(L"Sync")) + "\\";
    const std::string filterFile = Utf8ToAnsi(WideToUtf8(m_client.InstallFolder())) + "\\files\\filefilter";
    const auto banner = [](const std::string& text) { return "=================" + text + "====================\n"; };

    std::vector<std::string> expected = {
        "@@@@@@@@@@@@@@@@@@@@@mondir:" + monitored + ",igndirs:Ignored;,cr:" + item,
        banner("In MonDir"),
        banner("After Uploading"),
        banner("Before Status"),
        banner("Enter CFileStatus"),
        "#############mondir:" + monitored + ",igndirs:Ignored;,filterpath:" + filterFile,
        banner("Enter IsUserIgnoreDir"),
        banner("FALSE Leave IsUserIgnoreDir"),
        banner("Enter IsHidenFile"),
        banner("FALSE LEave IsHidenFile"),
        banner("Enter IsParentHidenOrIllegal"),
    };
    // Every ancestor is asked with a trailing backslash; the item's own name
    // with one added is no existing folder, so it ends without a FALSE line.
    std::string prefix;
    for (std::size_t start = 0; start <= item.size();) {
        const std::size_t slash = std::min(item.find('\\', start), item.size());
        prefix += item.substr(start, slash - start) + "\\";
        expected.push_back(banner("Enter IsHidenFile"));
        if (slash < item.size()) expected.push_back(banner("FALSE LEave IsHidenFile"));
        start = slash + 1;
    }
    expected.push_back(banner("False Leave IsParentHidenOrIllegal"));
    expected.push_back(banner("Enter IsInFilters"));
    expected.push_back(banner("False Leave IsInFilters"));

    test::TraceCapture trace;
    EXPECT_EQ(Ask(overlay.Get(), Path(L"Sync\\new.txt")), S_OK);
    EXPECT_EQ(trace.Lines(), expected);
}

}  // namespace
}  // namespace lumbo
