#include "server/server_registration.h"

#include <cwchar>

#include "lumboExt.h"
#include "resources/registry_script_ids.h"
#include "server/class_object_table.h"
#include "server/module_instance.h"
#include "server/registry_update.h"

namespace lumbo {

namespace {

constexpr HRESULT kPathTooLong = static_cast<HRESULT>(0x8007007A);  // ERROR_INSUFFICIENT_BUFFER

// The system's locale for one scope, so the scripts are decoded in the
// system's ANSI code page whoever calls.
class SystemThreadLocale {
public:
    SystemThreadLocale() : m_previous(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemThreadLocale() { SetThreadLocale(m_previous); }
    SystemThreadLocale(const SystemThreadLocale&) = delete;
    SystemThreadLocale& operator=(const SystemThreadLocale&) = delete;

private:
    LCID m_previous;
};

class TypeLibPointer {
public:
    ~TypeLibPointer() {
        if (m_typeLib != nullptr) m_typeLib->Release();
        SysFreeString(m_path);
    }
    ITypeLib* m_typeLib = nullptr;
    BSTR m_path = nullptr;
};

const RegistryVariable kAppIdVariables[] = {{L"APPID", kLumboAppIdString}, {nullptr, nullptr}};

}  // namespace

HRESULT RegisterClassCategories(const CLSID* clsid, const void* categories, BOOL /*registerFlag*/) {
    if (clsid == nullptr || categories == nullptr) return S_OK;
    return S_OK;
}

HRESULT RegisterServer(ClassObjectTable& classObjects) {
    const SystemThreadLocale locale;
    HRESULT result = UpdateRegistryFromScript(IDR_LUMBOEXT_APPID, TRUE, kAppIdVariables);
    if (FAILED(result)) return result;
    for (std::size_t i = 0; i < classObjects.m_count; ++i) {
        const ClassMapEntry& entry = classObjects.m_pEntries[i];
        if (entry.pclsid == nullptr || entry.pfnUpdateRegistry == nullptr) continue;
        result = entry.pfnUpdateRegistry(TRUE);
        if (FAILED(result)) return result;
        result = RegisterClassCategories(entry.pclsid, entry.pfnGetCategoryMap(), TRUE);
        if (FAILED(result)) return result;
    }
    return RegisterModuleTypeLib();
}

HRESULT UnregisterServer(ClassObjectTable& classObjects) {
    const SystemThreadLocale locale;
    HRESULT result = S_OK;
    for (std::size_t i = 0; i < classObjects.m_count; ++i) {
        const ClassMapEntry& entry = classObjects.m_pEntries[i];
        if (entry.pclsid == nullptr || entry.pfnUpdateRegistry == nullptr) continue;
        result = RegisterClassCategories(entry.pclsid, entry.pfnGetCategoryMap(), FALSE);
        if (FAILED(result)) return result;
        result = entry.pfnUpdateRegistry(FALSE);
        if (FAILED(result)) return result;
    }
    result = UnregisterModuleTypeLib();
    if (FAILED(result)) return result;
    return UpdateRegistryFromScript(IDR_LUMBOEXT_APPID, FALSE, kAppIdVariables);
}

HRESULT LoadModuleTypeLib(ITypeLib** typeLib, BSTR* path) {
    if (typeLib == nullptr || path == nullptr) return E_POINTER;
    *typeLib = nullptr;
    *path = nullptr;
    wchar_t file[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(ModuleInstance(), file, MAX_PATH);
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length >= MAX_PATH) return kPathTooLong;

    // The extension: the last '.' with no '\' after it, else the end.
    std::size_t extension = length;
    for (std::size_t i = length; i-- > 0 && file[i] != L'\\';) {
        if (file[i] == L'.') {
            extension = i;
            break;
        }
    }
    HRESULT result = LoadTypeLib(file, typeLib);
    if (FAILED(result)) {
        if (extension + 5 > MAX_PATH) return E_FAIL;
        std::wcscpy(file + extension, L".tlb");
        result = LoadTypeLib(file, typeLib);
        if (FAILED(result)) return result;
    }
    *path = SysAllocString(file);
    if (*path == nullptr) {
        (*typeLib)->Release();
        *typeLib = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT RegisterModuleTypeLib() {
    TypeLibPointer library;
    HRESULT result = LoadModuleTypeLib(&library.m_typeLib, &library.m_path);
    if (FAILED(result)) return result;
    BSTR helpFile = nullptr;
    if (FAILED(library.m_typeLib->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile)))
        return RegisterTypeLib(library.m_typeLib, library.m_path, nullptr);

    // The help folder: the help file's path up to its last separator.
    wchar_t helpDirectory[MAX_PATH] = {};
    if (helpFile != nullptr) std::wcsncpy(helpDirectory, helpFile, MAX_PATH - 1);
    SysFreeString(helpFile);
    wchar_t* cut = helpDirectory;
    for (wchar_t* c = helpDirectory; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/' || *c == L':') cut = c + 1;
    }
    *cut = L'\0';
    return RegisterTypeLib(library.m_typeLib, library.m_path, helpDirectory);
}

HRESULT UnregisterModuleTypeLib() {
    TypeLibPointer library;
    HRESULT result = LoadModuleTypeLib(&library.m_typeLib, &library.m_path);
    if (FAILED(result)) return result;
    TLIBATTR* attributes = nullptr;
    result = library.m_typeLib->GetLibAttr(&attributes);
    if (FAILED(result)) return result;
    result = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                               attributes->syskind);
    library.m_typeLib->ReleaseTLibAttr(attributes);
    return result;
}

}  // namespace lumbo
