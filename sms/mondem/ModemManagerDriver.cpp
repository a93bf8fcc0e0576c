#include "sms/mondem/ModemManagerDriver.h"

#include "platform/WriteIfReady.h"
#include "sms/mondem/SmsAlphabet.h"
#include "sms/mondem/SubmitPdu.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// MMModemState, MMModemLock and MMSmsState values the driver looks at.
constexpr int kStateFailed = -1;
constexpr int kStateLocked = 2;
constexpr int kStateDisabled = 3;
constexpr int kStateDisabling = 4;
constexpr int kStateEnabled = 6;
constexpr int kStateRegistered = 8;
constexpr std::uint32_t kLockSimPin = 2;
constexpr std::uint32_t kSmsStored = 1;
constexpr std::uint32_t kSmsSending = 4;
constexpr std::uint32_t kSmsSent = 5;

constexpr const char* kMessagingAction = "org.freedesktop.ModemManager1.Messaging";
constexpr const char* kControlAction = "org.freedesktop.ModemManager1.Device.Control";

void Say(const std::string& sentence) {
    // The caller may be the GUI thread: a line stderr does not take at once is left out.
    WriteIfReady(STDERR_FILENO, "mondem: ModemManager: " + sentence + "\n");
}

// Whether ModemManager (through polkit) or the bus's policy refused the call to this account.
bool IsRefusal(const BusError& error) {
    return error.name == "org.freedesktop.DBus.Error.AccessDenied" ||
           error.name == "org.freedesktop.ModemManager1.Error.Core.Unauthorized" ||
           error.name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired";
}

void SayRefused(const std::string& what, const char* action, const BusError& error) {
    Say(std::string("refused to ") + what + " for this account (" + error.text() +
        "); allow it the polkit action " + action + ", see \"ModemManager and polkit\" in " +
        "the README");
}

std::string Basename(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether Device= names `modem`: by its equipment identifier, or by one of its ports, given as
// the port's name ("ttyUSB2"), as a device path, or as a link to it (/dev/serial/by-id/...).
bool Names(const ModemConfig& config, const ManagedModem& modem) {
    if (config.device.empty())
        return true;
    std::vector<std::string> names{config.device, Basename(config.device)};
    if (char* real = ::realpath(config.device.c_str(), nullptr)) {
        names.push_back(Basename(real));
        std::free(real);
    }
    for (const std::string& name : names) {
        if (name.empty())
            continue;
        if (name == modem.equipmentIdentifier || name == modem.primaryPort)
            return true;
        for (const std::string& port : modem.ports)
            if (name == port)
                return true;
    }
    return false;
}

// "/org/freedesktop/ModemManager1/Modem/3" -> "3", for the mmcli hint.
std::string ModemIndex(const std::string& path) {
    return Basename(path);
}

} // namespace

ModemManagerDriver::ModemManagerDriver() = default;

bool ModemManagerDriver::Manages(const ModemConfig& config) {
    const std::atomic<std::uint64_t> never{0};
    ModemManagerBus bus(config.commandTimeoutMs, never, 0);
    BusError error;
    std::vector<ManagedModem> modems;
    if (!bus.connect(error) || !bus.serviceRunning(error) || !bus.modems(modems, error))
        return false;
    for (const ManagedModem& modem : modems)
        if (Names(config, modem))
            return true;
    return false;
}

bool ModemManagerDriver::Runs(const ModemConfig& config) {
    const std::atomic<std::uint64_t> never{0};
    ModemManagerBus bus(config.commandTimeoutMs, never, 0);
    BusError error;
    return bus.connect(error) && bus.serviceRunning(error);
}

int ModemManagerDriver::setModemType(int type, int port) {
    const std::uint64_t seen = interrupts_;
    std::lock_guard lock(mutex_);
    if (type != 0 || port != 0)
        return -2;
    config_ = LoadModemConfig();
    configured_ = true;
    // Finding the modem anew is the time to try a PIN again (perhaps a corrected one).
    pinRefused_ = false;
    ModemManagerBus bus(config_.commandTimeoutMs, interrupts_, seen);
    BusError error;
    if (!bus.connect(error)) {
        Say("cannot reach the system bus (" + error.text() + ")");
        return -1;
    }
    return find(bus, Need::Present, false) ? 0 : -1;
}

