// The five registry scripts as the built DLL carries them, applied with the
// real variables to the registry of the prefix and read back.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "resources/registry_script_ids.h"
#include "lumboExt.h"
#include "server/registry_update.h"
#include "tests/registry_dump.h"
#include "tests/support/built_dll.h"
#include "tests/support/scratch_folder.h"

namespace {

using lumbo::RegistryVariable;
using lumbo::UpdateRegistryFromScriptFile;
using lumbo::test::BuiltDllPath;
using lumbo::test::DumpKeyTree;
using lumbo::test::KeyExists;
using Lines = std::vector<std::string>;

const char kAppId[] = "{F9BF3A22-B2EB-45A1-AEAC-30C260A73A27}";
const char kLibId[] = "{8D1155F0-0AFC-4CFE-9675-A033706D4CA9}";
const wchar_t kOverlayIdentifiers[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";
const wchar_t* const kHandlerRoots[] = {L"*", L"lnkfile", L"Directory"};

struct ClassScript {
    UINT id;
    const char* clsid;
    const char* text;
    const char* progId;
    const char* versionIndependentProgId;
    const char* overlayIdentifier;  // null for the context-menu classes
    bool menuHandlerEntries;        // the classic handler's entries under *, lnkfile and Directory
};
const ClassScript kClasses[] = {
    {IDR_LUMBOEXT0, "{2B8987D5-ECE1-4918-8CCE-F694624DEF4A}", "lumboExt0 Class", "lumboExt.lumboExt0.1",
     "lumboExt.lumboExt0", ".lumboExt0", false},
    {IDR_LUMBOEXT1, "{B1C1C94C-280B-48FD-9171-AE0CDF13316F}", "lumboExt1 Class", "lumboExt.lumboExt1.1",
     "lumboExt.lumboExt1", ".lumboExt1", false},
    {IDR_LUMBOEXT2, "{100E0AF5-A72F-4FBF-A6C6-56EE95107183}", "lumboExt2 Class", "lumboExt.lumboExt2.1",
     "lumboExt.lumboExt2", ".lumboExt2", false},
    {IDR_LUMBOSHLEXT, "{B8C0EF9F-4AB8-4344-8533-77E89FEA96BA}", "lumboShlExt Class", "lumboExt.lumboShlExt.1",
     "lumboExt.lumboShlExt", nullptr, true},
    // Windows 11's menu finds this one through its package: a class only.
    {IDR_LUMBOEXPLORERCOMMAND, "{13F69421-9229-4C44-9BF9-DF70C7A2DAC1}", "lumboExplorerCommand Class",
     "lumboExt.lumboExplorerCommand.1", "lumboExt.lumboExplorerCommand", nullptr, false},
};

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Utf8(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes, nullptr,
                        nullptr);
    return out;
}

Lines Sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// One key tree the scripts own, with its exact expected content.
struct OwnedTree {
    HKEY root;
    std::wstring path;
    Lines content;
};

std::vector<OwnedTree> OwnedTrees(const std::string& modulePath) {
    const std::string sz = "=SZ:";
    std::vector<OwnedTree> trees = {
        {HKEY_CLASSES_ROOT, L"AppID\\" + Wide(kAppId), {".", ".|@" + sz + "lumboExt\\0"}},
        {HKEY_CLASSES_ROOT, L"AppID\\lumboExt.DLL", {".", ".|AppID" + sz + kAppId + "\\0"}},
    };
    for (const ClassScript& c : kClasses) {
        const std::string text = sz + c.text + "\\0";
        const std::string clsid = sz + c.clsid + "\\0";
        trees.push_back({HKEY_CLASSES_ROOT, Wide(c.progId), {".", ".|@" + text, "CLSID", "CLSID|@" + clsid}});
        trees.push_back({HKEY_CLASSES_ROOT,
                         Wide(c.versionIndependentProgId),
                         Sorted({".", ".|@" + text, "CLSID", "CLSID|@" + clsid, "CurVer",
                                 "CurVer|@" + sz + c.progId + "\\0"})});
        trees.push_back({HKEY_CLASSES_ROOT, L"CLSID\\" + Wide(c.clsid),
                         Sorted({".", ".|@" + text, ".|AppID" + sz + kAppId + "\\0", "InprocServer32",
                                 "InprocServer32|@" + sz + modulePath + "\\0",
                                 "InprocServer32|ThreadingModel" + sz + "Apartment\\0", "ProgID",
                                 "ProgID|@" + sz + c.progId + "\\0", "Programmable", "TypeLib",
                                 "TypeLib|@" + sz + kLibId + "\\0", "VersionIndependentProgID",
                                 "VersionIndependentProgID|@" + sz + c.versionIndependentProgId + "\\0"})});
        if (c.overlayIdentifier != nullptr) {
            trees.push_back({HKEY_LOCAL_MACHINE, std::wstring(kOverlayIdentifiers) + L"\\" + Wide(c.overlayIdentifier),
                             {".", ".|@" + clsid}});
        } else if (c.menuHandlerEntries) {
            for (const wchar_t* root : kHandlerRoots)
                trees.push_back({HKEY_CLASSES_ROOT, std::wstring(root) + L"\\ShellEx\\ContextMenuHandlers\\lumboExt",
                                 {".", ".|@" + clsid}});
        }
    }
    return trees;
}

const RegistryVariable kAppIdVariables[] = {{L"APPID", kLumboAppIdString}, {nullptr, nullptr}};

HRESULT RegisterAll(const std::wstring& dll) {
    HRESULT result = UpdateRegistryFromScriptFile(dll.c_str(), IDR_LUMBOEXT_APPID, TRUE, kAppIdVariables);
    for (const ClassScript& c : kClasses) {
        if (FAILED(result)) break;
        result = UpdateRegistryFromScriptFile(dll.c_str(), c.id, TRUE, nullptr);
    }
    return result;
}

HRESULT UnregisterAll(const std::wstring& dll) {
    HRESULT result = S_OK;
    for (const ClassScript& c : kClasses) {
        result = UpdateRegistryFromScriptFile(dll.c_str(), c.id, FALSE, nullptr);
        if (FAILED(result)) return result;
    }
    return UpdateRegistryFromScriptFile(dll.c_str(), IDR_LUMBOEXT_APPID, FALSE, kAppIdVariables);
}

class RegistryScripts : public ::testing::Test {
protected:
    void SetUp() override { UnregisterAll(m_dll); }
    void TearDown() override { UnregisterAll(m_dll); }

