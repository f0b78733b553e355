// InvokeCommand through IContextMenu: the shell copy into the synchronised
// folder of the test prefix (headless, so a name conflict returns at once), the
// web address handed to a stand-in browser, and the clipboard as another
// process reads it.
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shellext/context_menu.h"
#include "shellext/web_address.h"
#include "store/client_contract.h"
#include "tests/support/client_fixture.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell_selection.h"
#include "tests/support/test_com_object.h"

namespace lumbo {
namespace {

using Handler = test::TestComObject<ClumboShlExt, IShellExtInit, IContextMenu>;

HRESULT Invoke(IContextMenu* menu, LPCSTR verb) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = verb;
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
}

HRESULT Invoke(IContextMenu* menu, UINT offset) { return Invoke(menu, MAKEINTRESOURCEA(offset)); }

class CommandTest : public ::testing::Test {
protected:
    // Initialize with the selection, through IShellExtInit.
    HRESULT Select(IDataObject* data) {
        test::ComPtr<IDataObject> owned(data);
        test::ComPtr<IShellExtInit> init;
        EXPECT_EQ(m_handler->QueryInterface(IID_IShellExtInit, init.OutVoid()), S_OK);
        return init->Initialize(nullptr, owned.Get(), nullptr);
    }
    IContextMenu* Menu() { return m_handler.Get(); }

