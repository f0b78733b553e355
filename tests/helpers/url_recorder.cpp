// Stands in for the browser in the test prefix: registered as the open handler
// of http, https and a test scheme, it appends the arguments it was given
// (UTF-8, separated by U+001F, ended by a NUL so a carriage return inside stays
// visible) to the file named by LUMBO_URL_RECORD. An address handed over
// intact is one argument.
#include <string>

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    wchar_t recordPath[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"LUMBO_URL_RECORD", recordPath, MAX_PATH) == 0) return 2;
    std::wstring address;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) address.push_back(L'\x1F');
        address += argv[i];
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, address.c_str(), static_cast<int>(address.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string record(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, address.c_str(), static_cast<int>(address.size()), record.data(), size, nullptr,
                        nullptr);
    record.push_back('\0');

    HANDLE file = CreateFileW(recordPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == record.size() ? 0 : 4;
}
