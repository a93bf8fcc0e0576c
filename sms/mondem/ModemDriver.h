#pragma once

#include "sms/mondem/AtResponse.h"
#include "sms/mondem/ModemClock.h"
#include "sms/mondem/ModemConfig.h"
#include "sms/mondem/SerialPort.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A GSM modem on a serial port, spoken to with the AT commands of 3GPP TS 27.005/27.007 in PDU
// mode. One command is in flight at a time and every public operation holds one mutex, so calls
// from several threads run one after the other. A port that stops answering or goes away is
// closed; the next operation looks for the modem again and brings it up anew. Time-outs and
// pauses run on `clock` (not owned, must outlive the driver).
class ModemDriver {
public:
    explicit ModemDriver(const ModemClock& clock = SystemModemClock());

    // Reads the settings and finds the modem: the configured device, or the first port of the
    // search patterns that answers "AT" with "OK". Only type 0 (a generic AT modem) and port 0 (as
    // configured) exist. 0 when a modem answered, -1 when none did, -2 for another type or port.
    int setModemType(int type, int port);
    // Brings the modem up: echo off, numeric error reports, SIM ready (entering the configured PIN
    // if the SIM asks for one), PDU mode. Finds the modem first if no port is open. 0 or -1.
    int initModem();
    // Sends `text` (GBK) to `number`; 0 only when the modem confirmed every part with +CMGS,
    // -1 otherwise (bad arguments, no modem, ERROR, +CMS ERROR, time-out, port lost).
    int sendMessage(const char* number, const char* text);
    // 0 when the modem is brought up and answers "AT", -1 otherwise.
    int status();
    // Closes the port. Always 0. An operation in progress on another thread (a send waiting for
    // a slow modem, the port search) is cut short and fails, and so is one that was waiting for
    // its turn; the port's exclusive mode is given back at once. Waits at most a second for the
    // operation to let go: at exit the program must not hang behind a slow modem, and the system
    // closes the descriptor anyway. Operations called after this one work as usual.
    int closeModem();

private:
    class Turn;

    enum class Outcome { Ok, Prompt, Failed, Timeout, Lost };
    struct Reply {
        Outcome outcome = Outcome::Failed;
        int errorCode = -1;
        std::vector<std::string> lines;
    };

    // Sends `command` + CR and follows the reply until its final result (or the prompt).
    Reply command(const std::string& command, const std::string& prefix, int timeoutMs,
                  bool wantsPrompt = false);
    // Sends raw bytes (the PDU and Ctrl-Z) and follows the reply like `command`.
    Reply transmit(const std::string& bytes, const std::string& echo, const std::string& prefix,
                   int timeoutMs, bool wantsPrompt);
    // Reads what the modem sent since the last reply and sets it aside. False when the port
    // turned out to be gone.
    bool drainStale();
    bool findModem();
    bool tryPort(const std::string& path);
    bool initialise();
    bool ensureReady();
    bool waitForSim();
    // Forgets the port after a time-out or a loss: the modem's state is unknown.
    void dropPort();
    // Drops the port when `reply` says it is gone or silent.
    void dropIfDead(const Reply& reply);

    const ModemClock& clock_;
    std::timed_mutex mutex_;
    ModemConfig config_;
    SerialPort port_;
    AtTokenizer tokenizer_;
    bool ready_ = false;
    bool trace_ = false;
    std::uint8_t reference_; // of the next concatenated message
};