    const std::wstring m_dll = BuiltDllPath();
};

TEST_F(RegistryScripts, RegisterWritesExactlyTheirContentTwiceAlikeAndUnregisterKeepsNoRemoveKeys) {
    const std::vector<OwnedTree> trees = OwnedTrees(Utf8(m_dll));
    ASSERT_EQ(RegisterAll(m_dll), S_OK);
    for (const OwnedTree& tree : trees) {
        SCOPED_TRACE(Utf8(tree.path));
        EXPECT_EQ(DumpKeyTree(tree.root, tree.path), Sorted(tree.content));
    }

    // Registering again recreates the ForceRemove keys and overwrites the rest.
    for (const ClassScript& c : kClasses) {
        HKEY stray = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + Wide(c.clsid) + L"\\Stray").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &stray, nullptr);
        RegCloseKey(stray);
    }
    ASSERT_EQ(RegisterAll(m_dll), S_OK);
    for (const OwnedTree& tree : trees) {
        SCOPED_TRACE(Utf8(tree.path));
        EXPECT_EQ(DumpKeyTree(tree.root, tree.path), Sorted(tree.content));
    }

    ASSERT_EQ(UnregisterAll(m_dll), S_OK);
    for (const OwnedTree& tree : trees) {
        SCOPED_TRACE(Utf8(tree.path));
        EXPECT_FALSE(KeyExists(tree.root, tree.path));
    }
    for (const ClassScript& c : kClasses) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Wide(c.progId)));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Wide(c.versionIndependentProgId)));
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kOverlayIdentifiers));
    for (const wchar_t* root : kHandlerRoots)
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(root) + L"\\ShellEx\\ContextMenuHandlers"));

    // Unregistering what is no longer there succeeds.
    EXPECT_EQ(UnregisterAll(m_dll), S_OK);
}

