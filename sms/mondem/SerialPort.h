#pragma once

#include "sms/mondem/ModemClock.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

// A serial device in raw mode, 8N1, no flow control, modem-control lines ignored. Every read and
// write waits at most until a deadline of the port's clock, so a silent or vanished modem never
// blocks its caller. One thread at a time uses the port (its owner, under the owner's lock);
// only interrupt() and interrupts() may be called from any thread.
class SerialPort {
public:
    using Deadline = ModemClock::time_point;
    enum class Io {
        Ok,      // bytes were read or everything was written
        Timeout, // the deadline passed first
        Lost,    // the device went away (unplugged, hung up) or failed, or the port was
                 // interrupted; the port must be reopened
    };

    // `clock` (not owned) must outlive the port.
    explicit SerialPort(const ModemClock& clock = SystemModemClock());
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // Opens `path` at `baud` (a speed IsSupportedBaud accepts) and puts the terminal in exclusive
    // mode. Returns false, with a sentence in `error`, when the device cannot be opened or is not
    // a terminal, or the port is interrupted. Closes any port open before.
    bool open(const std::string& path, int baud, std::string& error);
    // Gives the exclusive mode back and closes the device.
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Writes all of `data`.
    Io write(std::string_view data, Deadline deadline);
    // Waits for input and appends what is there to `out` (at least one byte when Ok).
    Io read(std::string& out, Deadline deadline);
    // Throws away input that arrived but was not read.
    void discardInput();
    // Lets time pass until `deadline`; false when the port was interrupted first.
    bool pause(Deadline deadline);

    // From any thread: cuts short what the owner is doing with the port and all it does next.
    // Every wait ends at once; read, write and pause fail and open refuses, until the owner
    // accepts the interrupt with rearm(). The terminal's exclusive mode is given back at once, so
    // that another program can open the device even before the owner gets round to closing it.
    void interrupt();
    // The number of interrupts so far (any thread).
    std::uint64_t interrupts() const { return interrupts_.load(); }
    // The owner accepts the first `count` interrupts: from now on only later ones cut it short.
    void rearm(std::uint64_t count);
    // Whether an interrupt the owner has not accepted is pending.
    bool interrupted() const { return interrupts_.load() != accepted_; }

private:
    // Waits until the port has one of `events` (1, its revents in `revents`), the deadline
    // passed (0), or the port failed or was interrupted (-1).
    int waitFor(short events, Deadline deadline, short& revents);
    void drainWake();

    const ModemClock& clock_;
    int fd_ = -1;
    // Guards fd_'s changes against interrupt(), which reaches the terminal from another thread.
    std::mutex fdLock_;
    std::string path_;
    int wake_ = -1;
    std::atomic<std::uint64_t> interrupts_{0};
    std::uint64_t accepted_ = 0;
};
