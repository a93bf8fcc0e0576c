#include "platform/Clock.h"

#include <atomic>

namespace {

class SystemClock : public Clock {
public:
    TDateTime now() const override { return FromTimePoint(std::chrono::system_clock::now()); }
};

const SystemClock systemClock;
std::atomic<const Clock*> installed{&systemClock};

} // namespace

TDateTime Now() {
    return installed.load()->now();
}

const Clock* SetClock(const Clock* clock) {
    return installed.exchange(clock ? clock : &systemClock);
}

TDateTime ManualClock::now() const {
    return now_.load();
}

void ManualClock::set(TDateTime value) {
    now_.store(value);
}

void ManualClock::advanceSeconds(double seconds) {
    now_.store(now_.load() + seconds / 86400.0);
}
