#pragma once

#include "platform/DateTime.h"

#include <atomic>

// The source of the current local date-time. Production code asks `Now()`; tests install a clock
// of their own with `SetClock` and move it, so that nothing waits for minutes to pass.
class Clock {
public:
    virtual ~Clock() = default;
    virtual TDateTime now() const = 0;
};

// The current local date-time from the installed clock (the system clock by default).
TDateTime Now();

// Installs `clock` (not owned; must outlive its use) and returns the previous one; nullptr
// restores the system clock. Thread-safe.
const Clock* SetClock(const Clock* clock);

// A clock that stands still until moved; for tests.
class ManualClock : public Clock {
public:
    explicit ManualClock(TDateTime start) : now_(start) {}
    TDateTime now() const override;
    void set(TDateTime value);
    void advanceSeconds(double seconds);

private:
    mutable std::atomic<double> now_;
};
