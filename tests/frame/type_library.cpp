#include "tests/frame/type_library.h"

#include <vector>

#include "lumboExt.h"

namespace lumbo::test {

std::wstring BuiltDllPath() {
    wchar_t fromEnvironment[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"LUMBO_DLL", fromEnvironment, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return fromEnvironment;
    std::vector<wchar_t> self(32768);
    const DWORD selfLength = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    std::wstring path(self.data(), selfLength);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"lumboExt.dll";
}

HRESULT RegisterLumboTypeLibrary(const std::wstring& dllPath) {
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(dllPath.c_str(), REGKIND_NONE, &library);
    if (FAILED(result)) return result;
    std::wstring path = dllPath;  // the toolchain's declaration wants a writable path
    result = RegisterTypeLib(library, path.data(), nullptr);
    library->Release();
    return result;
}

HRESULT UnregisterLumboTypeLibrary() {
    const HRESULT result = UnRegisterTypeLib(LIBID_lumboExtLib, 1, 0, 0x0409, SYS_WIN64);
    return result == TYPE_E_REGISTRYACCESS || result == TYPE_E_LIBNOTREGISTERED ? S_OK : result;
}

std::wstring DocumentedName(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr;
    if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) return L"?";
    std::wstring text(name, SysStringLen(name));
    SysFreeString(name);
    return text;
}

}  // namespace lumbo::test
