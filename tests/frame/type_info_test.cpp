// The type library built from lumboExt.idl, and the type-information holder
// serving IDispatch from it, through a class of the frame's shape.
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/frame/test_classes.h"
#include "tests/frame/type_library.h"
#include "tests/support/test_com_object.h"

namespace lumbo {
namespace {

using test::ComPtr;

TEST(TypeLibrary, HoldsTheFiveClassesAndTheirDualInterfaces) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(test::BuiltDllPath().c_str(), REGKIND_NONE, library.Out()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_lumboExtLib));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0x0409u);
    EXPECT_EQ(attributes->syskind, test::kBuiltSysKind);
    library->ReleaseTLibAttr(attributes);

    struct Row {
        TYPEKIND kind;
        const wchar_t* name;
        const GUID* guid;
    };
    const std::vector<Row> rows = {
        {TKIND_COCLASS, L"lumboExt0", &CLSID_lumboExt0},   {TKIND_DISPATCH, L"IlumboExt0", &IID_IlumboExt0},
        {TKIND_COCLASS, L"lumboExt1", &CLSID_lumboExt1},   {TKIND_DISPATCH, L"IlumboExt1", &IID_IlumboExt1},
        {TKIND_COCLASS, L"lumboExt2", &CLSID_lumboExt2},   {TKIND_DISPATCH, L"IlumboExt2", &IID_IlumboExt2},
        {TKIND_COCLASS, L"lumboShlExt", &CLSID_lumboShlExt}, {TKIND_DISPATCH, L"IlumboShlExt", &IID_IlumboShlExt},
        {TKIND_COCLASS, L"lumboExplorerCommand", &CLSID_lumboExplorerCommand},
        {TKIND_DISPATCH, L"IlumboExplorerCommand", &IID_IlumboExplorerCommand},
    };
    ASSERT_EQ(library->GetTypeInfoCount(), rows.size());
    for (UINT i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfo(i, info.Out()), S_OK);
        TYPEATTR* type = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&type), S_OK);
        EXPECT_EQ(type->typekind, rows[i].kind);
        EXPECT_TRUE(IsEqualGUID(type->guid, *rows[i].guid));
        EXPECT_EQ(test::DocumentedName(info.Get()), rows[i].name);
        EXPECT_EQ(type->wMajorVerNum, 0);
        if (rows[i].kind == TKIND_COCLASS) {
            EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FCANCREATE);
            ASSERT_EQ(type->cImplTypes, 1);
            INT flags = 0;
            EXPECT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
            EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
            HREFTYPE reference = 0;
            ComPtr<ITypeInfo> implemented;
            ASSERT_EQ(info->GetRefTypeOfImplType(0, &reference), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(reference, implemented.Out()), S_OK);
            EXPECT_EQ(test::DocumentedName(implemented.Get()), rows[i + 1].name);
        } else {
            const WORD wanted = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
            EXPECT_EQ(type->wTypeFlags & wanted, wanted);
            EXPECT_EQ(type->cFuncs, 7);  // the inherited IUnknown and IDispatch methods
            EXPECT_EQ(type->cVars, 0);
            // The interface side of the dual: no functions of its own, seven slots.
            HREFTYPE reference = 0;
            ComPtr<ITypeInfo> vtable;
            ASSERT_EQ(info->GetRefTypeOfImplType(-1, &reference), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(reference, vtable.Out()), S_OK);
            TYPEATTR* vtableType = nullptr;
            ASSERT_EQ(vtable->GetTypeAttr(&vtableType), S_OK);
            EXPECT_EQ(vtableType->typekind, TKIND_INTERFACE);
            EXPECT_EQ(vtableType->cFuncs, 0);
            EXPECT_EQ(vtableType->cbSizeVft, 7 * sizeof(void*));
            EXPECT_TRUE(vtableType->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
            vtable->ReleaseTypeAttr(vtableType);
        }
        info->ReleaseTypeAttr(type);
    }
}