int ModemManagerDriver::initModem() {
    const std::uint64_t seen = interrupts_;
    std::lock_guard lock(mutex_);
    config_ = LoadModemConfig();
    configured_ = true;
    ModemManagerBus bus(config_.commandTimeoutMs, interrupts_, seen);
    BusError error;
    if (!bus.connect(error)) {
        Say("cannot reach the system bus (" + error.text() + ")");
        return -1;
    }
    return find(bus, Need::Usable, false) ? 0 : -1;
}

int ModemManagerDriver::sendMessage(const char* number, const char* text) {
    if (!number || !text || !IsValidNumber(number))
        return -1;
    // ModemManager takes UTF-8 and chooses the alphabet and the parts itself.
    const std::string body = GbkToUtf8(text);

    const std::uint64_t seen = interrupts_;
    std::lock_guard lock(mutex_);
    if (!configured_) {
        config_ = LoadModemConfig();
        configured_ = true;
    }
    ModemManagerBus bus(config_.commandTimeoutMs, interrupts_, seen);
    BusError error;
    if (!bus.connect(error)) {
        Say("cannot reach the system bus (" + error.text() + ")");
        return -1;
    }
    const std::optional<ManagedModem> modem = find(bus, Need::Usable, false);
    if (!modem)
        return -1;

    std::string message;
    if (!bus.createMessage(modem->path, number, body, message, error)) {
        if (IsRefusal(error))
            SayRefused("create a message", kMessagingAction, error);
        else if (error.name != "interrupted")
            Say("could not create the message (" + error.text() + ")");
        return -1;
    }

    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(config_.sendTimeoutMs);
    const std::string limit = "SendTimeout=" + std::to_string(config_.sendTimeoutMs) + " ms";
    bool sent = false;
    bool refused = false;
    if (!bus.sendMessage(message, config_.sendTimeoutMs, error)) {
        refused = IsRefusal(error);
        if (refused)
            SayRefused("send the message", kMessagingAction, error);
        else if (error.name == "org.freedesktop.DBus.Error.Timeout" ||
                 error.name == "org.freedesktop.DBus.Error.NoReply")
            Say("the message was not reported sent within " + limit);
        else if (error.name != "interrupted")
            Say("the message was not sent (" + error.text() + ")");
    } else {
        // Send replies once the network took the message; the State confirms it, and is
        // followed a little longer should the reply have come first.
        std::uint32_t state = kSmsSending;
        while (bus.messageState(message, state, error) && state == kSmsSending &&
               Clock::now() < deadline)
            std::this_thread::sleep_for(100ms);
        sent = state == kSmsSent;
        if (!sent && error.name != "interrupted")
            Say(state == kSmsSending ? "the message was not reported sent within " + limit
                : state == kSmsStored
                    ? std::string("the message went back to the modem's storage unsent")
                    : "the message is in state " + std::to_string(state) + ", not sent");
    }
    // Whatever happened, the modem's storage keeps nothing of ours.
    discard(bus, modem->path, message, !refused);
    return sent ? 0 : -1;
}

int ModemManagerDriver::status() {
    const std::uint64_t seen = interrupts_;
    std::unique_lock lock(mutex_, std::defer_lock);
    // A send in progress holds the driver for up to SendTimeout; the state waits for it only
    // briefly, and then is what it was last seen to be.
    if (!lock.try_lock_for(1s))
        return lastStatus_;
    if (!configured_) {
        config_ = LoadModemConfig();
        configured_ = true;
    }
    ModemManagerBus bus(config_.commandTimeoutMs, interrupts_, seen);
    BusError error;
    if (!bus.connect(error))
        return lastStatus_ = -1;
    const std::optional<ManagedModem> modem = find(bus, Need::Present, true);
    lastStatus_ = modem && modem->state >= kStateRegistered ? 0 : -1;
    return lastStatus_;
}

int ModemManagerDriver::closeModem() {
    ++interrupts_;
    std::unique_lock lock(mutex_, std::defer_lock);
    lock.try_lock_for(1s);
    return 0;
}

