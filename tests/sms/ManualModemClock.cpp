#include "ManualModemClock.h"

#include <algorithm>

using namespace std::chrono_literals;

ManualModemClock::ManualModemClock() : start_(std::chrono::steady_clock::now()) {}

ModemClock::time_point ManualModemClock::now() const {
    std::lock_guard lock(mutex_);
    return start_ + elapsed_;
}

std::chrono::milliseconds ManualModemClock::elapsed() const {
    std::lock_guard lock(mutex_);
    return elapsed_;
}

int ManualModemClock::poll(pollfd* fds, nfds_t count, time_point deadline) const {
    {
        std::lock_guard lock(mutex_);
        waiters_.insert(deadline);
    }
    changed_.notify_all();
    struct Leave {
        const ManualModemClock& clock;
        time_point deadline;
        ~Leave() {
            std::lock_guard lock(clock.mutex_);
            clock.waiters_.erase(clock.waiters_.find(deadline));
        }
    } leave{*this, deadline};
    // Short slices of real time, looking at the clock between them.
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    for (;;) {
        const bool due = now() >= deadline;
        const int ready = ::poll(fds, count, due ? 0 : 5);
        if (ready != 0 || due || std::chrono::steady_clock::now() >= giveUp)
            return ready;
    }
}

bool ManualModemClock::pause(int wake, time_point deadline) const {
    pollfd woken{wake, POLLIN, 0};
    if (::poll(&woken, 1, 0) > 0)
        return false;
    std::lock_guard lock(mutex_);
    elapsed_ = std::max(elapsed_, std::chrono::ceil<std::chrono::milliseconds>(deadline - start_));
    return true;
}

void ManualModemClock::advance(std::chrono::milliseconds by) {
    std::lock_guard lock(mutex_);
    elapsed_ += by;
}

bool ManualModemClock::waitForWaiter(std::chrono::milliseconds left,
                                     std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit,
                             [&] { return waiters_.count(start_ + elapsed_ + left) > 0; });
}
