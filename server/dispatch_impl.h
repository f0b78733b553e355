#pragma once

// The IDispatch half of a class's dual primary interface, served from the
// type information of that interface.

#include "server/type_info_holder.h"

namespace lumbo {

template <class T, const IID* Iid, const GUID* Libid, WORD Major = 1, WORD Minor = 0,
          class TypeInfoHolder = CComTypeInfoHolder>
class IDispatchImpl : public T {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override {
        return _tih.GetTypeInfo(index, locale, out);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override {
        return _tih.GetIDsOfNames(iid, names, count, locale, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        return _tih.Invoke(static_cast<T*>(this), id, iid, locale, flags, parameters, result,
                           exception, argumentError);
    }

    // One holder per interface, shared by all instances of the class.
    static inline TypeInfoHolder _tih = {Iid, Libid, Major, Minor, nullptr, nullptr, 0};
};

}  // namespace lumbo
