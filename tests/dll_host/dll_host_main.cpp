// A host for the built extension. Installed in the test prefix as the shell's
// class verifier (system32\verclsid.exe, which Wine lacks), it is one of the
// three programs the DLL accepts, and runs the DLL-level tests there.
//   dll_host                 runs the tests
//   dll_host --probe DLL     exits 0 when DLL loads in this process, 1 when
//                            the loader refuses it (used on copies of itself)
#include <cwchar>

#include <gtest/gtest.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--probe") == 0) {
        HMODULE dll = LoadLibraryW(argv[2]);
        if (dll == nullptr) return 1;
        FreeLibrary(dll);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
