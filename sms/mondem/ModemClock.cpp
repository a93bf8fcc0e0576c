#include "sms/mondem/ModemClock.h"

#include <algorithm>
#include <cerrno>

namespace {

class SystemClock : public ModemClock {
public:
    time_point now() const override { return std::chrono::steady_clock::now(); }

    int poll(pollfd* fds, nfds_t count, time_point deadline) const override {
        for (;;) {
            const int ready = ::poll(fds, count, MillisecondsLeft(deadline));
            // A signal is no event: wait on for what is left.
            if (ready < 0 && errno == EINTR)
                continue;
            return ready;
        }
    }

    bool pause(int wake, time_point deadline) const override {
        pollfd woken{wake, POLLIN, 0};
        return poll(&woken, 1, deadline) == 0;
    }

private:
    int MillisecondsLeft(time_point deadline) const {
        // Rounded up, so that a wait never ends just short of its deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now()).count();
        return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
    }
};

const SystemClock systemClock;

} // namespace

const ModemClock& SystemModemClock() {
    return systemClock;
}
