// The pending badge of items whose names the ANSI code page garbles or lacks,
// through the built DLL: GBK characters whose trail byte is an ASCII letter
// or a backslash, Chinese and Korean letters, emoji, Latin letters with
// accents; as items, ancestor folders and the synchronised folder itself.
// CTest runs these cases under code page 1252 and again under 936: the
// answers are the same under both.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumboExt.h"
#include "tests/dll_host/loaded_dll.h"
#include "tests/support/file_attributes.h"
#include "tests/support/installed_client.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_com_object.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

using test::ComPtr;
using test::LoadedDll;

struct NameKind {
    const char* what;
    std::wstring name;
    // A different name of the same kind: under one code page or another both
    // have the same ANSI form, so nothing decided for one may reach the other.
    std::wstring partner;
};

const std::vector<NameKind>& Kinds() {
    static const std::vector<NameKind> kinds = {
        {"GBK, ASCII-letter trail byte", L"\u9577", L"\u5F35"},
        {"GBK, backslash trail byte", L"\u6DFA", L"\u6DF1"},
        {"simplified Chinese", L"\u62A5\u544A", L"\u8349\u7A3F"},
        {"Korean", L"\uD55C\uAE00", L"\uC870\uC120"},
        {"emoji", L"\U0001F600", L"\U0001F603"},
        {"Latin with accents", L"caf\u00E9", L"caf\u00E8"},
    };
    return kinds;
}

// The name in the ANSI code page, if the client could write it in its
// filter file.
std::optional<std::string> InCodePage(const std::wstring& text) {
    BOOL lacking = FALSE;
    char bytes[256] = {};
    const int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, bytes, sizeof bytes, nullptr, &lacking);
    if (size == 0 || lacking) return std::nullopt;
    return std::string(bytes);
}

// A JSON string with every non-ASCII unit written as a \u escape, as an
// encoder that escapes non-ASCII writes it.
std::string EscapedJson(const std::wstring& text) {
    std::string out = "\"";
    for (const wchar_t unit : text) {
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
            out += escape;
        }
    }
    return out + "\"";
}

std::string RawJson(const std::wstring& text) { return "\"" + WideToUtf8(text) + "\""; }

enum class Make { File, HiddenFile, FileInHiddenFolder, HugeFile, Nothing };

struct Item {
    std::wstring relative;
    Make make;
    HRESULT expected;
    const char* rule;
};

class PendingNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* expected = std::getenv("LUMBO_EXPECT_ACP");
        ASSERT_NE(expected, nullptr) << "LUMBO_EXPECT_ACP is not set";
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
        m_client.Start();
    }

    void Create(const std::wstring& folder, const Item& item) {
        const std::wstring path = folder + L"\\" + item.relative;
        switch (item.make) {
        case Make::File: test::WriteFile(path, "x"); break;
        case Make::HiddenFile:
            test::WriteFile(path, "x");
            test::SetAttributesOrThrow(path, FILE_ATTRIBUTE_HIDDEN);
            break;
        case Make::FileInHiddenFolder: {
            test::WriteFile(path, "x");
            const std::wstring parent = path.substr(0, path.rfind(L'\\'));
            test::SetAttributesOrThrow(parent, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
            break;
        }
        case Make::HugeFile:
            test::CreateFolders(folder);
            test::CreateSparseFile(path, 1ull << 32);
            break;
        case Make::Nothing: break;
        }
    }

    void WriteClient(const std::wstring& syncFolder, const std::string& ignoreDirs,
                     std::vector<test::StatusRow> rows, const std::string& filterFile) {
        test::ClientDatabase database = test::ClientDatabase::WithStatusRows(std::move(rows));
        database.configRows = {{"lumbo_path", WideToUtf8(syncFolder)}, {"ignore_dirs", ignoreDirs}};
        m_client.WriteDatabase(database);
        test::WriteFile(m_client.InstallFolder() + L"\\files\\filefilter", filterFile);
    }

    void ExpectAnswers(const std::wstring& folder, const std::vector<Item>& items, const char* kind) {
        ComPtr<IShellIconOverlayIdentifier> overlay;
        ASSERT_EQ(LoadedDll::Instance().Create(CLSID_lumboExt1, IID_IShellIconOverlayIdentifier, overlay.OutVoid()),
                  S_OK);
        for (const Item& item : items) {
            const std::wstring path = folder + L"\\" + item.relative;
            EXPECT_EQ(overlay->IsMemberOf(path.c_str(), 0), item.expected)
                << kind << ": " << WideToUtf8(item.relative) << " (" << item.rule << ")";
        }
    }

    test::InstalledClient m_client;
    test::ScratchFolder m_tree;
};

