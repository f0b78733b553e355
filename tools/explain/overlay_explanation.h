#pragma once

#include <string>
#include <vector>

namespace lumbo::tools {

// The badge name of one of lumbo's icon indexes (0, 1, 2); "other" for the rest.
const wchar_t* BadgeName(int iconIndex);

// The reason a handler's trace lines give for its answer.
std::wstring ExplainAnswer(int iconIndex, bool badge, const std::vector<std::string>& traceLines);

// One handler's answer for an item, as both hosts print it: the handler's
// identifier, its badge, the answer and the reason, then (when `withTrace`)
// each trace line indented under it, read in the ANSI code page the DLL
// wrote them in.
std::wstring FormatAnswer(const std::wstring& handlerName, int iconIndex, bool badge,
                          const std::vector<std::string>& traceLines, bool withTrace);

// A trace line (ANSI code page) as UTF-16, without its line feed.
std::wstring TraceLineText(const std::string& line);

}  // namespace lumbo::tools
