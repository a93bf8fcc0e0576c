#pragma once

#include <chrono>
#include <string>
#include <string_view>

// A serial device in raw mode, 8N1, no flow control, modem-control lines ignored. Every read and
// write waits at most until a deadline, so a silent or vanished modem never blocks its caller.
class SerialPort {
public:
    using Deadline = std::chrono::steady_clock::time_point;
    enum class Io {
        Ok,      // bytes were read or everything was written
        Timeout, // the deadline passed first
        Lost,    // the device went away (unplugged, hung up) or failed; the port must be reopened
    };

    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // Opens `path` at `baud` (a speed IsSupportedBaud accepts). Returns false, with a sentence in
    // `error`, when the device cannot be opened or is not a terminal. Closes any port open before.
    bool open(const std::string& path, int baud, std::string& error);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Writes all of `data`.
    Io write(std::string_view data, Deadline deadline);
    // Waits for input and appends what is there to `out` (at least one byte when Ok).
    Io read(std::string& out, Deadline deadline);
    // Throws away input that arrived but was not read.
    void discardInput();

private:
    int fd_ = -1;
    std::string path_;
};
