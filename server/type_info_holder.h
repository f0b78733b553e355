#pragma once

// The type information of one automation interface, loaded lazily from the
// registered type library and shared by every instance of its class, with a
// cache of its member names.

#include <windows.h>
#include <oaidl.h>

namespace lumbo {

struct NameCacheEntry {
    BSTR name;
    UINT length;  // UTF-16 units
    DISPID id;
};

// A plain aggregate, so that a static holder is ready before any constructor
// runs.
class CComTypeInfoHolder {
public:
    const GUID* m_pguid;
    const GUID* m_plibid;
    WORD m_wMajor;
    WORD m_wMinor;
    ITypeInfo* m_pInfo;
    NameCacheEntry* m_pMap;
    int m_nCount;

    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** out);
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids);
    HRESULT Invoke(IDispatch* instance, DISPID id, REFIID iid, LCID locale, WORD flags,
                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                   UINT* argumentError);

    HRESULT EnsureTypeInfo(LCID locale);
    HRESULT BuildNameCache(ITypeInfo* info);
    // Run at module termination for each holder that loaded its information.
    static void WINAPI ReleaseTypeInfo(DWORD_PTR holder);

private:
    void ReleaseAll();
};

}  // namespace lumbo
