#include "server/type_info_holder.h"

#include <cwchar>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "server/frame_module.h"
#include "store/registry.h"

namespace lumbo {

namespace {

// The locales a library of this version is registered under, as written by
// its registration: the hexadecimal subkeys of HKCR\TypeLib\{LIBID}\M.m.
std::vector<LCID> RegisteredLocales(const GUID& libid, WORD major, WORD minor) {
    std::vector<LCID> locales;
    wchar_t guid[40] = {};
    if (StringFromGUID2(libid, guid, 40) == 0) return locales;
    const auto hex = [](WORD number) {
        wchar_t text[8] = {};
        _itow(number, text, 16);
        return std::wstring(text);
    };
    const std::wstring path = L"TypeLib\\" + std::wstring(guid) + L"\\" + hex(major) + L"." + hex(minor);
    const RegistryKey version = OpenRegistryKey(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ);
    if (!version) return locales;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD length = 256;
        if (RegEnumKeyExW(version.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        wchar_t* end = nullptr;
        const unsigned long locale = std::wcstoul(name, &end, 16);
        // FLAGS and HELPDIR sit beside the locales.
        if (length != 0 && end == name + length) locales.push_back(locale);
    }
    return locales;
}

// The registered library for the caller's locale or, when it is registered
// under none that the platform matches to that locale, under its own: a
// library's content does not depend on the locale it is asked for with, and
// Wine matches a library of 409 to no neutral or Chinese locale.
HRESULT LoadRegisteredLibrary(const GUID& libid, WORD major, WORD minor, LCID locale, ITypeLib** library) {
    const HRESULT result = LoadRegTypeLib(libid, major, minor, locale, library);
    if (result != TYPE_E_LIBNOTREGISTERED) return result;
    for (const LCID registered : RegisteredLocales(libid, major, minor)) {
        if (registered == locale) continue;
        if (SUCCEEDED(LoadRegTypeLib(libid, major, minor, registered, library))) return S_OK;
    }
    return result;
}

}  // namespace

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT /*index*/, LCID locale, ITypeInfo** out) {
    if (out == nullptr) return E_POINTER;
    HRESULT result = S_OK;
    if (m_pInfo == nullptr) result = EnsureTypeInfo(locale);
    *out = m_pInfo;
    if (m_pInfo == nullptr) return FAILED(result) ? result : E_UNEXPECTED;
    m_pInfo->AddRef();
    return S_OK;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(REFIID /*iid*/, LPOLESTR* names, UINT count,
                                          LCID locale, DISPID* ids) {
    HRESULT result = S_OK;
    if (m_pInfo == nullptr || m_pMap == nullptr) result = EnsureTypeInfo(locale);
    if (m_pInfo == nullptr) return FAILED(result) ? result : E_UNEXPECTED;
    if (m_pMap != nullptr && count == 1 && names != nullptr && names[0] != nullptr) {
        const std::size_t length = std::wcslen(names[0]);
        // Searched from the last entry: later members are asked for more often.
        for (int i = m_nCount - 1; i >= 0; --i) {
            const NameCacheEntry& entry = m_pMap[i];
            if (entry.name == nullptr || entry.length != length) continue;
            if (std::wmemcmp(entry.name, names[0], length) != 0) continue;
            if (ids == nullptr) return E_POINTER;
            ids[0] = entry.id;
            return S_OK;
        }
    }
    return m_pInfo->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* instance, DISPID id, REFIID /*iid*/,
                                   LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    HRESULT loaded = S_OK;
    if (m_pInfo == nullptr || m_pMap == nullptr) loaded = EnsureTypeInfo(locale);
    if (m_pInfo == nullptr) return FAILED(loaded) ? loaded : E_UNEXPECTED;
    return m_pInfo->Invoke(instance, id, flags, parameters, result, exception, argumentError);
}

HRESULT CComTypeInfoHolder::EnsureTypeInfo(LCID locale) {
    if (m_pInfo != nullptr && m_pMap != nullptr) return S_OK;
    // Without an initialised module there is no lock to load under, and no
    // termination that would release what was loaded.
    if (_pAtlModule == nullptr || _pAtlModule->cbSize == 0) return E_UNEXPECTED;

    CriticalSectionGuard guard(_pAtlModule->TypeInfoLock());
    HRESULT result = S_OK;
    if (m_pInfo == nullptr) {
        ITypeLib* library = nullptr;
        result = LoadRegisteredLibrary(*m_plibid, m_wMajor, m_wMinor, locale, &library);
        if (SUCCEEDED(result)) {
            ITypeInfo* info = nullptr;
            result = library->GetTypeInfoOfGuid(*m_pguid, &info);
            if (SUCCEEDED(result)) {
                ITypeInfo2* info2 = nullptr;
                if (SUCCEEDED(info->QueryInterface(IID_ITypeInfo2,
                                                   reinterpret_cast<void**>(&info2))) &&
                    info2 != nullptr) {
                    info->Release();
                    info = info2;
                }
                m_pInfo = info;
                // A failure here only means the information stays until the
                // process ends instead of the DLL's unload.
                _pAtlModule->AddTermCallback(&CComTypeInfoHolder::ReleaseTypeInfo,
                                             reinterpret_cast<DWORD_PTR>(this));
            }
            library->Release();
        }
    }
    if (m_pInfo != nullptr && m_pMap == nullptr) result = BuildNameCache(m_pInfo);
    return result;
}

HRESULT CComTypeInfoHolder::BuildNameCache(ITypeInfo* info) {
    if (info == nullptr) return E_POINTER;
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes)) || attributes == nullptr) return S_OK;
    m_nCount = attributes->cFuncs;
    m_pMap = nullptr;
    NameCacheEntry* cache = nullptr;
    if (m_nCount != 0) {
        cache = new (std::nothrow) NameCacheEntry[m_nCount];
        if (cache == nullptr) {
            m_nCount = 0;
            info->ReleaseTypeAttr(attributes);
            return E_OUTOFMEMORY;
        }
        for (int i = 0; i < m_nCount; ++i) {
            cache[i] = {nullptr, 0, DISPID_UNKNOWN};
            FUNCDESC* function = nullptr;
            if (SUCCEEDED(info->GetFuncDesc(i, &function)) && function != nullptr) {
                BSTR name = nullptr;
                if (SUCCEEDED(info->GetDocumentation(function->memid, &name, nullptr, nullptr,
                                                     nullptr))) {
                    cache[i] = {name, SysStringLen(name), function->memid};
                }
                info->ReleaseFuncDesc(function);
            }
        }
    }
    m_pMap = cache;
    info->ReleaseTypeAttr(attributes);
    return S_OK;
}

void CComTypeInfoHolder::ReleaseAll() {
    if (m_pInfo != nullptr) {
        m_pInfo->Release();
        m_pInfo = nullptr;
    }
    if (m_pMap != nullptr) {
        for (int i = 0; i < m_nCount; ++i) SysFreeString(m_pMap[i].name);
        delete[] m_pMap;
        m_pMap = nullptr;
    }
    m_nCount = 0;
}

void WINAPI CComTypeInfoHolder::ReleaseTypeInfo(DWORD_PTR holder) {
    reinterpret_cast<CComTypeInfoHolder*>(holder)->ReleaseAll();
}

}  // namespace lumbo