    test::ScratchFolder m_root;
    test::SyncFolderKey m_syncKey;
    const test::ClientEvent m_client;
    test::ComPtr<Handler> m_handler{Handler::Create()};
};

TEST_F(CommandTest, VerbStringsAndUnknownOffsetsAreRefused) {
    EXPECT_EQ(Invoke(Menu(), "copy"), E_INVALIDARG);
    EXPECT_EQ(Invoke(Menu(), ""), E_INVALIDARG);
    EXPECT_EQ(Invoke(Menu(), 3u), E_INVALIDARG);
    EXPECT_EQ(Invoke(Menu(), 0xFFFFu), E_INVALIDARG);
    EXPECT_EQ(Menu()->InvokeCommand(nullptr), E_INVALIDARG);
    // Nothing selected yet: nothing to copy, and nowhere to.
    EXPECT_EQ(Invoke(Menu(), 0u), E_INVALIDARG);

#if defined(_WIN64)  // a 32-bit process has no addresses above 4 GiB
    // A verb string above 4 GiB whose bits 16 to 31 are zero is still a string.
    void* high = nullptr;
    for (ULONG_PTR address = 0x10000000000ull; high == nullptr && address < 0x100000000000ull; address <<= 1)
        high = VirtualAlloc(reinterpret_cast<void*>(address), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(high, nullptr) << "no memory could be placed above 4 GiB";
    ASSERT_EQ(reinterpret_cast<ULONG_PTR>(high) & 0xFFFFFFFFull, 0u);
    std::memcpy(high, "copy", 5);
    EXPECT_EQ(Invoke(Menu(), static_cast<LPCSTR>(high)), E_INVALIDARG);
    VirtualFree(high, 0, MEM_RELEASE);
#endif
}

TEST_F(CommandTest, CopiesFilesAndFolderTreesIntoTheSynchronisedFolder) {
    const std::wstring sync = m_root / L"Sync";
    m_syncKey.SetTarget(sync);
    test::WriteFile(sync + L"\\existing.txt", "kept");
    test::WriteFile(m_root / L"src\\a.txt", "alpha");
    test::WriteFile(m_root / L"src\\b.txt", "beta");
    test::WriteFile(m_root / L"src\\tree\\sub\\deep.txt", "deep");
    test::WriteFile(m_root / L"src\\tree\\top.txt", "top");
    test::WriteFile(m_root / L"src\\existing.txt", "new");

    ASSERT_EQ(Select(test::CreateShellDataObject({m_root / L"src\\a.txt", m_root / L"src\\b.txt",
                                                  m_root / L"src\\tree", m_root / L"src\\existing.txt"})),
              S_OK);
    EXPECT_EQ(Invoke(Menu(), 0u), S_OK);

    EXPECT_EQ(test::ReadFileBytes(sync + L"\\a.txt"), "alpha");
    EXPECT_EQ(test::ReadFileBytes(sync + L"\\b.txt"), "beta");
    EXPECT_EQ(test::ReadFileBytes(sync + L"\\tree\\sub\\deep.txt"), "deep");
    EXPECT_EQ(test::ReadFileBytes(sync + L"\\tree\\top.txt"), "top");
    // A name conflict is never resolved by overwriting.
    EXPECT_EQ(test::ReadFileBytes(sync + L"\\existing.txt"), "kept");
    // Copies, not moves.
    EXPECT_EQ(test::ReadFileBytes(m_root / L"src\\a.txt"), "alpha");
    EXPECT_EQ(test::ReadFileBytes(m_root / L"src\\tree\\sub\\deep.txt"), "deep");
    EXPECT_EQ(test::ReadFileBytes(m_root / L"src\\existing.txt"), "new");
}

TEST_F(CommandTest, CopiesInSelectionOrderAndFromTheLatestSelectionOnly) {
    const std::wstring sync = m_root / L"Sync\\";
    m_syncKey.SetTarget(sync);
    test::CreateFolders(m_root / L"Sync");
    test::WriteFile(m_root / L"first\\same.txt", "first");
    test::WriteFile(m_root / L"second\\same.txt", "second");
    test::WriteFile(m_root / L"earlier.txt", "earlier");

    ASSERT_EQ(Select(test::CreateShellDataObject({m_root / L"earlier.txt"})), S_OK);
    // The second selection replaces the first; the earlier item of the two of
    // the same name lands first, the later meets it and leaves it alone.
    ASSERT_EQ(Select(test::CreateDropFilesDataObject({m_root / L"first\\same.txt", m_root / L"second\\same.txt"})),
              S_OK);
    EXPECT_EQ(Invoke(Menu(), 0u), S_OK);
    EXPECT_EQ(test::ReadFileBytes(sync + L"same.txt"), "first");
    EXPECT_FALSE(test::Exists(sync + L"earlier.txt"));
}

// Changes the current directory for one scope.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::wstring& folder) {
        wchar_t earlier[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, earlier);
        m_earlier = earlier;
        SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentDirectory() { SetCurrentDirectoryW(m_earlier.c_str()); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::wstring m_earlier;
};

TEST_F(CommandTest, AfterARefusedSelectionTheCopyHasNothingAndNowhereToCopy) {
    const std::wstring sync = m_root / L"Sync";
    test::CreateFolders(sync);
    test::CreateFolders(m_root / L"host");
    test::WriteFile(m_root / L"src\\a.txt", "alpha");
    test::WriteFile(m_root / L"src\\b.txt", "beta");
    const CurrentDirectory hostDirectory(m_root / L"host");

    struct Case {
        const char* name;
        std::function<IDataObject*()> refusedSelection;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"the synchronised folder cannot be read",
         [&] { return test::CreateDropFilesDataObject({m_root / L"src\\b.txt"}); },
         [&] { test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSyncFolderKey); }},
        {"an empty drop list", [&] { return test::CreateDropFilesDataObject({}); }, [] {}},
        {"an item inside the synchronised folder",
         [&] { return test::CreateDropFilesDataObject({m_root / L"src\\b.txt", sync + L"\\x.txt"}); }, [] {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_syncKey.SetTarget(sync);
        ASSERT_EQ(Select(test::CreateDropFilesDataObject({m_root / L"src\\a.txt"})), S_OK);
        c.prepare();
        ASSERT_EQ(Select(c.refusedSelection()), E_INVALIDARG);
        EXPECT_EQ(Invoke(Menu(), 0u), E_INVALIDARG);
        EXPECT_FALSE(test::Exists(m_root / L"host\\a.txt"));
        EXPECT_FALSE(test::Exists(m_root / L"host\\b.txt"));
        EXPECT_FALSE(test::Exists(sync + L"\\a.txt"));
        EXPECT_FALSE(test::Exists(sync + L"\\b.txt"));
    }
}

TEST_F(CommandTest, SkipsPathsLongerThan255UnitsAndCopiesTheRest) {
    const std::wstring sync = m_root / L"Sync";
    m_syncKey.SetTarget(sync);
    test::CreateFolders(sync);
    test::WriteFile(m_root / L"short.txt", "short");
    // A real file whose path is 256 units long.
    const std::wstring folder = m_root / L"long";
    const std::wstring name = std::wstring(256 - folder.size() - 1 - 4, L'n') + L".txt";
    const std::wstring longPath = folder + L"\\" + name;
    ASSERT_EQ(longPath.size(), 256u);
    test::WriteFile(longPath, "long");
    ASSERT_TRUE(test::Exists(longPath));

    ASSERT_EQ(Select(test::CreateDropFilesDataObject({longPath, m_root / L"short.txt"})), S_OK);
    EXPECT_EQ(Invoke(Menu(), 0u), S_OK);
    EXPECT_EQ(test::ReadFileBytes(sync + L"\\short.txt"), "short");
    EXPECT_FALSE(test::Exists(sync + L"\\" + name));
}

TEST(WebAddressTest, FindsTheThirdWordOfTheFirstWebaLine) {
    struct Case {
        const char* text;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"weba = http://a.example/x\n", "http://a.example/x"},
        {"name x\n\n\nweba = https://b.example\nweba = https://later.example\n", "https://b.example"},
        {"a b c\r\nweba = https://c.example/p\r\nz\r\n", "https://c.example/p\r"},
        {"weba addr  https://d.example extra words\n", "https://d.example"},
        {"   weba = https://indented.example\nweba   =   https://e.example", "https://e.example"},
        {"WEBA = https://upper.example\nweba = https://f.example\n", "https://f.example"},
        {"weba\tx y z\n", "z"},
        {"webaddress is https://g.example\n", "https://g.example"},
        {"WEBA = https://upper.example\n", std::nullopt},
        {"weba = \n", std::nullopt},
        {"weba https://two.words\n", std::nullopt},
        {"", std::nullopt},
        {"\n\n\n", std::nullopt},
        {"other = https://h.example\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FindWebAddress(c.text), c.expected);
    }
    EXPECT_EQ(WebTarget("https://x.example"), "https://x.example#dir/path=");
}

TEST(WebAddressTest, OnlyWellFormedHttpAndHttpsAddressesAreOpened) {
    struct Case {
        const wchar_t* target;
        std::optional<std::wstring> expected;  // nothing: refused
    };
    const Case cases[] = {
        {L"http://a", L"http://a"},
        {L"HTTPS://a", L"HTTPS://a"},
        {L"hTtP://a", L"hTtP://a"},
        {L"https://b.example:8443/p/q?x=1&y=%41#frag", L"https://b.example:8443/p/q?x=1&y=%41#frag"},
        {L"http://user:pw@127.0.0.1/", L"http://user:pw@127.0.0.1/"},
        {L"http://[::1]:80/x", L"http://[::1]:80/x"},
        {L"https://a.example?q", L"https://a.example?q"},
        // After the host, what could split or extend the browser's command
        // line is encoded, as is anything outside ASCII.
        {L"http://127.0.0.1/a\"\t--injected\t\"b", L"http://127.0.0.1/a%22%09--injected%09%22b"},
        {L"https://c.example/b\r#dir/path=", L"https://c.example/b%0D#dir/path="},
        {L"https://c.example/a b\n\x7F<>", L"https://c.example/a%20b%0A%7F%3C%3E"},
        {L"https://c.example/100%/%zz%4", L"https://c.example/100%25/%25zz%254"},
        {L"https://c.example/\u7F51\u76D8\U0001F600", L"https://c.example/%E7%BD%91%E7%9B%98%F0%9F%98%80"},
        {L"https://c.example/\u3000\u00A0", L"https://c.example/%E3%80%80%C2%A0"},
        {L"https://c.example/\xD800x", std::nullopt},
        // No host, or a host no address can have.
        {L"https://", std::nullopt},
        {L"http:///path", std::nullopt},
        {L"http://:80/", std::nullopt},
        {L"http://user@/", std::nullopt},
        {L"http://a\"b/", std::nullopt},
        {L"http://a b/", std::nullopt},
        {L"http://a\tb", std::nullopt},
        {L"http://a:8x/", std::nullopt},
        {L"http://[::1/", std::nullopt},
        {L"http://\u7F51\u76D8.example/", std::nullopt},
        {L"http://a%2/", std::nullopt},
        // Not a web address at all.
        {L"http:/a", std::nullopt},
        {L"httpx://a", std::nullopt},
        {L"file:///C:/x", std::nullopt},
        {L"C:\\x.exe", std::nullopt},
        {L"", std::nullopt},
        {L" http://a", std::nullopt},
        {L"mailto:x@y", std::nullopt},
        {L"\\\\server\\s", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(OpenableWebAddress(c.target), c.expected);
    }
}

// The stand-in browser's records: one command line per record, its
// arguments separated by U+001F.
std::vector<std::string> ReadRecords(const std::wstring& path) {
    std::vector<std::string> records;
    // Shared for writing: a recorder may be appending right now, and one that
    // found the file held without write sharing would lose its record.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return records;
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
    CloseHandle(file);
    for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
        records.push_back(bytes.substr(start, end - start));
    return records;
}

// The handler starts asynchronously: wait (up to a generous limit) for records.
std::vector<std::string> WaitForRecords(const std::wstring& path, std::size_t count) {
    for (int i = 0; i < 600 && ReadRecords(path).size() < count; ++i) Sleep(50);
    return ReadRecords(path);
}

TEST_F(CommandTest, OpensOnlyTheClientsWebAddress) {
    const std::wstring records = m_root / L"records.bin";
    SetEnvironmentVariableW(L"LUMBO_URL_RECORD", records.c_str());
    const std::wstring command = L"\"" + test::ProgramFolder() + L"\\url_recorder.exe\" \"%1\"";
    const test::SchemeHandler http(L"http", command);
    const test::SchemeHandler https(L"https", command);
    const test::SchemeHandler other(L"lumbotest", command);

    test::InstallPathKey install;
    const std::wstring config = m_root / L"client\\files\\config";

    // Nothing to open; a launched handler would leave a record.
    EXPECT_EQ(Invoke(Menu(), 1u), S_OK);  // no install folder
    install.SetFolder(m_root / L"client");
    EXPECT_EQ(Invoke(Menu(), 1u), S_OK);  // no configuration file
    for (const char* text : {"WEBA = https://upper.example\n", "weba https://two.words\n",
                             "weba = lumbotest://x.example\n", "weba = C:\\windows\\notepad.exe\n",
                             "weba = file:///C:/windows/notepad.exe\n", "weba = https://\n",
                             "weba = http://a\"\t--injected/\n"}) {
        SCOPED_TRACE(text);
        test::WriteFile(config, text);
        EXPECT_EQ(Invoke(Menu(), 1u), S_OK);
    }

    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"user x\n\nweba = http://one.example/a\nweba = http://later.example\n", "http://one.example/a#dir/path="},
        {"user x\r\nweba = https://two.example/b\r\nend\r\n", "https://two.example/b%0D#dir/path="},
        {"WEBA = https://upper.example\nweba addr HTTPS://three.example more\n", "HTTPS://three.example#dir/path="},
        // Quotes and tabs cannot smuggle arguments into the browser's command line.
        {"weba = http://127.0.0.1/a\"\t--injected\t\"b\n", "http://127.0.0.1/a%22%09--injected%09%22b#dir/path="},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        test::WriteFile(config, c.text);
        EXPECT_EQ(Invoke(Menu(), 1u), S_OK);
        expected.push_back(c.expected);
        // One at a time, so the records keep the order of the cases.
        ASSERT_EQ(WaitForRecords(records, expected.size()).size(), expected.size());
    }
    EXPECT_EQ(ReadRecords(records), expected);
    SetEnvironmentVariableW(L"LUMBO_URL_RECORD", nullptr);
}

std::string ClipboardSeenByAnotherProcess() {
    return test::RunAndCapture(L"\"" + test::ProgramFolder() + L"\\clipboard_reader.exe\"");
}

TEST_F(CommandTest, PutsAnEmptyUnicodeTextOnTheClipboard) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const wchar_t before[] = L"earlier content";
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof before);
    ASSERT_NE(memory, nullptr);
    std::copy(std::begin(before), std::end(before), static_cast<wchar_t*>(GlobalLock(memory)));
    GlobalUnlock(memory);
    ASSERT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
    CloseClipboard();
    ASSERT_EQ(ClipboardSeenByAnotherProcess(), "text:earlier content");

    EXPECT_EQ(Invoke(Menu(), 2u), S_OK);
    EXPECT_EQ(ClipboardSeenByAnotherProcess(), "text:");
    // The clipboard was closed again: another process can open it.
    ASSERT_TRUE(OpenClipboard(nullptr));
    CloseClipboard();
}

}  // namespace
}  // namespace lumbo
