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
    std::list<Waiter>::iterator self;
    {
        std::lock_guard lock(mutex_);
        self = waiters_.insert(waiters_.end(), Waiter{deadline});
    }
    struct Leave {
        const ManualModemClock& clock;
        std::list<Waiter>::iterator self;
        ~Leave() {
            std::lock_guard lock(clock.mutex_);
            clock.waiters_.erase(self);
        }
    } leave{*this, self};
    // Short slices of real time, looking at the clock before each.
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    for (;;) {
        bool due;
        bool news = false;
        {
            std::lock_guard lock(mutex_);
            due = start_ + elapsed_ >= deadline;
            if (!due && self->looked != moves_) {
                self->looked = moves_;
                news = true;
            }
        }
        if (news)
            changed_.notify_all();
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
    ++moves_;
    return true;
}

void ManualModemClock::advance(std::chrono::milliseconds by) {
    std::lock_guard lock(mutex_);
    elapsed_ += by;
    ++moves_;
}

bool ManualModemClock::waitForWaiter(std::chrono::milliseconds left,
                                     std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        return std::any_of(waiters_.begin(), waiters_.end(), [&](const Waiter& waiter) {
            return waiter.deadline == start_ + elapsed_ + left && waiter.looked == moves_;
        });
    });
}
