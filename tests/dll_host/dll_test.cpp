// The built extension in an allowed host: host acceptance, class objects,
// instances and their unload answers, aggregation, interface identity,
// automation from the registered type library, and the shell behaviour
// reached the way Explorer reaches it.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <shellapi.h>

#include "lumboExt.h"
#include "store/unique_handle.h"
#include "tests/dll_host/loaded_dll.h"
#include "tests/frame/counting_outer.h"
#include "tests/frame/type_library.h"
#include "tests/support/installed_client.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell_selection.h"
#include "tests/support/test_com_object.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

using test::ComPtr;
using test::LoadedDll;

struct ClassRow {
    const char* name;
    const CLSID* clsid;
    const IID* dual;
    std::vector<const IID*> shell;  // its shell interfaces; the last one is asked of an aggregate
};

// The classes the DLL serves, in its table's order.
const std::vector<ClassRow>& Classes() {
    static const std::vector<ClassRow> rows = {
        {"ClumboExt0", &CLSID_lumboExt0, &IID_IlumboExt0, {&IID_IShellIconOverlayIdentifier}},
        {"ClumboExt1", &CLSID_lumboExt1, &IID_IlumboExt1, {&IID_IShellIconOverlayIdentifier}},
        {"ClumboExt2", &CLSID_lumboExt2, &IID_IlumboExt2, {&IID_IShellIconOverlayIdentifier}},
        {"ClumboShlExt", &CLSID_lumboShlExt, &IID_IlumboShlExt, {&IID_IShellExtInit, &IID_IContextMenu}},
        {"ClumboExplorerCommand", &CLSID_lumboExplorerCommand, &IID_IlumboExplorerCommand,
         {&IID_IObjectWithSite, &IID_IExplorerCommand}},
    };
    return rows;
}

// The shell interfaces of the other classes only.
std::vector<const IID*> ForeignShellInterfaces(const ClassRow& row) {
    std::vector<const IID*> foreign;
    for (const ClassRow& other : Classes())
        for (const IID* iid : other.shell) {
            bool own = false;
            for (const IID* mine : row.shell) own = own || IsEqualIID(*mine, *iid);
            bool listed = false;
            for (const IID* seen : foreign) listed = listed || IsEqualIID(*seen, *iid);
            if (!own && !listed) foreign.push_back(iid);
        }
    return foreign;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& unit : text) unit = static_cast<wchar_t>(towupper(unit));
    return text;
}

std::wstring SelfPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

int Probe(const std::wstring& host) { return test::RunProgram(host, L"--probe \"" + test::BuiltDllPath() + L"\""); }

class DllTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LoadedDll::Instance().Loaded())
            << "the DLL refused this host: " << WideToUtf8(SelfPath());
        ASSERT_EQ(Dll().CanUnloadNow(), S_OK) << "a reference survived an earlier test";
    }
    void TearDown() override { EXPECT_EQ(Dll().CanUnloadNow(), S_OK) << "this test leaked a reference"; }

    static const LoadedDll& Dll() { return LoadedDll::Instance(); }
};

TEST(HostAcceptance, TheClassVerifierInAnyLetterCaseAndNoCopyElsewhere) {
    const std::wstring self = SelfPath();
    ASSERT_EQ(Upper(self), L"C:\\WINDOWS\\SYSTEM32\\VERCLSID.EXE")
        << "run this program as the prefix's verclsid.exe";

    for (const wchar_t* spelling : {L"C:\\windows\\system32\\verclsid.exe",
                                    L"C:\\WINDOWS\\SYSTEM32\\VERCLSID.EXE",
                                    L"c:\\Windows\\System32\\VerClsid.exe"}) {
        SCOPED_TRACE(WideToUtf8(spelling));
        EXPECT_EQ(Probe(spelling), 0);
    }

    test::ScratchFolder scratch;
    const std::vector<std::wstring> copies = {
        scratch / L"verclsid.exe",
        scratch / L"system32\\verclsid.exe",
        scratch / L"explorer.exe",
        L"C:\\windows\\verclsid.exe",
    };
    for (const std::wstring& copy : copies) {
        SCOPED_TRACE(WideToUtf8(copy));
        test::CreateFolders(copy.substr(0, copy.find_last_of(L'\\')));
        ASSERT_TRUE(CopyFileW(self.c_str(), copy.c_str(), FALSE));
        EXPECT_EQ(Probe(copy), 1);
        DeleteFileW(copy.c_str());
    }
}