std::optional<ManagedModem> ModemManagerDriver::find(ModemManagerBus& bus, Need need, bool quiet) {
    BusError error;
    std::vector<ManagedModem> modems;
    if (!bus.modems(modems, error)) {
        if (!quiet && error.name != "interrupted")
            Say(error.name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
                        error.name == "org.freedesktop.DBus.Error.NameHasNoOwner"
                    ? std::string("the service org.freedesktop.ModemManager1 is not running")
                    : "cannot list the modems (" + error.text() + ")");
        return std::nullopt;
    }
    std::optional<ManagedModem> found;
    for (ManagedModem& modem : modems)
        if (Names(config_, modem)) {
            found = std::move(modem);
            break;
        }
    if (!found) {
        if (!quiet)
            Say(config_.device.empty() ? std::string("manages no modem")
                                       : "manages no modem that Device=" + config_.device +
                                             " names (by a port or the equipment identifier)");
        return std::nullopt;
    }
    if (need == Need::Present)
        return found;

    if (found->state == kStateLocked || found->unlockRequired == kLockSimPin) {
        if (!unlock(bus, *found))
            return std::nullopt;
        // ModemManager finishes bringing the modem up after the PIN; take its new state.
        const Clock::time_point until =
            Clock::now() + std::chrono::milliseconds(config_.commandTimeoutMs);
        std::optional<ManagedModem> again;
        while ((again = find(bus, Need::Present, true)) && again->state == kStateLocked &&
               Clock::now() < until)
            std::this_thread::sleep_for(100ms);
        if (!again)
            return std::nullopt;
        found = std::move(again);
    }
    const std::string index = ModemIndex(found->path);
    if (found->state == kStateFailed) {
        Say("the modem " + found->path + " has failed (no SIM, or a SIM it cannot use)");
        return std::nullopt;
    }
    if (found->state == kStateLocked) {
        Say("the modem " + found->path + " is still locked");
        return std::nullopt;
    }
    if (found->state == kStateDisabled || found->state == kStateDisabling) {
        // Switching it on is the operator's (or NetworkManager's) decision, not ours.
        Say("the modem " + found->path + " is disabled; enable it (mmcli -m " + index +
            " --enable) and the next alert uses it");
        return std::nullopt;
    }
    if (found->state < kStateEnabled) {
        Say("the modem " + found->path + " is not ready yet (state " +
            std::to_string(found->state) + ")");
        return std::nullopt;
    }
    if (!found->messaging) {
        Say("the modem " + found->path + " offers no messaging");
        return std::nullopt;
    }
    return found;
}

bool ModemManagerDriver::unlock(ModemManagerBus& bus, const ManagedModem& modem) {
    if (config_.pin.empty()) {
        Say("the SIM of the modem " + modem.path + " is locked and mondem.ini sets no Pin");
        return false;
    }
    if (pinRefused_) {
        Say("the SIM of the modem " + modem.path +
            " is locked; its PIN was refused before and is not entered again");
        return false;
    }
    if (modem.sim.empty() || modem.sim == "/") {
        Say("the modem " + modem.path + " is locked but shows no SIM");
        return false;
    }
    BusError error;
    if (bus.sendPin(modem.sim, config_.pin, error))
        return true;
    if (IsRefusal(error)) {
        SayRefused("enter the SIM PIN", kControlAction, error);
    } else if (error.name != "interrupted") {
        // Entered once only: a wrong PIN repeated would block the SIM.
        pinRefused_ = true;
        Say("the SIM refused the Pin of mondem.ini (" + error.text() +
            "); it is not entered again");
    }
    return false;
}

void ModemManagerDriver::discard(ModemManagerBus& bus, const std::string& modem,
                                 const std::string& message, bool sayRefusal) {
    BusError error;
    if (bus.deleteMessage(modem, message, error) || error.name == "interrupted")
        return;
    if (IsRefusal(error)) {
        if (sayRefusal)
            SayRefused("delete the message", kMessagingAction, error);
    } else {
        Say("could not delete the message " + message + " (" + error.text() + ")");
    }
}
