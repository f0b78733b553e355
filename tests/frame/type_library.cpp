#include "tests/frame/type_library.h"

#include "lumboExt.h"

namespace lumbo::test {

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
    const HRESULT result = UnRegisterTypeLib(LIBID_lumboExtLib, 1, 0, 0x0409, kBuiltSysKind);
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