TEST(HostAcceptance, TheRegistrationToolLoadsIt) {
    // regsvr32 exits 3 when the DLL does not load at all.
    const std::wstring regsvr32 = L"C:\\windows\\system32\\regsvr32.exe";
    EXPECT_EQ(test::RunProgram(regsvr32, L"/s /u \"" + test::ScratchFolder().Path() + L"\\none.dll\""), 3);
    EXPECT_NE(test::RunProgram(regsvr32, L"/s /u \"" + test::BuiltDllPath() + L"\""), 3);
}

TEST_F(DllTest, OneCachedClassObjectPerClassThatLocksWhileHeld) {
    for (const ClassRow& row : Classes()) {
        SCOPED_TRACE(row.name);
        ComPtr<IClassFactory> first;
        ComPtr<IClassFactory> second;
        ASSERT_EQ(Dll().GetClassObject(*row.clsid, IID_IClassFactory, first.OutVoid()), S_OK);
        EXPECT_EQ(Dll().CanUnloadNow(), S_FALSE);
        ASSERT_EQ(Dll().GetClassObject(*row.clsid, IID_IClassFactory, second.OutVoid()), S_OK);
        EXPECT_EQ(first.Get(), second.Get());
        ComPtr<IUnknown> asUnknown;
        ASSERT_EQ(Dll().GetClassObject(*row.clsid, IID_IUnknown, asUnknown.OutVoid()), S_OK);
        EXPECT_EQ(static_cast<void*>(asUnknown.Get()), static_cast<void*>(first.Get()));
        first.Reset();
        asUnknown.Reset();
        EXPECT_EQ(Dll().CanUnloadNow(), S_FALSE);
        second.Reset();
        EXPECT_EQ(Dll().CanUnloadNow(), S_OK);

        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(Dll().GetClassObject(*row.clsid, IID_IDispatch, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(Dll().GetClassObject(*row.clsid, IID_IClassFactory, nullptr), E_POINTER);
    }
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(Dll().GetClassObject(IID_IUnknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Dll().GetClassObject(*Classes()[0].dual, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(DllTest, UnloadWaitsForInstancesFactoryReferencesAndServerLocks) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(Dll().GetClassObject(CLSID_lumboExt0, IID_IClassFactory, factory.OutVoid()), S_OK);
    ComPtr<IUnknown> a;
    ComPtr<IUnknown> b;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, a.OutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, b.OutVoid()), S_OK);
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    a.Reset();
    EXPECT_EQ(Dll().CanUnloadNow(), S_FALSE);  // b and the server lock
    b.Reset();
    EXPECT_EQ(Dll().CanUnloadNow(), S_FALSE);  // the server lock
    ASSERT_EQ(Dll().GetClassObject(CLSID_lumboExt0, IID_IClassFactory, factory.OutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(Dll().CanUnloadNow(), S_FALSE);  // the factory reference
    factory.Reset();
    EXPECT_EQ(Dll().CanUnloadNow(), S_OK);
}

TEST_F(DllTest, InterfaceIdentityAndTables) {
    for (const ClassRow& row : Classes()) {
        SCOPED_TRACE(row.name);
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(Dll().Create(*row.clsid, IID_IUnknown, unknown.OutVoid()), S_OK);
        ComPtr<IUnknown> dual;
        ComPtr<IUnknown> dispatch;
        ASSERT_EQ(unknown->QueryInterface(*row.dual, dual.OutVoid()), S_OK);
        ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, dispatch.OutVoid()), S_OK);
        EXPECT_EQ(dual.Get(), unknown.Get());
        EXPECT_EQ(dispatch.Get(), unknown.Get());

        const std::vector<const IID*> foreign = ForeignShellInterfaces(row);
        EXPECT_FALSE(foreign.empty());
        for (const IID* iid : row.shell) {
            ComPtr<IUnknown> part;
            ASSERT_EQ(unknown->QueryInterface(*iid, part.OutVoid()), S_OK);
            EXPECT_NE(part.Get(), unknown.Get());
            ComPtr<IUnknown> back;
            ASSERT_EQ(part->QueryInterface(IID_IUnknown, back.OutVoid()), S_OK);
            EXPECT_EQ(back.Get(), unknown.Get());
        }
        for (const IID* iid : foreign) {
            void* out = reinterpret_cast<void*>(1);
            EXPECT_EQ(unknown->QueryInterface(*iid, &out), E_NOINTERFACE);
            EXPECT_EQ(out, nullptr);
        }
        for (const ClassRow& other : Classes()) {
            if (other.dual == row.dual) continue;
            void* out = reinterpret_cast<void*>(1);
            EXPECT_EQ(unknown->QueryInterface(*other.dual, &out), E_NOINTERFACE);
        }
    }
}

TEST_F(DllTest, AggregationOnlyForIUnknownAndDelegatingToTheOuterObject) {
    for (const ClassRow& row : Classes()) {
        SCOPED_TRACE(row.name);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(Dll().GetClassObject(*row.clsid, IID_IClassFactory, factory.OutVoid()), S_OK);
        test::CountingOuter outer;
        const IID& shellIid = *row.shell.back();
        void* refused = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(&outer, shellIid, &refused), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(refused, nullptr);

        IUnknown* inner = nullptr;
        ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
        outer.inner = inner;
        IUnknown* part = nullptr;
        ASSERT_EQ(inner->QueryInterface(shellIid, reinterpret_cast<void**>(&part)), S_OK);
        EXPECT_EQ(outer.addRefs, 1);
        part->AddRef();
        part->Release();
        EXPECT_EQ(outer.addRefs, 2);
        EXPECT_EQ(outer.releases, 1);
        IUnknown* identity = nullptr;
        ASSERT_EQ(part->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
        EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
        EXPECT_EQ(outer.queries, 1);
        identity->Release();
        part->Release();
        EXPECT_EQ(outer.count, 1u);
        factory.Reset();
        EXPECT_EQ(Dll().CanUnloadNow(), S_FALSE);  // the aggregate lives
        outer.inner = nullptr;
        EXPECT_EQ(inner->Release(), 0u);
    }
}

TEST_F(DllTest, AutomationFromTheRegisteredTypeLibrary) {
    constexpr LCID kLocale = 0x0409;
    test::TypeLibraryRegistration registration;  // none before, none after
    std::vector<ComPtr<IDispatch>> first(Classes().size());
    std::vector<ComPtr<IDispatch>> second(Classes().size());
    for (std::size_t i = 0; i < Classes().size(); ++i) {
        ASSERT_EQ(Dll().Create(*Classes()[i].clsid, IID_IDispatch, first[i].OutVoid()), S_OK);
        ASSERT_EQ(Dll().Create(*Classes()[i].clsid, IID_IDispatch, second[i].OutVoid()), S_OK);
    }

    for (std::size_t i = 0; i < Classes().size(); ++i) {
        SCOPED_TRACE(Classes()[i].name);
        UINT count = 0;
        EXPECT_EQ(first[i]->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
        EXPECT_EQ(first[i]->GetTypeInfo(0, kLocale, &info), TYPE_E_LIBNOTREGISTERED);
        EXPECT_EQ(info, nullptr);
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"Invoke")};
        DISPID id = 0;
        EXPECT_EQ(first[i]->GetIDsOfNames(IID_NULL, names, 1, kLocale, &id), TYPE_E_LIBNOTREGISTERED);
    }

    ASSERT_EQ(test::RegisterLumboTypeLibrary(test::BuiltDllPath()), S_OK);
    // The library is registered under its own locale, 409; callers on other
    // systems ask with theirs. Each class loads first for another one:
    // neutral, Chinese (PRC), the user's default, the system's default,
    // Chinese (Hong Kong).
    const LCID firstLocales[] = {0x0000, 0x0804, 0x0400, 0x0800, 0x0C04};
    ASSERT_EQ(sizeof firstLocales / sizeof firstLocales[0], Classes().size());
    for (std::size_t i = 0; i < Classes().size(); ++i) {
        const ClassRow& row = Classes()[i];
        SCOPED_TRACE(row.name);
        ComPtr<ITypeInfo> byIndex0;
        ComPtr<ITypeInfo> byIndex5;
        ComPtr<ITypeInfo> bySecond;
        ASSERT_EQ(first[i]->GetTypeInfo(0, firstLocales[i], byIndex0.Out()), S_OK);
        ASSERT_EQ(first[i]->GetTypeInfo(5, kLocale, byIndex5.Out()), S_OK);
        ASSERT_EQ(second[i]->GetTypeInfo(0, kLocale, bySecond.Out()), S_OK);
        EXPECT_EQ(byIndex0.Get(), byIndex5.Get());
        EXPECT_EQ(byIndex0.Get(), bySecond.Get());
        TYPEATTR* type = nullptr;
        ASSERT_EQ(byIndex0->GetTypeAttr(&type), S_OK);
        EXPECT_TRUE(IsEqualGUID(type->guid, *row.dual));
        byIndex0->ReleaseTypeAttr(type);
        EXPECT_EQ(WideToUtf8(test::DocumentedName(byIndex0.Get())), std::string("I") + (row.name + 1));

        // The cache answers the exact name; the other case is the type information's.
        LPOLESTR exact[] = {const_cast<LPOLESTR>(L"GetIDsOfNames")};
        LPOLESTR otherCase[] = {const_cast<LPOLESTR>(L"getidsofnames")};
        LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"IsMemberOf")};
        DISPID exactId = DISPID_UNKNOWN;
        DISPID otherId = DISPID_UNKNOWN;
        DISPID expected = DISPID_UNKNOWN;
        EXPECT_EQ(first[i]->GetIDsOfNames(IID_NULL, exact, 1, kLocale, &exactId), S_OK);
        EXPECT_EQ(second[i]->GetIDsOfNames(IID_NULL, otherCase, 1, kLocale, &otherId), S_OK);
        EXPECT_EQ(byIndex0->GetIDsOfNames(exact, 1, &expected), S_OK);
        EXPECT_EQ(exactId, expected);
        EXPECT_EQ(otherId, expected);
        DISPID none = 0;
        EXPECT_EQ(first[i]->GetIDsOfNames(IID_NULL, unknown, 1, kLocale, &none), DISP_E_UNKNOWNNAME);
        DISPPARAMS noArguments = {};
        const HRESULT invoked =
            first[i]->Invoke(1, IID_NULL, kLocale, DISPATCH_METHOD, &noArguments, nullptr, nullptr, nullptr);
        EXPECT_TRUE(FAILED(invoked));
        for (const LCID locale : {0x0000u, 0x0804u, 0x0400u, 0x0800u, 0x0409u}) {
            SCOPED_TRACE(testing::Message() << "locale " << std::hex << locale);
            DISPID id = DISPID_UNKNOWN;
            EXPECT_EQ(second[i]->GetIDsOfNames(IID_NULL, exact, 1, locale, &id), S_OK);
            EXPECT_EQ(id, expected);
            EXPECT_EQ(second[i]->Invoke(1, IID_NULL, locale, DISPATCH_METHOD, &noArguments, nullptr, nullptr,
                                        nullptr),
                      invoked);
        }
    }
}

class DllBehaviourTest : public DllTest {
protected:
    // A running client whose synchronised folder is Sync, with a file in it
    // and one outside.
    void PrepareMenuSelections() {
        test::WriteFile(m_tree / L"outside.txt", "o");
        test::WriteFile(m_tree / L"Sync\\inside.txt", "i");
        m_syncFolder.SetTarget(m_tree / L"Sync");
        m_client.Start();
    }

    test::InstalledClient m_client;
    test::ScratchFolder m_tree;
    test::SyncFolderKey m_syncFolder;
};

TEST_F(DllBehaviourTest, OverlaysAnswerThroughTheExports) {
    test::WriteFile(m_tree / L"Sync\\done.txt", "d");
    test::WriteFile(m_tree / L"Sync\\pending.txt", "p");
    test::WriteFile(m_tree / L"Sync\\failed.txt", "f");
    test::WriteFile(m_tree / L"outside.txt", "o");
    test::ClientDatabase database = test::ClientDatabase::WithStatusRows({
        {WideToUtf8(m_tree / L"Sync\\done.txt"), 0},
        {WideToUtf8(m_tree / L"Sync\\pending.txt"), 1},
        {WideToUtf8(m_tree / L"Sync\\failed.txt"), 2},
    });
    database.configRows = {{"lumbo_path", WideToUtf8(m_tree / L"Sync")}};
    m_client.WriteDatabase(database);
    m_client.Start();

    struct Case {
        const wchar_t* item;
        HRESULT synchronised;  // ClumboExt0
        HRESULT pending;       // ClumboExt1
        HRESULT failed;        // ClumboExt2
    };
    const std::vector<Case> cases = {
        {L"Sync\\done.txt", S_OK, S_FALSE, S_FALSE},
        {L"Sync\\pending.txt", S_FALSE, S_OK, S_FALSE},
        {L"Sync\\failed.txt", S_FALSE, S_FALSE, S_OK},
        {L"outside.txt", S_FALSE, S_FALSE, S_FALSE},
    };
    const CLSID* classes[] = {&CLSID_lumboExt0, &CLSID_lumboExt1, &CLSID_lumboExt2};
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.item));
        const HRESULT expected[] = {c.synchronised, c.pending, c.failed};
        for (int i = 0; i < 3; ++i) {
            ComPtr<IShellIconOverlayIdentifier> overlay;
            ASSERT_EQ(Dll().Create(*classes[i], IID_IShellIconOverlayIdentifier, overlay.OutVoid()), S_OK);
            EXPECT_EQ(overlay->IsMemberOf((m_tree / c.item).c_str(), 0), expected[i]) << "class " << i;
            wchar_t iconFile[MAX_PATH] = {};
            int index = -1;
            DWORD flags = 0;
            ASSERT_EQ(overlay->GetOverlayInfo(iconFile, MAX_PATH, &index, &flags), S_OK);
            // The icons are the DLL's own: its file is named, not the host's.
            EXPECT_EQ(Upper(iconFile), Upper(test::BuiltDllPath()));
            EXPECT_EQ(index, i);
        }
    }
}

