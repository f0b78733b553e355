// The frame's templates and tables against small classes of its own shape:
// interface tables, class objects and their module locks, plain and
// aggregated instances, lifetimes, the module's termination list.
#include <atomic>
#include <cerrno>
#include <iterator>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/atl_exception.h"
#include "server/class_object_table.h"
#include "tests/frame/test_classes.h"
#include "tests/support/test_com_object.h"

namespace lumbo {
namespace {

using test::ComPtr;
using test::CountingOuter;
using test::g_lifetimes;
using test::MenuLike;
using test::OverlayLike;

class TestModule : public CAtlDllModuleT<TestModule> {};
TestModule g_module;

LONG Locks() { return _pAtlModule->ModuleLockCount(); }

template <class I>
I* Query(IUnknown* unknown, REFIID iid) {
    void* out = nullptr;
    return SUCCEEDED(unknown->QueryInterface(iid, &out)) ? static_cast<I*>(out) : nullptr;
}

ULONG CountOf(IUnknown* unknown) {
    unknown->AddRef();
    return unknown->Release();
}

TEST(InterfaceTable, AnswersExactlyItsRows) {
    ComPtr<IUnknown> menu;
    ASSERT_EQ(MenuLike::CreateInstance(nullptr, IID_IUnknown, menu.OutVoid()), S_OK);
    auto* object = static_cast<MenuLike*>(reinterpret_cast<IlumboShlExt*>(menu.Get()));

    struct Row {
        const char* name;
        const IID* iid;
        void* expected;
    };
    const std::vector<Row> rows = {
        {"IUnknown", &IID_IUnknown, static_cast<IlumboShlExt*>(object)},
        {"IlumboShlExt", &IID_IlumboShlExt, static_cast<IlumboShlExt*>(object)},
        {"IDispatch", &IID_IDispatch, static_cast<IlumboShlExt*>(object)},
        {"IShellExtInit", &IID_IShellExtInit, static_cast<IShellExtInit*>(object)},
        {"IContextMenu", &IID_IContextMenu, static_cast<IContextMenu*>(object)},
        {"IShellIconOverlayIdentifier", &IID_IShellIconOverlayIdentifier, nullptr},
        {"IClassFactory", &IID_IClassFactory, nullptr},
        {"IlumboExt0", &IID_IlumboExt0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        void* out = reinterpret_cast<void*>(1);
        const HRESULT result = menu->QueryInterface(*row.iid, &out);
        EXPECT_EQ(result, row.expected != nullptr ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(out, row.expected);
        if (out != nullptr) static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(CountOf(menu.Get()), 1u);  // every answer's reference was the caller's
    EXPECT_EQ(menu->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(InterfaceTable, RefusesMissingObjectOrTable) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(InternalQueryInterface(nullptr, OverlayLike::_GetEntries(), IID_IUnknown, &out),
              E_INVALIDARG);
    int object = 0;
    EXPECT_EQ(InternalQueryInterface(&object, nullptr, IID_IUnknown, &out), E_INVALIDARG);
    const InterfaceMapEntry empty[] = {{nullptr, 0}};
    EXPECT_EQ(InternalQueryInterface(&object, empty, IID_IUnknown, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST(Instance, IdentityAndDelegationBetweenPointers) {
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(OverlayLike::CreateInstance(nullptr, IID_IUnknown, unknown.OutVoid()), S_OK);
    ComPtr<IlumboExt0> primary(Query<IlumboExt0>(unknown.Get(), IID_IlumboExt0));
    ComPtr<IShellIconOverlayIdentifier> overlay(
        Query<IShellIconOverlayIdentifier>(unknown.Get(), IID_IShellIconOverlayIdentifier));
    ASSERT_TRUE(primary && overlay);
    EXPECT_EQ(static_cast<void*>(primary.Get()), static_cast<void*>(unknown.Get()));
    EXPECT_NE(static_cast<void*>(overlay.Get()), static_cast<void*>(unknown.Get()));
    ComPtr<IUnknown> back(Query<IUnknown>(overlay.Get(), IID_IUnknown));
    EXPECT_EQ(back.Get(), unknown.Get());
    // One count behind all pointers: unknown, primary, overlay, back.
    EXPECT_EQ(CountOf(overlay.Get()), 4u);
    int priority = 0;
    EXPECT_EQ(overlay->GetPriority(&priority), S_OK);
    EXPECT_EQ(priority, 42);
}

TEST(Instance, LocksTheModuleWhileAliveAndDiesOnce) {
    g_lifetimes = {};
    ASSERT_EQ(Locks(), 0);
    IShellIconOverlayIdentifier* overlay = nullptr;
    ASSERT_EQ(OverlayLike::CreateInstance(nullptr, IID_IShellIconOverlayIdentifier,
                                          reinterpret_cast<void**>(&overlay)),
              S_OK);
    EXPECT_EQ(Locks(), 1);
    EXPECT_EQ(overlay->AddRef(), 2u);
    EXPECT_EQ(overlay->Release(), 1u);
    EXPECT_EQ(overlay->Release(), 0u);
    EXPECT_EQ(g_lifetimes.constructed, 1);
    EXPECT_EQ(g_lifetimes.destroyed, 1);
    EXPECT_EQ(g_lifetimes.countSeenAtFinalRelease, kDestructionValue);
    // The module is unlocked before the class's own clean-up runs.
    EXPECT_EQ(g_lifetimes.moduleLocksAtClassCleanup, 0);
    EXPECT_EQ(Locks(), 0);
}

TEST(Instance, FailedCreationLeavesNothingBehind) {
    g_lifetimes = {};
    void* out = reinterpret_cast<void*>(1);
    // An interface outside the table: the new object is destroyed again.
    EXPECT_EQ(OverlayLike::CreateInstance(nullptr, IID_IContextMenu, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_lifetimes.constructed, g_lifetimes.destroyed);
    EXPECT_EQ(Locks(), 0);
    // A constructor that throws: out of memory, whatever it threw.
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateClassInstance<test::UnbuildableOverlay>(nullptr, IID_IUnknown, &out),
              E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Locks(), 0);
    out = reinterpret_cast<void*>(1);
    CountingOuter outer;
    EXPECT_EQ(CreateClassInstance<test::UnbuildableOverlay>(&outer, IID_IUnknown, &out),
              E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Locks(), 0);
    EXPECT_EQ(OverlayLike::CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST(Instance, FinalConstructionDecidesWithTheObjectKeptAlive) {
    using test::FinalStep;
    struct Case {
        const char* name;
        FinalStep step;
        bool aggregated;
        HRESULT expected;
    };
    const std::vector<Case> cases = {
        {"plain, succeeds", FinalStep::kSucceeds, false, S_OK},
        {"plain, fails", FinalStep::kFails, false, E_ACCESSDENIED},
        {"plain, throws", FinalStep::kThrows, false, E_OUTOFMEMORY},
        {"plain, reference taken and dropped", FinalStep::kTakesAndDropsAReference, false, S_OK},
        {"aggregated, fails", FinalStep::kFails, true, E_ACCESSDENIED},
        {"aggregated, throws", FinalStep::kThrows, true, E_OUTOFMEMORY},
        {"aggregated, reference taken and dropped", FinalStep::kTakesAndDropsAReference, true, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_lifetimes = {};
        test::g_finalStep = c.step;
        CountingOuter outer;
        void* out = reinterpret_cast<void*>(1);
        const HRESULT result = CreateClassInstance<test::FinallyConstructedOverlay>(
            c.aggregated ? &outer : nullptr, IID_IUnknown, &out);
        EXPECT_EQ(result, c.expected);
        if (SUCCEEDED(result)) {
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(g_lifetimes.destroyed, 0);  // alive after its own reference came and went
            EXPECT_EQ(Locks(), 1);
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u);
        } else {
            EXPECT_EQ(out, nullptr);
        }
        EXPECT_EQ(g_lifetimes.constructed, 1);
        EXPECT_EQ(g_lifetimes.destroyed, 1);
        EXPECT_EQ(Locks(), 0);
    }
    test::g_finalStep = test::FinalStep::kSucceeds;
}

TEST(Aggregation, InnerInterfacesDelegateToTheOuterObject) {
    g_lifetimes = {};
    CountingOuter outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(OverlayLike::CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    outer.inner = inner;
    EXPECT_EQ(Locks(), 1);
    EXPECT_EQ(outer.queries + outer.addRefs + outer.releases, 0);

    // The aggregate's own unknown is not the outer one and keeps its own count.
    EXPECT_NE(static_cast<void*>(inner), static_cast<void*>(&outer));
    IUnknown* innerAgain = Query<IUnknown>(inner, IID_IUnknown);
    EXPECT_EQ(innerAgain, inner);
    EXPECT_EQ(innerAgain->Release(), 1u);

    IShellIconOverlayIdentifier* overlay =
        Query<IShellIconOverlayIdentifier>(inner, IID_IShellIconOverlayIdentifier);
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(outer.addRefs, 1);  // the answer's reference went to the outer object

    overlay->AddRef();
    overlay->Release();
    EXPECT_EQ(outer.addRefs, 2);
    EXPECT_EQ(outer.releases, 1);

    IUnknown* identity = Query<IUnknown>(overlay, IID_IUnknown);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.queries, 1);
    identity->Release();
    overlay->Release();
    EXPECT_EQ(outer.count, 1u);

    outer.inner = nullptr;
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(g_lifetimes.destroyed, 1);
    EXPECT_EQ(Locks(), 0);
}

TEST(Aggregation, OnlyForIUnknown) {
    ComPtr<IUnknown> factoryUnknown;
    ASSERT_EQ(CreateClassObject(&OverlayLike::CreateInstance, IID_IUnknown, factoryUnknown.OutVoid()),
              S_OK);
    ComPtr<IClassFactory> factory(Query<IClassFactory>(factoryUnknown.Get(), IID_IClassFactory));
    ASSERT_TRUE(factory);
    CountingOuter outer;
    void* out = reinterpret_cast<void*>(1);
    for (const IID* iid : {&IID_IShellIconOverlayIdentifier, &IID_IDispatch, &IID_IlumboExt0}) {
        EXPECT_EQ(factory->CreateInstance(&outer, *iid, &out), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(outer.queries + outer.addRefs, 0);
    ComPtr<IUnknown> inner;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.OutVoid()), S_OK);
    ASSERT_TRUE(inner);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

// A class-object creator that fails the first time, as an allocation might.
int g_creatorCalls = 0;
HRESULT WINAPI FailingOnceCreator(CreatorFunction instanceCreator, REFIID iid, void** out) {
    if (g_creatorCalls++ == 0) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    return CreateClassObject(instanceCreator, iid, out);
}

class ClassTableTest : public ::testing::Test {
protected:
    ClassMapEntry m_entries[3] = {
        {},  // an empty row is skipped
        MakeClassMapEntry<OverlayLike, 102>(),
        MakeClassMapEntry<MenuLike, 105>(),
    };
    ClassObjectTable m_table{GetModuleHandleW(nullptr), m_entries, std::size(m_entries)};
};

TEST_F(ClassTableTest, CachesOneClassObjectThatLocksOnlyWhenHeld) {
    ASSERT_EQ(Locks(), 0);
    ComPtr<IClassFactory> first;
    ComPtr<IClassFactory> second;
    ASSERT_EQ(GetClassObject(&m_table, CLSID_lumboExt0, IID_IClassFactory, first.OutVoid()), S_OK);
    EXPECT_EQ(Locks(), 1);
    ASSERT_EQ(GetClassObject(&m_table, CLSID_lumboExt0, IID_IClassFactory, second.OutVoid()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(Locks(), 1);  // one lock while anyone besides the table holds it
    second.Reset();
    EXPECT_EQ(Locks(), 1);
    first.Reset();
    EXPECT_EQ(Locks(), 0);
    EXPECT_NE(m_entries[1].pCF, nullptr);  // still cached
    EXPECT_EQ(m_entries[2].pCF, nullptr);  // the other class was never asked for
}

TEST_F(ClassTableTest, ServerLocksInstancesAndReferencesAddUp) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(GetClassObject(&m_table, CLSID_lumboShlExt, IID_IClassFactory, factory.OutVoid()),
              S_OK);
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, menu.OutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(Locks(), 3);
    factory.Reset();
    EXPECT_EQ(Locks(), 2);
    menu.Reset();
    EXPECT_EQ(Locks(), 1);
    ASSERT_EQ(GetClassObject(&m_table, CLSID_lumboShlExt, IID_IClassFactory, factory.OutVoid()),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(Locks(), 1);
    factory.Reset();
    EXPECT_EQ(Locks(), 0);
}

TEST_F(ClassTableTest, RequestsThatFail) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetClassObject(&m_table, CLSID_lumboExt0, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(m_entries[1].pCF, nullptr);  // the class object stays cached
    EXPECT_EQ(Locks(), 0);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetClassObject(&m_table, CLSID_lumboExt2, IID_IClassFactory, &out),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(GetClassObject(&m_table, CLSID_lumboExt0, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(GetClassObject(nullptr, CLSID_lumboExt0, IID_IClassFactory, &out), E_INVALIDARG);
    m_table.Term();
    EXPECT_EQ(m_entries[1].pCF, nullptr);
    EXPECT_EQ(GetClassObject(&m_table, CLSID_lumboExt0, IID_IClassFactory, &out), E_UNEXPECTED);
}

TEST_F(ClassTableTest, AFailedCreationIsTriedAgain) {
    m_entries[1].pfnGetClassObject = &FailingOnceCreator;
    g_creatorCalls = 0;
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(GetClassObject(&m_table, CLSID_lumboExt0, IID_IClassFactory, factory.OutVoid()),
              E_OUTOFMEMORY);
    EXPECT_EQ(m_entries[1].pCF, nullptr);
    EXPECT_EQ(GetClassObject(&m_table, CLSID_lumboExt0, IID_IClassFactory, factory.OutVoid()), S_OK);
    EXPECT_TRUE(factory);
    EXPECT_EQ(g_creatorCalls, 2);
}

// A creator slow enough that concurrent first requests overlap inside it.
std::atomic<int> g_slowCreations{0};
HRESULT WINAPI SlowCreator(CreatorFunction instanceCreator, REFIID iid, void** out) {
    ++g_slowCreations;
    Sleep(50);
    return CreateClassObject(instanceCreator, iid, out);
}

TEST_F(ClassTableTest, ConcurrentFirstRequestsCreateOneClassObject) {
    m_entries[2].pfnGetClassObject = &SlowCreator;
    g_slowCreations = 0;
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(start, nullptr);
    constexpr int kThreads = 4;
    IClassFactory* factories[kThreads] = {};
    HRESULT results[kThreads] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            WaitForSingleObject(start, INFINITE);
            results[i] = GetClassObject(&m_table, CLSID_lumboShlExt, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factories[i]));
        });
    }
    SetEvent(start);
    for (std::thread& thread : threads) thread.join();
    CloseHandle(start);
    EXPECT_EQ(g_slowCreations, 1);
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(results[i], S_OK);
        EXPECT_EQ(factories[i], factories[0]);
    }
    EXPECT_EQ(Locks(), 1);
    for (IClassFactory* factory : factories) {
        if (factory != nullptr) factory->Release();
    }
    EXPECT_EQ(Locks(), 0);
}

TEST(ClassTable, ClassObjectAnswersOnlyIClassFactory) {
    ComPtr<IUnknown> object;
    ASSERT_EQ(CreateClassObject(&MenuLike::CreateInstance, IID_IUnknown, object.OutVoid()), S_OK);
    EXPECT_EQ(Locks(), 0);  // the creator's own reference is the table's
    void* out = reinterpret_cast<void*>(1);
    for (const IID* iid : {&IID_IDispatch, &IID_IContextMenu, &IID_IClassFactory2}) {
        EXPECT_EQ(object->QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateClassObject(&MenuLike::CreateInstance, IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(Locks(), 0);
}

std::vector<int> g_termOrder;
void WINAPI RecordTerm(DWORD_PTR argument) { g_termOrder.push_back(static_cast<int>(argument)); }

TEST(Module, TerminationRunsCallbacksNewestFirstOnce) {
    g_termOrder.clear();
    {
        CAtlModule module;  // becomes the published module for its lifetime
        EXPECT_EQ(_pAtlModule, &module);
        EXPECT_NE(module.cbSize, 0u);
        EXPECT_EQ(module.m_libid, &LIBID_lumboExtLib);
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(module.AddTermCallback(&RecordTerm, i), S_OK);
        module.Term();
        EXPECT_EQ(module.cbSize, 0u);
        EXPECT_EQ(g_termOrder, (std::vector<int>{3, 2, 1}));
        // After termination nothing would run a new callback.
        EXPECT_EQ(module.AddTermCallback(&RecordTerm, 4), E_UNEXPECTED);
    }
    EXPECT_EQ(g_termOrder.size(), 3u);
    _pAtlModule = &g_module;
}

TEST(Module, CommonVariablesNameTheAppId) {
    std::vector<std::pair<std::wstring, std::wstring>> added;
    EXPECT_EQ(g_module.AddCommonVariables([&](const wchar_t* name, const wchar_t* value) {
        added.emplace_back(name, value);
        return S_OK;
    }),
              S_OK);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].first, L"APPID");
    EXPECT_EQ(added[0].second, L"{F9BF3A22-B2EB-45A1-AEAC-30C260A73A27}");
    EXPECT_EQ(g_module.AddCommonVariables(nullptr), E_INVALIDARG);
    // Registration is not faked before the registrar exists.
    const ClassMapEntry entry = MakeClassMapEntry<OverlayLike, 102>();
    EXPECT_TRUE(FAILED(entry.pfnUpdateRegistry(TRUE)));
}

TEST(Module, GlobalInterfaceTableOnRequest) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(g_module.GetGITPtr(nullptr), E_POINTER);
    ComPtr<IGlobalInterfaceTable> first;
    ComPtr<IGlobalInterfaceTable> second;
    EXPECT_EQ(g_module.GetGITPtr(first.Out()), S_OK);
    EXPECT_EQ(g_module.GetGITPtr(second.Out()), S_OK);
    EXPECT_TRUE(first);
    EXPECT_EQ(first.Get(), second.Get());
    first.Reset();
    second.Reset();
    CoUninitialize();
}

}  // namespace
}  // namespace lumbo

namespace lumbo {
namespace {

HRESULT CopyResult(wchar_t* destination, std::size_t capacity, const wchar_t* source, bool truncate) {
    try {
        CopyBounded(destination, capacity, source, truncate);
        return S_OK;
    } catch (const CAtlException& error) {
        return error.Result();
    }
}

TEST(BoundedCopy, FitsTruncatesOrRaises) {
    struct Case {
        const char* name;
        std::size_t capacity;
        const wchar_t* source;
        bool truncate;
        HRESULT expected;
        const wchar_t* result;
    };
    const std::vector<Case> cases = {
        {"fits", 6, L"hello", false, S_OK, L"hello"},
        {"too long", 5, L"hello", false, E_INVALIDARG, L""},
        {"too long, truncation asked for", 5, L"hello", true, S_OK, L"hell"},
        {"empty source", 1, L"", false, S_OK, L""},
        {"no room at all", 0, L"x", true, E_INVALIDARG, L"#"},
        {"no source", 4, nullptr, false, E_INVALIDARG, L"#"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t buffer[8] = {L'#', 0, L'!', L'!', L'!', L'!', L'!', L'!'};
        EXPECT_EQ(CopyResult(buffer, c.capacity, c.source, c.truncate), c.expected);
        EXPECT_STREQ(buffer, c.result);
        EXPECT_EQ(buffer[6], L'!');  // nothing written past the capacity
    }
    try {
        AtlCrtErrorCheck(ENOMEM);
        ADD_FAILURE() << "no exception";
    } catch (const CAtlException& error) {
        EXPECT_EQ(error.Result(), E_OUTOFMEMORY);
    }
    try {
        AtlCrtErrorCheck(EACCES);
        ADD_FAILURE() << "no exception";
    } catch (const CAtlException& error) {
        EXPECT_EQ(error.Result(), E_FAIL);
    }
}

}  // namespace
}  // namespace lumbo
