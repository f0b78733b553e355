// Explorer's load, played through the DLL's exports: eight threads, each in
// its own single-threaded apartment with its own three overlay objects, ask
// about items with known answers while a writer process of ours commits to
// other rows of the database, in rollback-journal and in WAL mode.
#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <shlobj.h>
#include <sqlite3.h>

#include "lumboExt.h"
#include "store/unique_handle.h"
#include "tests/dll_host/loaded_dll.h"
#include "tests/support/built_dll.h"
#include "tests/support/installed_client.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell_selection.h"
#include "tests/support/test_com_object.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

using test::ComPtr;
using test::LoadedDll;

constexpr int kThreads = 8;
const CLSID* const kOverlayClasses[] = {&CLSID_lumboExt0, &CLSID_lumboExt1, &CLSID_lumboExt2};

// The answers of the three handlers for one item.
struct KnownItem {
    std::wstring path;
    HRESULT expected[3];
};

// One thread's apartment and its own overlay objects.
class Apartment {
public:
    Apartment() : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        for (int i = 0; i < 3; ++i)
            LoadedDll::Instance().Create(*kOverlayClasses[i], IID_IShellIconOverlayIdentifier, m_overlays[i].OutVoid());
    }
    ~Apartment() {
        for (ComPtr<IShellIconOverlayIdentifier>& overlay : m_overlays) overlay.Reset();
        if (m_initialised) CoUninitialize();
    }
    bool Ready() const { return m_overlays[0] && m_overlays[1] && m_overlays[2]; }
    HRESULT Ask(int handler, const std::wstring& path) { return m_overlays[handler]->IsMemberOf(path.c_str(), 0); }

private:
    bool m_initialised;
    ComPtr<IShellIconOverlayIdentifier> m_overlays[3];
};

struct Tally {
    std::atomic<long> calls{0};
    std::atomic<long> wrong{0};    // a badge where none belongs
    std::atomic<long> missing{0};  // no badge where one belongs
    std::atomic<long> otherResults{0};  // anything but S_OK and S_FALSE
    std::atomic<long> brokenApartments{0};
};

