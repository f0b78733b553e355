#pragma once

#include <windows.h>
#include <unknwn.h>

namespace lumbo::test {

// An outer object that counts what reaches it and hands every other interface
// to the inner unknown it aggregates.
class CountingOuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        ++queries;
        if (out == nullptr) return E_POINTER;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner == nullptr) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return inner->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { ++addRefs; return ++count; }
    STDMETHODIMP_(ULONG) Release() override { ++releases; return --count; }

    IUnknown* inner = nullptr;
    ULONG count = 1;
    int queries = 0;
    int addRefs = 0;
    int releases = 0;
};

}  // namespace lumbo::test
