#pragma once

#include "sms/mondem/ModemConfig.h"
#include "sms/mondem/ModemManagerBus.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// The five operations of the modem library over ModemManager on the system bus: the modem is the
// one ModemManager manages (the one mondem.ini's Device names by a port or its equipment
// identifier, when set), looked up anew by every operation, so that a modem ModemManager removed
// and added again is found at the next send. Each operation has a connection of its own; calls
// from several threads run one after the other. Why an operation failed goes to standard error
// in one line.
class ModemManagerDriver {
public:
    ModemManagerDriver();

    // Reads the settings and finds the modem; -2 for a type or port other than 0.
    int setModemType(int type, int port);
    // Finds the modem and makes sure it can send: its SIM unlocked (the configured PIN entered
    // once when it asks for it) and the modem enabled. 0 or -1.
    int initModem();
    // Sends `text` (GBK, given to ModemManager as UTF-8) to `number`: Create, Send, then the
    // message's State followed until sent, at most SendTimeout; Delete afterwards. 0 only when
    // ModemManager reports the message sent.
    int sendMessage(const char* number, const char* text);
    // 0 when the modem is there and registered on a network, -1 otherwise. While a send holds
    // the driver for more than a second, the answer it last gave.
    int status();
    // Cuts short an operation in progress on another thread (it fails within a quarter of a
    // second) and waits at most a second for it. Always 0.
    int closeModem();

    // Whether ModemManager runs on the system bus and manages a modem `config` names (any one
    // when Device is empty). Says nothing on standard error.
    static bool Manages(const ModemConfig& config);
    // Whether ModemManager's service is on the system bus. Says nothing on standard error.
    static bool Runs(const ModemConfig& config);

private:
    enum class Need { Present, Usable };
    // The modem to use, or nothing (said why on standard error unless `quiet`).
    std::optional<ManagedModem> find(ModemManagerBus& bus, Need need, bool quiet);
    bool unlock(ModemManagerBus& bus, const ManagedModem& modem);
    // Deletes `message`, reporting a failure (a refusal only when `sayRefusal`).
    void discard(ModemManagerBus& bus, const std::string& modem, const std::string& message,
                 bool sayRefusal);

    std::timed_mutex mutex_;
    std::atomic<std::uint64_t> interrupts_{0};
    ModemConfig config_;
    bool configured_ = false;
    std::atomic<int> lastStatus_{-1};
    bool pinRefused_ = false; // a PIN the SIM refused is entered again only after setModemType
};