TEST_F(DllBehaviourTest, MenuAnswersThroughTheExports) {
    PrepareMenuSelections();
    // This host has no bitmap of its own: one on the item comes from the DLL.
    ASSERT_EQ(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(204), RT_BITMAP), nullptr);

    ComPtr<IShellExtInit> init;
    ASSERT_EQ(Dll().Create(CLSID_lumboShlExt, IID_IShellExtInit, init.OutVoid()), S_OK);
    ComPtr<IDataObject> outside(test::CreateDropFilesDataObject({m_tree / L"outside.txt"}));
    EXPECT_EQ(init->Initialize(nullptr, outside.Get(), nullptr), S_OK);
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.OutVoid()), S_OK);
    const UniqueMenu popup(CreatePopupMenu());
    ASSERT_TRUE(popup);
    EXPECT_EQ(menu->QueryContextMenu(popup.Get(), 0, 100, 200, CMF_NORMAL), 1);
    wchar_t text[64] = {};
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_CHECKMARKS;
    item.dwTypeData = text;
    item.cch = 64;
    ASSERT_TRUE(GetMenuItemInfoW(popup.Get(), 1, TRUE, &item));
    EXPECT_EQ(item.wID, 100u);
    EXPECT_EQ(std::wstring(text), L" \u53D1\u9001\u5230Orvek\u7F51\u76D8");
    EXPECT_NE(item.hbmpUnchecked, nullptr);

    ComPtr<IShellExtInit> refused;
    ASSERT_EQ(Dll().Create(CLSID_lumboShlExt, IID_IShellExtInit, refused.OutVoid()), S_OK);
    ComPtr<IDataObject> inside(test::CreateDropFilesDataObject({m_tree / L"Sync\\inside.txt"}));
    EXPECT_EQ(refused->Initialize(nullptr, inside.Get(), nullptr), E_INVALIDARG);
    // A drop list that names nothing offers nothing, and nothing is copied.
    ComPtr<IDataObject> empty(test::CreateDropFilesDataObject({}));
    EXPECT_EQ(refused->Initialize(nullptr, empty.Get(), nullptr), E_INVALIDARG);
    ComPtr<IContextMenu> refusedMenu;
    ASSERT_EQ(refused->QueryInterface(IID_IContextMenu, refusedMenu.OutVoid()), S_OK);
    CMINVOKECOMMANDINFO copy = {};
    copy.cbSize = sizeof copy;
    copy.lpVerb = MAKEINTRESOURCEA(0);
    EXPECT_EQ(refusedMenu->InvokeCommand(&copy), E_INVALIDARG);

    // The client may store the folder for expansion.
    SetEnvironmentVariableW(L"LUMBO_TEST_TREE", m_tree.Path().c_str());
    const std::wstring expandable = L"%LUMBO_TEST_TREE%\\Sync";
    m_syncFolder.SetRawTarget(REG_EXPAND_SZ, expandable.c_str(),
                            static_cast<DWORD>((expandable.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(init->Initialize(nullptr, outside.Get(), nullptr), S_OK);
    EXPECT_EQ(refused->Initialize(nullptr, inside.Get(), nullptr), E_INVALIDARG);
    SetEnvironmentVariableW(L"LUMBO_TEST_TREE", nullptr);
}

TEST_F(DllBehaviourTest, ExplorerCommandAnswersThroughTheExports) {
    PrepareMenuSelections();

    ComPtr<IExplorerCommand> command;
    ASSERT_EQ(Dll().Create(CLSID_lumboExplorerCommand, IID_IExplorerCommand, command.OutVoid()), S_OK);
    ComPtr<IShellItemArray> outside(test::CreateShellItemArray({m_tree / L"outside.txt"}));
    ComPtr<IShellItemArray> inside(test::CreateShellItemArray({m_tree / L"Sync\\inside.txt"}));
    EXPCMDSTATE state = 0xFFFF;
    EXPECT_EQ(command->GetState(outside.Get(), FALSE, &state), S_OK);
    EXPECT_EQ(state, static_cast<EXPCMDSTATE>(ECS_ENABLED));
    EXPECT_EQ(command->GetState(inside.Get(), FALSE, &state), S_OK);
    EXPECT_EQ(state, static_cast<EXPCMDSTATE>(ECS_HIDDEN));
    EXPECT_EQ(command->Invoke(inside.Get(), nullptr), E_INVALIDARG);

    // The icon is the DLL's own: its file is named, not the host's, and the
    // location loads as an icon.
    LPWSTR icon = nullptr;
    ASSERT_EQ(command->GetIcon(outside.Get(), &icon), S_OK);
    const std::wstring location = icon;
    CoTaskMemFree(icon);
    const std::size_t comma = location.rfind(L',');
    ASSERT_NE(comma, std::wstring::npos);
    EXPECT_EQ(Upper(location.substr(0, comma)), Upper(test::BuiltDllPath()));
    HICON loaded = nullptr;
    EXPECT_EQ(ExtractIconExW(location.substr(0, comma).c_str(), std::stoi(location.substr(comma + 1)), &loaded,
                             nullptr, 1),
              1u);
    ASSERT_NE(loaded, nullptr);
    DestroyIcon(loaded);
}

}  // namespace
}  // namespace lumbo