// The help string the library documents for a type (or itself, index -1).
std::wstring HelpString(ITypeLib* library, INT index) {
    BSTR text = nullptr;
    if (FAILED(library->GetDocumentation(index, nullptr, &text, nullptr, nullptr))) return L"?";
    std::wstring help(text, SysStringLen(text));
    SysFreeString(text);
    return help;
}

std::string InAnsiCodePage(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

TEST(TypeLibrary, HelpStringsAreStoredInGbkAndReadAsChineseUnderCodePage936) {
    const char* expectedCodePage = std::getenv("LUMBO_EXPECT_ACP");
    ASSERT_NE(expectedCodePage, nullptr) << "LUMBO_EXPECT_ACP is not set";
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expectedCodePage)));

    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(test::BuiltDllPath().c_str(), REGKIND_NONE, library.Out()), S_OK);
    struct Row {
        INT index;
        const wchar_t* text;
        const char* gbk;  // the stored bytes
    };
    const Row rows[] = {
        {-1, L"lumboExt 1.0 \u7C7B\u578B\u5E93", "lumboExt 1.0 \xC0\xE0\xD0\xCD\xBF\xE2"},
        {0, L"lumboExt0 Class", "lumboExt0 Class"},
        {1, L"IlumboExt0 \u63A5\u53E3", "IlumboExt0 \xBD\xD3\xBF\xDA"},
        {2, L"lumboExt1 Class", "lumboExt1 Class"},
        {3, L"IlumboExt1 \u63A5\u53E3", "IlumboExt1 \xBD\xD3\xBF\xDA"},
        {4, L"lumboExt2 Class", "lumboExt2 Class"},
        {5, L"IlumboExt2 \u63A5\u53E3", "IlumboExt2 \xBD\xD3\xBF\xDA"},
        {6, L"lumboShlExt Class", "lumboShlExt Class"},
        {7, L"IlumboShlExt \u63A5\u53E3", "IlumboShlExt \xBD\xD3\xBF\xDA"},
        {8, L"lumboExplorerCommand Class", "lumboExplorerCommand Class"},
        {9, L"IlumboExplorerCommand \u63A5\u53E3", "IlumboExplorerCommand \xBD\xD3\xBF\xDA"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "type " << row.index);
        const std::wstring help = HelpString(library.Get(), row.index);
        // The platform reads the stored bytes in the ANSI code page; under
        // 1252 they come back as Latin letters, the same bytes.
        EXPECT_EQ(InAnsiCodePage(help), row.gbk);
        if (GetACP() == 936) {
            EXPECT_EQ(help, row.text);
        }
    }
}

class TypeInfoHolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = _pAtlModule;
        m_module = std::make_unique<CAtlModule>();  // its termination is checked below
        ASSERT_EQ(CreateClassInstance<test::OverlayLike>(nullptr, IID_IDispatch, m_first.OutVoid()), S_OK);
        ASSERT_EQ(CreateClassInstance<test::OverlayLike>(nullptr, IID_IDispatch, m_second.OutVoid()), S_OK);
    }
    void TearDown() override {
        m_first.Reset();
        m_second.Reset();
        m_module.reset();
        _pAtlModule = m_previous;
    }

    // The library's own locale: Wine finds a library registered under 409
    // for 409 (or a sublanguage of English) only, not for the neutral 0.
    static constexpr LCID kLocale = 0x0409;

    static CComTypeInfoHolder& Holder() { return test::OverlayLike::_tih; }

    test::TypeLibraryRegistration m_registration;
    CAtlModule* m_previous = nullptr;
    std::unique_ptr<CAtlModule> m_module;
    ComPtr<IDispatch> m_first;
    ComPtr<IDispatch> m_second;
};