// Items of each kind in one synchronised folder, one per rule.
TEST_F(PendingNamesTest, EachRuleHoldsForEveryName) {
    const std::wstring sync = m_tree / L"Sync";
    std::string ignoreDirs = "[";
    std::string filterFile = "\\.tmp$\n";
    std::vector<Item> items;
    for (const NameKind& kind : Kinds()) {
        const std::wstring& k = kind.name;
        const std::wstring& p = kind.partner;
        const std::vector<Item> rows = {
            {k + L".txt", Make::File, S_OK, "new"},
            {k + L"\\" + p + L".txt", Make::File, S_OK, "new, in a folder of that name"},
            {k + L" hidden.txt", Make::HiddenFile, S_FALSE, "hidden"},
            {L"." + k + L".txt", Make::File, S_FALSE, "dot-named"},
            {k + L" hid\\x.txt", Make::FileInHiddenFolder, S_FALSE, "hidden ancestor"},
            {k + L".tmp", Make::File, S_FALSE, "pattern"},
            {k + L".bin", Make::File, S_OK, "small, beside a huge partner"},
            {p + L".bin", Make::HugeFile, S_FALSE, "4 GiB"},
            {k + L" raw\\x.txt", Make::File, S_FALSE, "ignored, raw UTF-8"},
            {k + L" esc\\x.txt", Make::File, S_FALSE, "ignored, escaped"},
            {p + L" raw\\x.txt", Make::File, S_OK, "partner of an ignored folder"},
            {p + L" esc\\x.txt", Make::File, S_OK, "partner of an escaped ignored folder"},
        };
        items.insert(items.end(), rows.begin(), rows.end());
        ignoreDirs += RawJson(k + L" raw") + "," + EscapedJson(k + L" esc") + ",";
        if (const std::optional<std::string> ansi = InCodePage(k + L" pat")) {
            filterFile += "^" + *ansi + "\n";
            items.push_back({k + L" pat.txt", Make::File, S_FALSE, "pattern in the code page"});
            items.push_back({p + L" pat.txt", Make::File, S_OK, "partner of a pattern"});
        }
    }
    ignoreDirs.back() = ']';
    for (const Item& item : items) Create(sync, item);
    WriteClient(sync, ignoreDirs, {}, filterFile);
    ExpectAnswers(sync, items, "one folder");
}

// The synchronised folder itself named with each kind.
TEST_F(PendingNamesTest, TheSynchronisedFolderMayHaveAnyName) {
    for (const NameKind& kind : Kinds()) {
        const std::wstring sync = m_tree / kind.name;
        const std::wstring outside = m_tree / kind.partner;
        const std::vector<Item> items = {
            {L"a.txt", Make::File, S_OK, "new"},
            {L"Docs\\b.txt", Make::File, S_OK, "new, in a subfolder"},
            {L"listed.txt", Make::File, S_OK, "listed pending"},
            {L"hidden.txt", Make::HiddenFile, S_FALSE, "hidden"},
            {L".profile", Make::File, S_FALSE, "dot-named"},
            {L"Hid\\x.txt", Make::FileInHiddenFolder, S_FALSE, "hidden ancestor"},
            {L"big.bin", Make::HugeFile, S_FALSE, "4 GiB"},
            {L"a.tmp", Make::File, S_FALSE, "pattern"},
            {L"ign\\x.txt", Make::File, S_FALSE, "ignored"},
            {kind.name + L"\\x.txt", Make::File, S_FALSE, "ignored, named like the folder"},
            {kind.partner + L"\\x.txt", Make::File, S_OK, "partner of an ignored folder"},
        };
        for (const Item& item : items) Create(sync, item);
        test::WriteFile(outside + L"\\a.txt", "x");
        test::WriteFile(outside + L"\\b.txt", "x");
        WriteClient(sync, "[\"ign\"," + EscapedJson(kind.name) + "]",
                    {{WideToUtf8(sync + L"\\listed.txt"), 1}, {WideToUtf8(outside + L"\\a.txt"), 1}}, "\\.tmp$\n");
        ExpectAnswers(sync, items, kind.what);
        ExpectAnswers(m_tree.Path(),
                      {
                          {kind.name, Make::Nothing, S_FALSE, "the synchronised folder itself"},
                          {kind.partner + L"\\a.txt", Make::Nothing, S_FALSE, "outside, listed pending"},
                          {kind.partner + L"\\b.txt", Make::Nothing, S_FALSE, "outside, new"},
                      },
                      kind.what);
    }
}

}  // namespace
}  // namespace lumbo
