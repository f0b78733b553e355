#pragma once

namespace lumbo {

// The time one connection may spend waiting for the client's locks, summed
// over all its waits: a call with several statements waits no longer in total
// than one that meets a single lock.
class BusyBudget {
public:
    explicit BusyBudget(int milliseconds);

    // Sleeps a little (longer for later attempts) and gives true while the
    // budget lasts; false, without sleeping, once it is spent.
    bool WaitAgain(int attempt);

    // For SQLite's busy handler: the budget, the attempt count.
    static int BusyHandler(void* budget, int attempt);

private:
    double m_remainingSeconds;
};

}  // namespace lumbo