TEST_F(RegistryScripts, AModulePathWithApostrophesIsRegisteredExactly) {
    lumbo::test::ScratchFolder folder;
    const std::wstring directory = folder / L"O'Neil's 'build'";
    lumbo::test::CreateFolders(directory);
    const std::wstring dll = directory + L"\\lumboExt.dll";
    ASSERT_TRUE(CopyFileW(m_dll.c_str(), dll.c_str(), FALSE));

    const ClassScript& c = kClasses[0];
    const std::wstring server = L"CLSID\\" + Wide(c.clsid) + L"\\InprocServer32";
    ASSERT_EQ(UpdateRegistryFromScriptFile(dll.c_str(), c.id, TRUE, nullptr), S_OK);
    EXPECT_EQ(DumpKeyTree(HKEY_CLASSES_ROOT, server),
              Sorted({".", ".|@=SZ:" + Utf8(dll) + "\\0", ".|ThreadingModel=SZ:Apartment\\0"}));
    EXPECT_EQ(UpdateRegistryFromScriptFile(dll.c_str(), c.id, FALSE, nullptr), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + Wide(c.clsid)));
}

TEST_F(RegistryScripts, ModuleAndResourceFailuresAreReportedAsTheirErrors) {
    const std::wstring longPath = L"C:\\" + std::wstring(MAX_PATH - 3, L'a');
    EXPECT_EQ(UpdateRegistryFromScriptFile(longPath.c_str(), IDR_LUMBOEXT0, TRUE, nullptr),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    const std::wstring missing = BuiltDllPath() + L".missing.dll";
    EXPECT_EQ(UpdateRegistryFromScriptFile(missing.c_str(), IDR_LUMBOEXT0, TRUE, nullptr),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(UpdateRegistryFromScriptFile(m_dll.c_str(), 199, TRUE, nullptr),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    // Before the DLL is loaded the module is this test program, which carries
    // no scripts (nor any resource section: Wine answers 1812).
    const HRESULT ownModule = lumbo::UpdateRegistryFromScript(IDR_LUMBOEXT0, TRUE, nullptr);
    EXPECT_TRUE(FAILED(ownModule));
    EXPECT_EQ(HRESULT_FACILITY(ownModule), FACILITY_WIN32);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + Wide(kClasses[0].clsid)));
}

TEST(RegistryScriptResources, AreAnsiTextWithCrLfLineEnds) {
    HMODULE dll = LoadLibraryExW(BuiltDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr);
    for (UINT id : {IDR_LUMBOEXT_APPID, IDR_LUMBOEXT0, IDR_LUMBOEXT1, IDR_LUMBOEXT2, IDR_LUMBOSHLEXT,
                    IDR_LUMBOEXPLORERCOMMAND}) {
        SCOPED_TRACE(id);
        HRSRC found = FindResourceW(dll, MAKEINTRESOURCEW(id), L"REGISTRY");
        ASSERT_NE(found, nullptr);
        const char* data = static_cast<const char*>(LockResource(LoadResource(dll, found)));
        const std::string text(data, SizeofResource(dll, found));
        EXPECT_EQ(text.rfind("HKCR", 0), 0u);
        size_t lines = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            EXPECT_NE(text[i], '\0');
            if (text[i] != '\n') continue;
            ++lines;
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at byte " << i;
        }
        EXPECT_GT(lines, 10u);
        EXPECT_EQ(text.back(), '\n');
    }
    FreeLibrary(dll);
}

}  // namespace
