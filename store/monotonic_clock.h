#pragma once

#include <windows.h>

namespace lumbo {

// Seconds on the performance counter: monotonic, unaffected by changes of the
// wall clock, fine enough for waits of a millisecond.
inline double MonotonicSeconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

}  // namespace lumbo
