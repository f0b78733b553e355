// Registration through the real registration tool, read back from the
// prefix's registry, and the classes then created by COM as Explorer does.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>

#include "lumboExt.h"
#include "tests/frame/type_library.h"
#include "tests/registry_dump.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_folder.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

int Regsvr32(const std::wstring& arguments) {
    return test::RunProgram(L"C:\\windows\\system32\\regsvr32.exe", L"/s " + arguments);
}

struct RegisteredClass {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* overlay;  // its ShellIconOverlayIdentifiers key, or null
};

const RegisteredClass kClasses[] = {
    {&CLSID_lumboExt0, L"lumboExt.lumboExt0", L".lumboExt0"},
    {&CLSID_lumboExt1, L"lumboExt.lumboExt1", L".lumboExt1"},
    {&CLSID_lumboExt2, L"lumboExt.lumboExt2", L".lumboExt2"},
    {&CLSID_lumboShlExt, L"lumboExt.lumboShlExt", nullptr},
};

constexpr wchar_t kOverlays[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";
const wchar_t* const kMenuParents[] = {L"*\\ShellEx\\ContextMenuHandlers", L"lnkfile\\ShellEx\\ContextMenuHandlers",
                                       L"Directory\\ShellEx\\ContextMenuHandlers"};

// Every key the registration owns, as text.
struct OwnedKey {
    HKEY root;
    std::wstring path;
};
std::vector<OwnedKey> OwnedKeys() {
    std::vector<OwnedKey> keys = {
        {HKEY_CLASSES_ROOT, L"AppID\\" + std::wstring(kLumboAppIdString)},
        {HKEY_CLASSES_ROOT, L"AppID\\lumboExt.DLL"},
        {HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(LIBID_lumboExtLib)},
    };
    for (const RegisteredClass& c : kClasses) {
        keys.push_back({HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(*c.clsid)});
        keys.push_back({HKEY_CLASSES_ROOT, c.progId});
        keys.push_back({HKEY_CLASSES_ROOT, std::wstring(c.progId) + L".1"});
        if (c.overlay != nullptr) keys.push_back({HKEY_LOCAL_MACHINE, std::wstring(kOverlays) + L"\\" + c.overlay});
    }
    for (const wchar_t* parent : kMenuParents) keys.push_back({HKEY_CLASSES_ROOT, std::wstring(parent) + L"\\lumboExt"});
    return keys;
}

std::vector<std::string> DumpOwnedKeys() {
    std::vector<std::string> lines;
    for (const OwnedKey& key : OwnedKeys()) {
        lines.push_back("[" + WideToUtf8(key.path) + "]");
        for (const std::string& line : test::DumpKeyTree(key.root, key.path)) lines.push_back(line);
    }
    return lines;
}

std::wstring DefaultValue(HKEY root, const std::wstring& path) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
    return value;
}

std::wstring TypeLibFile() {
    return DefaultValue(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(LIBID_lumboExtLib) + L"\\1.0\\409\\" + test::kBuiltSysKindKey);
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { Regsvr32(L"/u \"" + m_dll + L"\""); }
    void TearDown() override { Regsvr32(L"/u \"" + m_dll + L"\""); }

    // A copy of the built DLL at the given path.
    std::wstring CopyDllTo(const std::wstring& path) {
        test::CreateFolders(path.substr(0, path.rfind(L'\\')));
        EXPECT_TRUE(CopyFileW(test::BuiltDllPath().c_str(), path.c_str(), FALSE));
        m_dll = path;
        return path;
    }

    std::wstring m_dll = test::BuiltDllPath();
};

TEST_F(RegistrationTest, WritesEveryKeyAndTheSameContentTwice) {
    ASSERT_EQ(Regsvr32(L"\"" + m_dll + L"\""), 0);
    for (const OwnedKey& key : OwnedKeys())
        EXPECT_TRUE(test::KeyExists(key.root, key.path)) << WideToUtf8(key.path);
    for (const RegisteredClass& c : kClasses) {
        EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(*c.clsid) + L"\\InprocServer32"), m_dll);
        if (c.overlay != nullptr) {
            EXPECT_EQ(DefaultValue(HKEY_LOCAL_MACHINE, std::wstring(kOverlays) + L"\\" + c.overlay), GuidText(*c.clsid));
        }
    }
    for (const wchar_t* parent : kMenuParents)
        EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, std::wstring(parent) + L"\\lumboExt"), GuidText(CLSID_lumboShlExt));
    EXPECT_EQ(TypeLibFile(), m_dll) << "the type library is registered from the DLL itself";

    const std::vector<std::string> first = DumpOwnedKeys();
    ASSERT_EQ(Regsvr32(L"\"" + m_dll + L"\""), 0);
    EXPECT_EQ(DumpOwnedKeys(), first);
}

