#include "tests/support/file_attributes.h"

#include <stdexcept>

#include <winioctl.h>

namespace lumbo::test {

void SetAttributesOrThrow(const std::wstring& path, DWORD attributes) {
    if (!SetFileAttributesW(path.c_str(), attributes)) throw std::runtime_error("SetFileAttributesW failed");
    constexpr DWORD kChecked = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    const DWORD readBack = GetFileAttributesW(path.c_str());
    if (readBack == INVALID_FILE_ATTRIBUTES || (readBack & kChecked) != (attributes & kChecked))
        throw std::runtime_error("file attributes do not stick here (no extended attributes?)");
}

void CreateSparseFile(const std::wstring& path, unsigned long long size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create the sparse file");
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    if (!ok) throw std::runtime_error("cannot size the sparse file");
}

}  // namespace lumbo::test
