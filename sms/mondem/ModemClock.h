#pragma once

#include <chrono>
#include <poll.h>

// The driver's time: the deadlines of its commands and its pauses. The system's steady clock in
// the library; tests give the driver one they move, so that none of them sleeps through a
// time-out.
class ModemClock {
public:
    using time_point = std::chrono::steady_clock::time_point;

    virtual ~ModemClock() = default;

    // The current time of this clock.
    virtual time_point now() const = 0;
    // Waits as poll() does for an event on `fds` until `deadline` of this clock: the number of
    // descriptors ready (their revents set), 0 when the deadline came first, -1 on an error
    // (errno set). A deadline already passed only looks.
    virtual int poll(pollfd* fds, nfds_t count, time_point deadline) const = 0;
    // Lets time pass until `deadline`, unless `wake` becomes readable first; true when the whole
    // pause passed.
    virtual bool pause(int wake, time_point deadline) const = 0;
};

// The system's steady clock; poll() and pause() wait in real time.
const ModemClock& SystemModemClock();
