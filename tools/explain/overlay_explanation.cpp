#include "tools/explain/overlay_explanation.h"

#include <algorithm>

#include <windows.h>

namespace lumbo::tools {

namespace {

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

}  // namespace

const wchar_t* BadgeName(int iconIndex) {
    switch (iconIndex) {
        case 0: return L"synchronised";
        case 1: return L"pending";
        case 2: return L"failed";
        default: return L"other";
    }
}

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

std::wstring TraceLineText(const std::string& line) {
    const int size = MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), wide.data(), size);
    if (!wide.empty() && wide.back() == L'\n') wide.pop_back();
    return wide;
}

std::wstring FormatAnswer(const std::wstring& handlerName, int iconIndex, bool badge,
                          const std::vector<std::string>& traceLines, bool withTrace) {
    std::wstring text = L"  " + handlerName + L" (" + BadgeName(iconIndex) + L"): " +
                        (badge ? L"badge" : L"no badge") + L": " + ExplainAnswer(iconIndex, badge, traceLines) +
                        L"\n";
    if (withTrace) {
        for (const std::string& traced : traceLines) text += L"      | " + TraceLineText(traced) + L"\n";
    }
    return text;
}

}  // namespace lumbo::tools
