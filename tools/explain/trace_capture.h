#pragma once

#include <string>
#include <vector>

namespace lumbo::tools {

// Collects every string this process hands to OutputDebugStringA while the
// capture lives. OutputDebugStringA delivers its text by raising
// DBG_PRINTEXCEPTION_C, on Windows and in Wine alike; a vectored handler sees
// that exception first, so the lines are the exact bytes that were emitted.
// One capture at a time, on one thread.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    const std::vector<std::string>& Lines() const;
    void Clear();

private:
    std::vector<std::string> m_lines;
    void* m_handler = nullptr;
};

}  // namespace lumbo::tools
