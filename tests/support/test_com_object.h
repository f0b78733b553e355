#pragma once

// Gives a shell class (which implements only its shell interfaces' own
// methods) the IUnknown half, so tests can create and call it through its real
// COM interfaces without the module's class objects.

#include <atomic>
#include <tuple>

#include <objbase.h>
#include <shlguid.h>
#include <shlobj.h>

#include "server/com_ptr.h"

namespace lumbo::test {

// The IID of each shell interface a test object may answer (MinGW's headers
// give these interfaces no __uuidof).
template <class I>
struct InterfaceId;
#define LUMBO_TEST_INTERFACE_ID(name) \
    template <>                       \
    struct InterfaceId<name> {        \
        static constexpr const IID& kIid = IID_##name; \
    }
LUMBO_TEST_INTERFACE_ID(IShellIconOverlayIdentifier);
LUMBO_TEST_INTERFACE_ID(IShellExtInit);
LUMBO_TEST_INTERFACE_ID(IContextMenu);
LUMBO_TEST_INTERFACE_ID(IDataObject);
#undef LUMBO_TEST_INTERFACE_ID

template <class T, class... Interfaces>
class TestComObject final : public T {
public:
    template <class... Args>
    explicit TestComObject(Args&&... args) : T(static_cast<Args&&>(args)...) {}

    // Creates an instance holding one reference.
    template <class... Args>
    static TestComObject* Create(Args&&... args) {
        auto* object = new TestComObject(static_cast<Args&&>(args)...);
        object->AddRef();
        return object;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown) {
            *out = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
        } else {
            static_cast<void>(
                ((iid == InterfaceId<Interfaces>::kIid ? (*out = static_cast<Interfaces*>(this), true) : false) ||
                 ...));
        }
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG remaining = --m_references;
        if (remaining == 0) delete this;
        return remaining;
    }

private:
    using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    std::atomic<ULONG> m_references{0};
};

using lumbo::ComPtr;

}  // namespace lumbo::test
