#include "tools/explain/trace_capture.h"

#include <stdexcept>

#include <windows.h>

namespace lumbo::tools {

namespace {

// One capture at a time, on one thread.
std::vector<std::string>* g_lines = nullptr;

LONG CALLBACK CollectDebugString(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.ExceptionCode != DBG_PRINTEXCEPTION_C || record.NumberParameters < 2 || g_lines == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;
    const std::size_t lengthWithNul = static_cast<std::size_t>(record.ExceptionInformation[0]);
    const char* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
    g_lines->emplace_back(text, lengthWithNul > 0 ? lengthWithNul - 1 : 0);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

TraceCapture::TraceCapture() {
    if (g_lines != nullptr) throw std::logic_error("one trace capture at a time");
    g_lines = &m_lines;
    m_handler = AddVectoredExceptionHandler(1, CollectDebugString);
    if (m_handler == nullptr) throw std::runtime_error("cannot add the vectored handler");
}

TraceCapture::~TraceCapture() {
    RemoveVectoredExceptionHandler(m_handler);
    g_lines = nullptr;
}

const std::vector<std::string>& TraceCapture::Lines() const { return m_lines; }

void TraceCapture::Clear() { m_lines.clear(); }

}  // namespace lumbo::tools