// Runs `rounds` over the items on `threadCount` threads at once, and on
// until `until` is set.
void AskFromThreads(const std::vector<KnownItem>& items, Tally& tally, HANDLE until, int rounds,
                    int threadCount = kThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            Apartment apartment;
            if (!apartment.Ready()) {
                ++tally.brokenApartments;
                return;
            }
            for (int round = 0; round < rounds || (until != nullptr && WaitForSingleObject(until, 0) != WAIT_OBJECT_0);
                 ++round) {
                for (std::size_t i = 0; i < items.size(); ++i) {
                    const KnownItem& item = items[(i + static_cast<std::size_t>(t) * 5) % items.size()];
                    for (int handler = 0; handler < 3; ++handler) {
                        const HRESULT answer = apartment.Ask(handler, item.path);
                        ++tally.calls;
                        if (answer != S_OK && answer != S_FALSE) ++tally.otherResults;
                        else if (answer != item.expected[handler]) ++(answer == S_OK ? tally.wrong : tally.missing);
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
}

std::set<std::wstring> FolderNames(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.insert(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::wstring ProgramBesideTheDll(const wchar_t* name) {
    const std::wstring dll = test::BuiltDllPath();
    return dll.substr(0, dll.find_last_of(L'\\') + 1) + name;
}

class ConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LoadedDll::Instance().Loaded());
        test::CreateFolders(Path(L"Sync\\docs"));
        test::CreateFolders(Path(L"Sync\\done"));
        test::CreateFolders(Path(L"Sync\\churn"));
        std::vector<test::StatusRow> rows;
        const HRESULT byStatus[3][3] = {{S_OK, S_FALSE, S_FALSE}, {S_FALSE, S_OK, S_FALSE}, {S_FALSE, S_FALSE, S_OK}};
        for (int i = 0; i < 24; ++i) {
            const std::wstring name = L"Sync\\k" + std::to_wstring(i) + L".txt";
            test::WriteFile(Path(name), "k");
            rows.push_back({WideToUtf8(Path(name)), i % 3});
            m_items.push_back({Path(name), {byStatus[i % 3][0], byStatus[i % 3][1], byStatus[i % 3][2]}});
        }
        for (int i = 0; i < 4; ++i) {
            const std::wstring name = L"Sync\\new" + std::to_wstring(i) + L".txt";
            test::WriteFile(Path(name), "n");
            m_items.push_back({Path(name), {S_FALSE, S_OK, S_FALSE}});
        }
        rows.push_back({WideToUtf8(Path(L"Sync\\docs")), 0});
        rows.push_back({WideToUtf8(Path(L"Sync\\docs\\a.txt")), 1});
        m_items.push_back({Path(L"Sync\\docs"), {S_FALSE, S_OK, S_FALSE}});
        rows.push_back({WideToUtf8(Path(L"Sync\\done")), 0});
        rows.push_back({WideToUtf8(Path(L"Sync\\done\\b.txt")), 0});
        m_items.push_back({Path(L"Sync\\done"), {S_OK, S_FALSE, S_FALSE}});

        test::ClientDatabase database = test::ClientDatabase::WithStatusRows(rows);
        database.configRows = {{"lumbo_path", WideToUtf8(Path(L"Sync"))}, {"ignore_dirs", "[]"}};
        m_client.WriteDatabase(database);
        test::WriteFile(m_client.InstallFolder() + L"\\files\\filefilter", "^~\\$\n");
        m_client.Start();
    }

    std::wstring Path(const std::wstring& relative) const { return m_tree / relative; }

    void SetWalMode() { test::ExecuteSql(m_client.DatabaseFile(), "pragma journal_mode = wal"); }

    // The writer's rows as they stand, with the answers they call for.
    std::vector<KnownItem> ChurnedItems() const {
        std::map<std::string, std::set<int>> statuses;
        for (int n = 0; n < 64; ++n) statuses[WideToUtf8(Path(L"Sync\\churn\\c" + std::to_wstring(n) + L".txt"))];
        // Read as it stands, without making side files of our own.
        sqlite3* connection = nullptr;
        sqlite3_open_v2(("file:" + WideToUtf8(m_client.DatabaseFile()) + "?immutable=1").c_str(), &connection,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(connection, "select local_filename, status from file_status", -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            if (statuses.count(name) != 0) statuses[name].insert(sqlite3_column_int(statement, 1));
        }
        sqlite3_finalize(statement);
        sqlite3_close(connection);
        std::vector<KnownItem> items;
        for (const auto& [name, set] : statuses) {
            const bool pending = set.empty() || set.count(1) != 0;
            items.push_back({Utf8ToWide(name),
                             {set.count(0) != 0 ? S_OK : S_FALSE, pending ? S_OK : S_FALSE,
                              set.count(2) != 0 ? S_OK : S_FALSE}});
        }
        return items;
    }

    static std::wstring Utf8ToWide(const std::string& utf8) {
        std::wstring wide(utf8.size(), L'\0');
        wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                                 wide.data(), static_cast<int>(wide.size()))));
        return wide;
    }

    // A churning writer for `seconds`, while eight threads ask; then every
    // answer once more, the writer's rows included.
    void RunAgainstTheWriter(const wchar_t* mode) {
        const std::set<std::wstring> before = FolderNames(m_client.InstallFolder());
        const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + mode;
        const UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, (L"lumbo-churn-done-" + tag).c_str()));
        const UniqueHandle close(CreateEventW(nullptr, TRUE, FALSE, (L"lumbo-churn-close-" + tag).c_str()));
        const std::wstring writer = ProgramBesideTheDll(L"client_simulator.exe");
        std::wstring commandLine = L"\"" + writer + L"\" --churn \"" + m_client.DatabaseFile() + L"\" \"" +
                                   Path(L"Sync") + L"\" 2 " + mode + L" lumbo-churn-done-" + tag +
                                   L" lumbo-churn-close-" + tag;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(writer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        const UniqueHandle writerProcess(process.hProcess);
        CloseHandle(process.hThread);

        Tally tally;
        const HANDLE stopWhen[] = {done.Get(), writerProcess.Get()};
        // The writer ending early (a failure of its own) also stops the threads.
        const UniqueHandle either(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread watcher([&] {
            WaitForMultipleObjects(2, stopWhen, FALSE, 60000);
            SetEvent(either.Get());
        });
        AskFromThreads(m_items, tally, either.Get(), 1);
        watcher.join();
        SetEvent(close.Get());
        ASSERT_EQ(WaitForSingleObject(writerProcess.Get(), 60000), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(writerProcess.Get(), &exitCode);
        EXPECT_EQ(exitCode, 0u) << "the writer failed";

        EXPECT_EQ(tally.brokenApartments.load(), 0);
        EXPECT_EQ(tally.otherResults.load(), 0);
        EXPECT_EQ(tally.wrong.load(), 0) << "of " << tally.calls.load() << " answers for rows the writer never touched";
        // A call whose lock wait runs out while the writer commits gives no
        // badge, by design; on a loaded machine a few do. Reads that failed
        // wholesale would not be a few.
        EXPECT_LT(tally.missing.load() * 10, tally.calls.load()) << "answers without their badge";
        EXPECT_EQ(FolderNames(m_client.InstallFolder()), before) << "a side file was left behind";

        std::vector<KnownItem> all = m_items;
        for (const KnownItem& item : ChurnedItems()) all.push_back(item);
        Tally after;
        AskFromThreads(all, after, nullptr, 1, 1);
        EXPECT_EQ(after.otherResults.load(), 0);
        EXPECT_EQ(after.wrong.load(), 0) << "of " << after.calls.load() << " answers after the writer stopped";
        EXPECT_EQ(after.missing.load(), 0) << "of " << after.calls.load() << " answers after the writer stopped";
        EXPECT_EQ(FolderNames(m_client.InstallFolder()), before) << "a side file was made after the writer closed";
    }

    test::InstalledClient m_client;
    test::ScratchFolder m_tree;
    std::vector<KnownItem> m_items;
};

TEST_F(ConcurrencyTest, RollbackJournalWriter) { RunAgainstTheWriter(L"rollback"); }

TEST_F(ConcurrencyTest, WalWriterThatComesAndGoes) {
    SetWalMode();
    RunAgainstTheWriter(L"wal");
}

TEST_F(ConcurrencyTest, WalDatabaseTheClientHasNotOpenGetsNoSideFiles) {
    SetWalMode();
    const std::set<std::wstring> before = FolderNames(m_client.InstallFolder());
    ASSERT_EQ(before.count(L"mydatabase.db-wal"), 0u);
    const std::string bytes = test::ReadFileBytes(m_client.DatabaseFile());
    Tally tally;
    AskFromThreads(m_items, tally, nullptr, 1);
    EXPECT_EQ(tally.otherResults.load(), 0);
    EXPECT_EQ(tally.wrong.load(), 0) << "of " << tally.calls.load();
    EXPECT_EQ(tally.missing.load(), 0) << "of " << tally.calls.load();
    EXPECT_EQ(FolderNames(m_client.InstallFolder()), before);
    EXPECT_EQ(test::ReadFileBytes(m_client.DatabaseFile()), bytes);
}

TEST_F(ConcurrencyTest, AnAbsentClientIsSeenAbsentFromEveryThread) {
    m_client.Stop();
    test::SyncFolderKey syncFolder;
    syncFolder.SetTarget(Path(L"Sync"));
    test::WriteFile(Path(L"outside.txt"), "o");
    std::vector<KnownItem> noBadges;
    for (const KnownItem& item : m_items) noBadges.push_back({item.path, {S_FALSE, S_FALSE, S_FALSE}});

    std::atomic<long> menus{0};
    std::atomic<long> offered{0};
    std::vector<std::thread> menuThreads;
    Tally tally;
    std::thread overlays([&] { AskFromThreads(noBadges, tally, nullptr, 2); });
    for (int t = 0; t < kThreads; ++t) {
        menuThreads.emplace_back([&] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            for (int i = 0; i < 20; ++i) {
                ComPtr<IShellExtInit> init;
                if (FAILED(LoadedDll::Instance().Create(CLSID_lumboShlExt, IID_IShellExtInit, init.OutVoid()))) break;
                ComPtr<IDataObject> selection(test::CreateDropFilesDataObject({Path(L"outside.txt")}));
                ++menus;
                if (init->Initialize(nullptr, selection.Get(), nullptr) != E_INVALIDARG) ++offered;
            }
            CoUninitialize();
        });
    }
    overlays.join();
    for (std::thread& thread : menuThreads) thread.join();
    EXPECT_EQ(tally.wrong.load(), 0) << "badges of " << tally.calls.load() << " calls";
    EXPECT_EQ(tally.otherResults.load(), 0);
    EXPECT_EQ(menus.load(), 20L * kThreads);
    EXPECT_EQ(offered.load(), 0) << "menu items offered";
    EXPECT_FALSE(test::ClientEventExists()) << "a probe left the event behind";
}

}  // namespace
}  // namespace lumbo
