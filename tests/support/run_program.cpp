#include "tests/support/run_program.h"

#include <windows.h>

namespace lumbo::test {

int RunProgram(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return -1;
    }
    // Only a guard against a hang; no timing is asserted.
    const DWORD waited = WaitForSingleObject(process.hProcess, 120000);
    DWORD code = static_cast<DWORD>(-1);
    if (waited == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    else TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace lumbo::test
