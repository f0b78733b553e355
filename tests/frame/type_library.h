#pragma once

// The extension's type library in the test prefix: registered from the built
// DLL, as registration will do, and removed again.

#include <string>

#include <windows.h>
#include <oaidl.h>

#include "tests/support/built_dll.h"

namespace lumbo::test {

// The library is built for the DLL's own architecture.
inline constexpr SYSKIND kBuiltSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
// The key under TypeLib\{LIBID}\1.0\409 that RegisterTypeLib writes for it.
inline constexpr const wchar_t* kBuiltSysKindKey = kBuiltSysKind == SYS_WIN64 ? L"win64" : L"win32";

// RegisterTypeLib on the DLL's TYPELIB resource; S_OK or the failure.
HRESULT RegisterLumboTypeLibrary(const std::wstring& dllPath);
// Removes the registration; S_OK also when there was none.
HRESULT UnregisterLumboTypeLibrary();

// The name ITypeInfo documents for a member (or the type itself), "?" if none.
std::wstring DocumentedName(ITypeInfo* info, MEMBERID id = MEMBERID_NIL);

// Unregisters on construction and destruction, so a test starts and leaves
// the prefix without the registration.
class TypeLibraryRegistration {
public:
    TypeLibraryRegistration() { UnregisterLumboTypeLibrary(); }
    ~TypeLibraryRegistration() { UnregisterLumboTypeLibrary(); }
    TypeLibraryRegistration(const TypeLibraryRegistration&) = delete;
    TypeLibraryRegistration& operator=(const TypeLibraryRegistration&) = delete;
};

}  // namespace lumbo::test
