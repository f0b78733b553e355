#pragma once

#include <objbase.h>

namespace lumbo::tools {

// Releases a COM pointer at the end of a scope.
template <class I>
class ComPtr {
public:
    ComPtr() = default;
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
    void** OutVoid() {
        Reset();
        return reinterpret_cast<void**>(&m_pointer);
    }
    explicit operator bool() const { return m_pointer != nullptr; }
    void Reset() {
        if (m_pointer != nullptr) m_pointer->Release();
        m_pointer = nullptr;
    }

private:
    I* m_pointer = nullptr;
};

// CoInitialize for one thread, undone at the end of the scope.
class ComApartment {
public:
    ComApartment() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_result;
};

}  // namespace lumbo::tools
