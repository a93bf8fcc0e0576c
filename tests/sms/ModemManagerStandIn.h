#pragma once

#include "support/TempDir.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// The ModemManager stand-in (modem_manager_standin.py) on a message bus of its own: a dbus-daemon
// configured like a system bus, on a socket in a temporary folder, and the Python service owning
// org.freedesktop.ModemManager1 on it. Clients reach it by putting Address() into
// DBUS_SYSTEM_BUS_ADDRESS. Both processes end with the object.
class ModemManagerStandIn {
public:
    struct Options {
        bool withModem = true;   // one modem from the start
        bool withService = true; // false: the bus alone, no ModemManager on it
    };
    ModemManagerStandIn();
    explicit ModemManagerStandIn(Options options);
    ~ModemManagerStandIn();
    ModemManagerStandIn(const ModemManagerStandIn&) = delete;
    ModemManagerStandIn& operator=(const ModemManagerStandIn&) = delete;

    // Empty when bus and service are up, otherwise what went wrong.
    const std::string& problem() const { return problem_; }
    const std::string& address() const { return address_; }

    // One command of the stand-in's control language (see the script); its answer lines.
    std::vector<std::string> command(const std::string& line);
    // The record of what clients did, one entry per call: "create NUMBER HEXTEXT", "send PATH",
    // "delete PATH", "sendpin PIN".
    std::vector<std::string> log() { return command("log"); }
    // The entries of the log starting with `kind` (e.g. "create").
    std::vector<std::string> logged(const std::string& kind);

    // The Python that has dbus and gi, or empty.
    static std::string Python();
    // A text from the hex of its UTF-8 bytes, as the log shows it.
    static std::string FromHex(const std::string& hex);

private:
    bool readLine(std::string& line, std::chrono::milliseconds limit);
    void stop(pid_t& pid);

    TempDir dir_;
    std::string problem_;
    std::string address_;
    pid_t daemon_ = -1;
    pid_t service_ = -1;
    int toService_ = -1;
    int fromService_ = -1;
    std::string buffered_;
};
