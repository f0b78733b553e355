#pragma once

#include <string>

namespace lumbo::tools {

// Answers "why does this item show (or not show) that badge?": runs this host
// again as a debuggee that asks every registered overlay handler about the
// path, collects the trace lines the DLL writes to the debugger, and prints
// each handler's answer with the reason its trace gives.
int DiagnosePath(const std::wstring& hostPath, const std::wstring& path);

// The debuggee's part: asks each handler, marking the trace with the
// handler's name before and its answer after the call.
int AnswerForDiagnosis(const std::wstring& path);

}  // namespace lumbo::tools
