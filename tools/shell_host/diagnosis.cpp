#include "tools/shell_host/diagnosis.h"

#include <algorithm>
#include <cstdio>

#include <windows.h>

#include "tools/shell_host/console_output.h"
#include "tools/shell_host/overlay_set.h"

namespace lumbo::tools {

namespace {

constexpr char kBeginMarker[] = "lumbo-diagnose:begin ";
constexpr char kAnswerMarker[] = "lumbo-diagnose:answer ";

std::wstring Widen(const std::string& text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

bool Has(const std::vector<std::string>& lines, const std::string& banner) {
    const std::string line = "=================" + banner + "====================\n";
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::wstring ExplainPending(bool badge, const std::vector<std::string>& lines) {
    if (lines.empty()) return L"no trace: the client is not running or its database did not open";
    if (!Has(lines, "In MonDir")) return L"outside the monitored folder (see mondir above)";
    if (!Has(lines, "After Uploading")) return L"listed with status 1: waiting for or in upload";
    if (!Has(lines, "Before Status")) return L"no monitored folder is known yet, and the item is not listed as pending";
    if (Has(lines, "TRUE Leave IsUserIgnoreDir")) return L"inside a folder the user ignores";
    if (Has(lines, "Illegal(TRUE) Leave IsParentHidenOrIllegal")) return L"a component of its path starts with a dot";
    if (Has(lines, "Hiden(TRUE) Leave IsParentHidenOrIllegal")) return L"below a hidden folder";
    if (Has(lines, "InFilter(TRUE) IsInFilters")) return L"its name matches a pattern of the filter file";
    if (!Has(lines, "Enter IsUserIgnoreDir")) return L"a file of 4 GiB or more";
    if (!Has(lines, "Enter IsParentHidenOrIllegal")) return L"a hidden item";
    return badge ? L"passes the filter rules and is not listed yet, or is a folder with pending content"
                 : L"listed as synchronised or failed, with nothing pending beneath it";
}

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

std::wstring ExplainAnswer(int iconIndex, bool badge, const std::vector<std::string>& lines) {
    switch (iconIndex) {
        case 0:
            return badge ? L"listed with status 0, nothing pending beneath it"
                         : L"not listed with status 0 (or absent client or database), or a folder with pending "
                           L"content beneath it";
        case 1:
            return ExplainPending(badge, lines);
        case 2:
            return badge ? L"listed with status 2: the upload failed"
                         : L"not listed with status 2 (or absent client or database)";
        default:
            return L"not one of lumbo's handlers";
    }
}

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
            handlerName = Widen(rest.substr(0, space));
            iconIndex = std::atoi(rest.c_str() + space + 1);
            handlerLines.clear();
        } else if (line.rfind(kAnswerMarker, 0) == 0) {
            const bool badge = line.substr(sizeof kAnswerMarker - 1) == "S_OK";
            PrintUtf8(L"  " + handlerName + L" (" + BadgeName(iconIndex) + L"): " + (badge ? L"badge" : L"no badge") +
                      L": " + ExplainAnswer(iconIndex, badge, handlerLines) + L"\n");
            for (const std::string& traced : handlerLines) {
                std::wstring shown = Widen(traced);
                if (!shown.empty() && shown.back() == L'\n') shown.pop_back();
                PrintUtf8(L"      | " + shown + L"\n");
            }
        } else {
            handlerLines.push_back(line);
        }
    }
    return 0;
}

}  // namespace lumbo::tools
