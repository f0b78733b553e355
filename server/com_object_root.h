#pragma once

// The reference-count root of every COM class of the extension and the
// interface tables that answer QueryInterface.

#include <cstddef>

#include <windows.h>
#include <unknwn.h>

namespace lumbo {

// The count a dying object carries, so that an AddRef/Release pair made from
// inside its destructor cannot reach zero a second time.
inline constexpr LONG kDestructionValue = -1073741823;  // 0xC0000001

// Plain counts: the object is used from one thread (apartment-threaded).
struct CComSingleThreadModel {
    static LONG Increment(LONG* value) { return ++*value; }
    static LONG Decrement(LONG* value) { return --*value; }
};

// Interlocked counts: the object is shared between threads.
struct CComMultiThreadModel {
    static LONG Increment(LONG* value) { return InterlockedIncrement(value); }
    static LONG Decrement(LONG* value) { return InterlockedDecrement(value); }
};

// One row of an interface table: an IID and the offset of the matching
// interface pointer from the start of the object. A table ends with an
// all-empty row; its first row also answers IUnknown.
struct InterfaceMapEntry {
    const IID* piid;
    DWORD_PTR offset;
};

HRESULT InternalQueryInterface(void* object, const InterfaceMapEntry* entries, REFIID iid,
                               void** out);

// The offset of the Interface part within Class.
template <class Interface, class Class>
DWORD_PTR InterfaceOffset() {
    // Any suitably aligned non-null address serves: only the difference counts.
    constexpr DWORD_PTR kProbe = 0x10000;
    auto* object = reinterpret_cast<Class*>(kProbe);
    return reinterpret_cast<DWORD_PTR>(static_cast<Interface*>(object)) - kProbe;
}

template <class ThreadModel>
class CComObjectRootEx {
public:
    CComObjectRootEx() : m_dwRef(0) {}

    LONG InternalAddRef() { return ThreadModel::Increment(&m_dwRef); }
    LONG InternalRelease() { return ThreadModel::Decrement(&m_dwRef); }

    // The forwarding used by the contained part of an aggregate.
    ULONG OuterAddRef() { return m_pOuterUnknown->AddRef(); }
    ULONG OuterRelease() { return m_pOuterUnknown->Release(); }
    HRESULT OuterQueryInterface(REFIID iid, void** out) {
        return m_pOuterUnknown->QueryInterface(iid, out);
    }

    // Extra steps a class may add; none of ours has any.
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}
    static void ObjectMain(bool /*starting*/) {}

protected:
    // A plain object counts its references; the contained part of an aggregate
    // keeps the outer unknown in the same place instead.
    union {
        LONG m_dwRef;
        IUnknown* m_pOuterUnknown;
    };
};

}  // namespace lumbo

// Declares a class's interface table; the first row is its primary pointer.
//   LUMBO_BEGIN_COM_MAP(ClumboExt0)
//     LUMBO_COM_INTERFACE_ENTRY_IID(IID_IlumboExt0, IlumboExt0)
//     ...
// (IIDs by name: the toolchain's headers do not give every shell interface a
// __uuidof.)
//   LUMBO_END_COM_MAP()
#define LUMBO_BEGIN_COM_MAP(Class)                                                   \
public:                                                                              \
    using ComMapClass = Class;                                                       \
    HRESULT _InternalQueryInterface(REFIID iid, void** out) {                        \
        return ::lumbo::InternalQueryInterface(this, _GetEntries(), iid, out);       \
    }                                                                                \
    IUnknown* GetUnknown() {                                                         \
        return reinterpret_cast<IUnknown*>(reinterpret_cast<std::byte*>(this) +      \
                                           _GetEntries()[0].offset);                 \
    }                                                                                \
    static const ::lumbo::InterfaceMapEntry* _GetEntries() {                         \
        static const ::lumbo::InterfaceMapEntry entries[] = {
#define LUMBO_COM_INTERFACE_ENTRY_IID(iid, Interface) \
    {&(iid), ::lumbo::InterfaceOffset<Interface, ComMapClass>()},
#define LUMBO_END_COM_MAP() \
    {nullptr, 0}            \
    }                       \
    ;                       \
    return entries;         \
    }