TEST_F(TypeInfoHolderTest, LoadsOnceRegisteredCachesNamesAndReleasesAtTermination) {
    UINT count = 0;
    EXPECT_EQ(m_first->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(m_first->GetTypeInfoCount(nullptr), E_POINTER);

    // Not registered: every way in fails, and nothing stays loaded.
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    const HRESULT unregistered = m_first->GetTypeInfo(0, kLocale, &info);
    EXPECT_TRUE(FAILED(unregistered));
    EXPECT_EQ(info, nullptr);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Invoke")};
    DISPID id = 0;
    EXPECT_EQ(m_first->GetIDsOfNames(IID_NULL, names, 1, kLocale, &id), unregistered);
    DISPPARAMS none = {};
    EXPECT_EQ(m_first->Invoke(0x60010000, IID_NULL, kLocale, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              unregistered);
    EXPECT_EQ(Holder().m_pInfo, nullptr);
    EXPECT_EQ(m_first->GetTypeInfo(0, kLocale, nullptr), E_POINTER);

    ASSERT_EQ(test::RegisterLumboTypeLibrary(test::BuiltDllPath()), S_OK);
    ComPtr<ITypeInfo> byFirst;
    ComPtr<ITypeInfo> bySecond;
    ASSERT_EQ(m_first->GetTypeInfo(0, kLocale, byFirst.Out()), S_OK);
    ASSERT_EQ(m_second->GetTypeInfo(5, kLocale, bySecond.Out()), S_OK);
    EXPECT_EQ(byFirst.Get(), bySecond.Get());
    EXPECT_EQ(test::DocumentedName(byFirst.Get()), L"IlumboExt0");

    // The richer interface is kept when offered.
    ComPtr<ITypeInfo2> richer;
    ASSERT_EQ(byFirst->QueryInterface(IID_ITypeInfo2, richer.OutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(Holder().m_pInfo), static_cast<void*>(richer.Get()));

    // The cache holds every function of the interface with its member id.
    ASSERT_EQ(Holder().m_nCount, 7);
    ASSERT_NE(Holder().m_pMap, nullptr);
    std::set<std::wstring> cached;
    for (int i = 0; i < Holder().m_nCount; ++i) {
        const NameCacheEntry& entry = Holder().m_pMap[i];
        cached.insert(entry.name);
        EXPECT_EQ(entry.length, SysStringLen(entry.name));
        EXPECT_NE(entry.id, DISPID_UNKNOWN);
    }
    EXPECT_EQ(cached, (std::set<std::wstring>{L"QueryInterface", L"AddRef", L"Release", L"GetTypeInfoCount",
                                              L"GetTypeInfo", L"GetIDsOfNames", L"Invoke"}));

    // A hit, a miss on letter case (answered by the type information), no name.
    EXPECT_EQ(m_first->GetIDsOfNames(IID_NULL, names, 1, kLocale, &id), S_OK);
    DISPID fromTypeInfo = 0;
    EXPECT_EQ(byFirst->GetIDsOfNames(names, 1, &fromTypeInfo), S_OK);
    EXPECT_EQ(id, fromTypeInfo);
    LPOLESTR otherCase[] = {const_cast<LPOLESTR>(L"INVOKE")};
    DISPID caseId = 0;
    EXPECT_EQ(m_second->GetIDsOfNames(IID_NULL, otherCase, 1, kLocale, &caseId), S_OK);
    EXPECT_EQ(caseId, id);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"IsMemberOf")};
    EXPECT_EQ(m_first->GetIDsOfNames(IID_NULL, unknown, 1, kLocale, &caseId), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(m_first->GetIDsOfNames(IID_NULL, names, 1, kLocale, nullptr), E_POINTER);

    // The interface adds no members of its own: the type information refuses.
    EXPECT_TRUE(FAILED(m_first->Invoke(1, IID_NULL, kLocale, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr)));

    byFirst.Reset();
    bySecond.Reset();
    richer.Reset();
    m_module->Term();
    EXPECT_EQ(Holder().m_pInfo, nullptr);
    EXPECT_EQ(Holder().m_pMap, nullptr);
}

TEST(TypeInfoHolder, EveryWayInLoadsForNeutralChineseAndDefaultLocales) {
    test::TypeLibraryRegistration registration;
    ASSERT_EQ(test::RegisterLumboTypeLibrary(test::BuiltDllPath()), S_OK);
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(test::BuiltDllPath().c_str(), REGKIND_NONE, library.Out()), S_OK);
    ComPtr<ITypeInfo> expected;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IlumboExt1, expected.Out()), S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetTypeInfo")};
    DISPID expectedId = DISPID_UNKNOWN;
    ASSERT_EQ(expected->GetIDsOfNames(names, 1, &expectedId), S_OK);

    CAtlModule* previous = _pAtlModule;
    // Neutral, Chinese (PRC), the user's and the system's default, and the
    // library's own.
    for (const LCID locale : {0x0000u, 0x0804u, 0x0400u, 0x0800u, 0x0409u, 0x0009u}) {
        for (const char* way : {"GetTypeInfo", "GetIDsOfNames", "Invoke"}) {
            SCOPED_TRACE(testing::Message() << way << " with locale " << std::hex << locale);
            CAtlModule module;
            // A holder that has loaded nothing yet: this call is the first.
            CComTypeInfoHolder holder = {&IID_IlumboExt1, &LIBID_lumboExtLib, 1, 0, nullptr, nullptr, 0};
            if (std::string(way) == "GetTypeInfo") {
                ComPtr<ITypeInfo> info;
                ASSERT_EQ(holder.GetTypeInfo(0, locale, info.Out()), S_OK);
                EXPECT_EQ(test::DocumentedName(info.Get()), L"IlumboExt1");
            } else if (std::string(way) == "GetIDsOfNames") {
                DISPID id = DISPID_UNKNOWN;
                ASSERT_EQ(holder.GetIDsOfNames(IID_NULL, names, 1, locale, &id), S_OK);
                EXPECT_EQ(id, expectedId);
            } else {
                // The interface has no member 1: the type information's own
                // answer, not a library that cannot be found.
                DISPPARAMS none = {};
                const HRESULT direct = expected->Invoke(expected.Get(), 1, DISPATCH_METHOD, &none, nullptr,
                                                        nullptr, nullptr);
                EXPECT_NE(direct, TYPE_E_LIBNOTREGISTERED);
                EXPECT_EQ(holder.Invoke(reinterpret_cast<IDispatch*>(expected.Get()), 1, IID_NULL, locale,
                                        DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
                          direct);
                EXPECT_NE(holder.m_pInfo, nullptr);
            }
            module.Term();
            EXPECT_EQ(holder.m_pInfo, nullptr);
        }
    }
    _pAtlModule = previous;

    // Not registered under any locale: still the platform's answer.
    ASSERT_EQ(test::UnregisterLumboTypeLibrary(), S_OK);
    {
        CAtlModule module;
        CComTypeInfoHolder holder = {&IID_IlumboExt1, &LIBID_lumboExtLib, 1, 0, nullptr, nullptr, 0};
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
        EXPECT_EQ(holder.GetTypeInfo(0, 0x0804, &info), TYPE_E_LIBNOTREGISTERED);
        EXPECT_EQ(info, nullptr);
        module.Term();
    }
    _pAtlModule = previous;
}

TEST(TypeInfoHolder, NoModuleNoLoading) {
    CAtlModule* previous = _pAtlModule;
    {
        CAtlModule module;
        module.Term();  // a module whose lock is gone
        CComTypeInfoHolder holder = {&IID_IlumboExt2, &LIBID_lumboExtLib, 1, 0, nullptr, nullptr, 0};
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
        EXPECT_EQ(holder.GetTypeInfo(0, 0x0409, &info), E_UNEXPECTED);
        EXPECT_EQ(info, nullptr);
    }
    _pAtlModule = previous;
}

}  // namespace
}  // namespace lumbo
