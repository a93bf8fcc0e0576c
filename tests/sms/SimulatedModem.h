#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A GSM modem on a pseudo-terminal, answering on a thread of its own the way real ones do: echo
// on until ATE0, verbose results framed by CR LF, "+CPIN: READY", the "> " prompt after AT+CMGS,
// a PDU ended by Ctrl-Z (ESC cancels), "+CMGS: <mr>" then OK. Behaviours can be switched while
// it runs: unsolicited notices between replies, +CMS ERROR for every message, silence, hanging up
// (the device vanishes) when a message arrives, a SIM that wants its PIN or is still busy, a
// confirmation without +CMGS.
class SimulatedModem {
public:
    struct Behaviour {
        bool silent = false;         // reads everything, answers nothing
        bool notices = false;        // a +CMTI and a ^RSSI notice before every final result
        int cmsError = 0;            // non-zero: every message is refused with +CMS ERROR: n
        bool silentAfterPdu = false; // prompts, takes the PDU, never confirms it
        bool hangUpOnPdu = false;    // the device goes away when a message arrives
        int simBusy = 0;             // the first n AT+CPIN? get +CME ERROR: 14 (SIM busy)
        bool okWithoutCmgs = false;  // confirms a message with a bare OK, no +CMGS
        std::string pin{};           // non-empty: the SIM answers "SIM PIN" until given this
        std::chrono::milliseconds answerDelay{0}; // before each final result
    };

    struct Message {
        int declaredLength = 0; // the number given to AT+CMGS
        std::string pdu;        // the hex as received
    };

    SimulatedModem();
    explicit SimulatedModem(Behaviour behaviour);
    SimulatedModem(const SimulatedModem&) = delete;
    SimulatedModem& operator=(const SimulatedModem&) = delete;
    ~SimulatedModem();

    // The device path the driver opens (the pseudo-terminal's slave).
    const std::string& path() const { return path_; }

    void setBehaviour(const Behaviour& behaviour);
    // The device vanishes, as when the modem is unplugged; returns when it has.
    void hangUp();

    std::vector<std::string> commands() const;
    std::vector<Message> messages() const;
    // Protocol faults seen: a PDU with stray bytes (two commands interleaved), a length that
    // does not match AT+CMGS, a command unknown to the modem.
    std::vector<std::string> faults() const;
    // Waits until `count` messages were accepted or `timeout` passed.
    bool waitForMessages(size_t count, std::chrono::milliseconds timeout) const;
    // Waits until `count` PDUs have arrived, whatever the modem answered to them, or `timeout`
    // passed.
    bool waitForPdus(size_t count, std::chrono::milliseconds timeout) const;
    // Waits until the modem has seen `count` commands or `timeout` passed.
    bool waitForCommands(size_t count, std::chrono::milliseconds timeout) const;
    // Whether the device is in exclusive mode (TIOCEXCL): set by a driver that holds the port,
    // and left set by one that never gave it back.
    bool exclusive() const;

private:
    void run();
    void onByte(char c);
    void onCommand(const std::string& line);
    void onPdu();
    void reply(const std::string& text);
    void final(const std::string& result);
    void closeMaster();

    int master_ = -1;
    int slave_ = -1; // held open so the master never sees the line hang up between sessions
    int wake_[2] = {-1, -1};
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Behaviour behaviour_;
    std::vector<std::string> commands_;
    std::vector<Message> messages_;
    std::vector<std::string> faults_;
    size_t pdus_ = 0;
    bool hungUp_ = false;

    // Thread-only state.
    bool echo_ = true;
    bool pduMode_ = false;
    bool pinGiven_ = false;
    int simBusyAnswers_ = 0;
    bool inPdu_ = false;
    int declared_ = 0;
    int reference_ = 0;
    std::string line_;
};
