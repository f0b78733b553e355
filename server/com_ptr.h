#pragma once

#include <objbase.h>

namespace lumbo {

// Owns one reference to a COM interface and releases it at the end of a scope.
template <class I>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    explicit ComPtr(I* pointer) : m_pointer(pointer) {}
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : m_pointer(other.m_pointer) { other.m_pointer = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_pointer = other.m_pointer;
            other.m_pointer = nullptr;
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    I* Get() const { return m_pointer; }
    I* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // For functions that hand out a new reference.
    I** Out() {
        Reset();
        return &m_pointer;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }

    void Reset() {
        if (m_pointer != nullptr) m_pointer->Release();
        m_pointer = nullptr;
    }

private:
    I* m_pointer = nullptr;
};

}  // namespace lumbo
