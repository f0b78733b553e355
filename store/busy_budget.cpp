#include "store/busy_budget.h"

#include <windows.h>

#include "store/monotonic_clock.h"

namespace lumbo {

namespace {

// Short sleeps first: a commit or a WAL-index rebuild usually ends within a
// millisecond or two; a longer hold is met with longer sleeps.
DWORD SleepFor(int attempt) {
    static constexpr DWORD kSteps[] = {1, 1, 1, 2, 2, 5, 5, 10};
    constexpr int kCount = sizeof kSteps / sizeof kSteps[0];
    return kSteps[attempt < 0 ? 0 : attempt < kCount ? attempt : kCount - 1];
}

}  // namespace

BusyBudget::BusyBudget(int milliseconds) : m_remainingSeconds(milliseconds > 0 ? milliseconds / 1000.0 : 0.0) {}

bool BusyBudget::WaitAgain(int attempt) {
    if (m_remainingSeconds <= 0) return false;
    DWORD sleep = SleepFor(attempt);
    const double remainingMilliseconds = m_remainingSeconds * 1000.0;
    if (sleep > remainingMilliseconds) sleep = remainingMilliseconds < 1.0 ? 1 : static_cast<DWORD>(remainingMilliseconds);
    const double before = MonotonicSeconds();
    Sleep(sleep);
    m_remainingSeconds -= MonotonicSeconds() - before;
    return true;
}

int BusyBudget::BusyHandler(void* budget, int attempt) {
    return static_cast<BusyBudget*>(budget)->WaitAgain(attempt) ? 1 : 0;
}

}  // namespace lumbo
