#pragma once

// Gives a shell class (which implements only its shell interfaces' own
// methods) the IUnknown half, so tests can create and call it through its real
// COM interfaces without the module's class objects.

#include <atomic>

#include <objbase.h>

namespace lumbo::test {

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
            *out = static_cast<IUnknown*>(static_cast<typename First<Interfaces...>::type*>(this));
        } else {
            ((iid == __uuidof(Interfaces) ? (*out = static_cast<Interfaces*>(this), true) : false) || ...);
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
    // A class, not an alias: GCC refuses a pack expanded into an alias's
    // fixed parameter.
    template <class Head, class...>
    struct First {
        using type = Head;
    };

    std::atomic<ULONG> m_references{0};
};

// Releases a COM pointer at the end of a scope.
template <class I>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(I* pointer) : m_pointer(pointer) {}
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    I* Get() const { return m_pointer; }
    I* operator->() const { return m_pointer; }
    I** Out() {
        Reset();
        return &m_pointer;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    explicit operator bool() const { return m_pointer != nullptr; }
    void Reset() {
        if (m_pointer != nullptr) m_pointer->Release();
        m_pointer = nullptr;
    }

private:
    I* m_pointer = nullptr;
};

}  // namespace lumbo::test