TEST_F(RegistrationTest, UnregisteringLeavesOnlyTheKeysOthersShare) {
    ASSERT_EQ(Regsvr32(L"\"" + m_dll + L"\""), 0);
    ASSERT_EQ(Regsvr32(L"/u \"" + m_dll + L"\""), 0);
    for (const OwnedKey& key : OwnedKeys())
        EXPECT_FALSE(test::KeyExists(key.root, key.path)) << WideToUtf8(key.path);
    for (const wchar_t* shared : {L"AppID", L"CLSID", L"*\\ShellEx\\ContextMenuHandlers",
                                  L"lnkfile\\ShellEx\\ContextMenuHandlers", L"Directory\\ShellEx\\ContextMenuHandlers"})
        EXPECT_TRUE(test::KeyExists(HKEY_CLASSES_ROOT, shared)) << WideToUtf8(shared);
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, kOverlays));
}

TEST_F(RegistrationTest, ComCreatesEveryClassByClsidAndProgIdWithItsTypeInformation) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(Regsvr32(L"\"" + m_dll + L"\""), 0);
    for (const RegisteredClass& c : kClasses) {
        SCOPED_TRACE(WideToUtf8(c.progId));
        CLSID fromProgId = {};
        ASSERT_EQ(CLSIDFromProgID(c.progId, &fromProgId), S_OK);
        EXPECT_TRUE(IsEqualCLSID(fromProgId, *c.clsid));
        IDispatch* dispatch = nullptr;
        ASSERT_EQ(CoCreateInstance(fromProgId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&dispatch)),
                  S_OK);
        ITypeInfo* typeInfo = nullptr;
        EXPECT_EQ(dispatch->GetTypeInfo(0, 0x0409, &typeInfo), S_OK);
        if (typeInfo != nullptr) typeInfo->Release();
        dispatch->Release();
    }
    CoFreeUnusedLibraries();
    CoUninitialize();
}

TEST_F(RegistrationTest, APathWithApostrophesIsRegisteredExactly) {
    test::ScratchFolder folder;
    const std::wstring dll = CopyDllTo(folder / L"Bob's 'tools'\\lumboExt.dll");
    ASSERT_EQ(Regsvr32(L"\"" + dll + L"\""), 0);
    EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(CLSID_lumboExt1) + L"\\InprocServer32"), dll);
    EXPECT_EQ(TypeLibFile(), dll);
    ASSERT_EQ(Regsvr32(L"/u \"" + dll + L"\""), 0);
    EXPECT_FALSE(test::KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(CLSID_lumboExt1)));
}

TEST_F(RegistrationTest, WithoutItsTypeLibraryTheTlbBesideItIsRegistered) {
    const char* withoutTypeLib = std::getenv("LUMBO_DLL_WITHOUT_TYPELIB");
    const char* tlb = std::getenv("LUMBO_TLB");
    ASSERT_NE(withoutTypeLib, nullptr);
    ASSERT_NE(tlb, nullptr);
    test::ScratchFolder folder;
    const std::wstring dll = folder / L"lumboExt.dll";
    ASSERT_TRUE(CopyFileW(AnsiToWide(withoutTypeLib).c_str(), dll.c_str(), FALSE));
    m_dll = dll;
    ITypeLib* embedded = nullptr;
    ASSERT_NE(LoadTypeLib(dll.c_str(), &embedded), S_OK) << "this build of the DLL has no type library";

    EXPECT_NE(Regsvr32(L"\"" + dll + L"\""), 0) << "no type library anywhere: registration fails";
    const std::wstring tlbCopy = folder / L"lumboExt.tlb";
    ASSERT_TRUE(CopyFileW(AnsiToWide(tlb).c_str(), tlbCopy.c_str(), FALSE));
    ASSERT_EQ(Regsvr32(L"\"" + dll + L"\""), 0);
    EXPECT_EQ(TypeLibFile(), tlbCopy);
    ASSERT_EQ(Regsvr32(L"/u \"" + dll + L"\""), 0);
    EXPECT_EQ(TypeLibFile(), L"");
}

}  // namespace
}  // namespace lumbo
