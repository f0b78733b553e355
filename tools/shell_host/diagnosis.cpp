#include "tools/shell_host/diagnosis.h"

#include <algorithm>
#include <cstdio>

#include <windows.h>

#include "tools/explain/overlay_explanation.h"
#include "tools/shell_host/console_output.h"
#include "tools/shell_host/overlay_set.h"

namespace lumbo::tools {

namespace {

constexpr char kBeginMarker[] = "lumbo-diagnose:begin ";
constexpr char kAnswerMarker[] = "lumbo-diagnose:answer ";

// Runs the host as a debuggee and collects every debug string it emits.
bool CollectTrace(const std::wstring& hostPath, const std::wstring& path, std::vector<std::string>& lines) {
    std::wstring commandLine = L"\"" + hostPath + L"\" answers \"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &startup, &process))
        return false;
    for (bool running = true; running;) {
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 60000)) break;
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case OUTPUT_DEBUG_STRING_EVENT: {
                const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
                std::string text(info.nDebugStringLength, '\0');
                SIZE_T read = 0;
                ReadProcessMemory(process.hProcess, info.lpDebugStringData, text.data(), text.size(), &read);
                text.resize(read);
                if (!text.empty() && text.back() == '\0') text.pop_back();
                if (!info.fUnicode) lines.push_back(text);
                break;
            }
            case EXCEPTION_DEBUG_EVENT:
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                    continueStatus = DBG_EXCEPTION_NOT_HANDLED;
                break;
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile != nullptr) CloseHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile != nullptr) CloseHandle(event.u.LoadDll.hFile);
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                running = false;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

int AnswerForDiagnosis(const std::wstring& path) {
    std::vector<OverlayHandler> handlers = LoadRegisteredOverlays();
    for (OverlayHandler& handler : handlers) {
        char name[300];
        std::snprintf(name, sizeof name, "%ls %d", handler.name.c_str(), handler.iconIndex);
        OutputDebugStringA((std::string(kBeginMarker) + name).c_str());
        const HRESULT answer = handler.overlay->IsMemberOf(path.c_str(), GetFileAttributesW(path.c_str()));
        OutputDebugStringA((std::string(kAnswerMarker) + (answer == S_OK ? "S_OK" : "S_FALSE")).c_str());
    }
    return handlers.empty() ? 1 : 0;
}

int DiagnosePath(const std::wstring& hostPath, const std::wstring& path) {
    std::vector<std::string> lines;
    if (!CollectTrace(hostPath, path, lines)) {
        std::fprintf(stderr, "shell_host: cannot start the debuggee\n");
        return 1;
    }
    PrintUtf8(path + L"\n");
    std::vector<std::string> handlerLines;
    std::wstring handlerName;
    int iconIndex = -1;
    for (const std::string& line : lines) {
        if (line.rfind(kBeginMarker, 0) == 0) {
            const std::string rest = line.substr(sizeof kBeginMarker - 1);
            const std::size_t space = rest.rfind(' ');
            handlerName = TraceLineText(rest.substr(0, space));
            iconIndex = std::atoi(rest.c_str() + space + 1);
            handlerLines.clear();
        } else if (line.rfind(kAnswerMarker, 0) == 0) {
            const bool badge = line.substr(sizeof kAnswerMarker - 1) == "S_OK";
            PrintUtf8(FormatAnswer(handlerName, iconIndex, badge, handlerLines, true));
        } else {
            handlerLines.push_back(line);
        }
    }
    return 0;
}

}  // namespace lumbo::tools
