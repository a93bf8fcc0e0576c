#pragma once

#include "sms/mondem/ModemClock.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>

// A modem clock that stands still until the test moves it. A wait on descriptors lasts until one
// of them is ready or the clock is moved to its deadline; a pause passes at once (the clock jumps
// to its end), so that a test never waits for one. A wait gives up after a minute of real time,
// so that a test that forgets to move the clock fails instead of hanging.
class ManualModemClock : public ModemClock {
public:
    ManualModemClock();

    time_point now() const override;
    int poll(pollfd* fds, nfds_t count, time_point deadline) const override;
    bool pause(int wake, time_point deadline) const override;

    void advance(std::chrono::milliseconds by);
    // Time moved since the clock was made.
    std::chrono::milliseconds elapsed() const;
    // Waits, at most `limit` in real time, until a caller waits in poll() for a deadline `left`
    // from now and has looked at the clock since it was last moved: it goes on waiting knowing
    // what time it is. True when one does.
    bool waitForWaiter(std::chrono::milliseconds left,
                       std::chrono::milliseconds limit = std::chrono::seconds(20)) const;

private:
    struct Waiter {
        time_point deadline;
        // The count of moves when it last found its deadline still ahead; -1 before it looked.
        std::int64_t looked = -1;
    };

    const time_point start_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    // A pause moves the clock too, and pauses are const like every use of a clock.
    mutable std::chrono::milliseconds elapsed_{0};
    mutable std::int64_t moves_ = 0;
    mutable std::list<Waiter> waiters_;
};
