#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct sd_bus;
struct sd_bus_message;

// What ModemManager publishes about one modem, as far as the driver needs it.
struct ManagedModem {
    std::string path;
    int state = 0;                    // MMModemState: 2 locked, 3 disabled, 6 enabled, 8 registered
    std::uint32_t unlockRequired = 0; // MMModemLock: 1 none, 2 SIM PIN
    std::string sim;                  // object path of the SIM, "/" when none
    std::string equipmentIdentifier;  // the IMEI of a GSM modem
    std::string primaryPort;
    std::vector<std::string> ports;
    bool messaging = false; // the Modem.Messaging interface is there
    std::uint32_t signalQuality = 0;
    std::uint32_t registration = 0; // MMModem3gppRegistrationState: 1 home, 5 roaming
};

// A failed call: the D-Bus error's name and text, or a name of the library's own for a
// connection that could not be made ("connect") or a call cut short ("interrupted").
struct BusError {
    std::string name;
    std::string message;
    std::string text() const { return message.empty() ? name : name + ": " + message; }
};

// A connection to ModemManager (org.freedesktop.ModemManager1) on the system bus, the one
// DBUS_SYSTEM_BUS_ADDRESS names when set. Every call is bounded by a time-out and asks for no
// interactive authorisation, so a polkit agent can never hold it up; a call also ends, failing
// with "interrupted", within a quarter of a second of `interrupts` differing from `seen`. Not
// shared between threads.
class ModemManagerBus {
public:
    ModemManagerBus(int callTimeoutMs, const std::atomic<std::uint64_t>& interrupts,
                    std::uint64_t seen);
    ~ModemManagerBus();
    ModemManagerBus(const ModemManagerBus&) = delete;
    ModemManagerBus& operator=(const ModemManagerBus&) = delete;

    bool connect(BusError& error);
    // Whether the service's name has an owner on the bus.
    bool serviceRunning(BusError& error);
    // The modems of the ObjectManager (GetManagedObjects).
    bool modems(std::vector<ManagedModem>& modems, BusError& error);
    // Modem.Messaging.Create({number, text}): the new message's object path.
    bool createMessage(const std::string& modem, const std::string& number, const std::string& text,
                       std::string& message, BusError& error);
    // Sms.Send, waiting at most `timeoutMs` for the reply.
    bool sendMessage(const std::string& message, int timeoutMs, BusError& error);
    // The message's State (MMSmsState: 1 stored, 4 sending, 5 sent).
    bool messageState(const std::string& message, std::uint32_t& state, BusError& error);
    // Modem.Messaging.Delete.
    bool deleteMessage(const std::string& modem, const std::string& message, BusError& error);
    // Sim.SendPin.
    bool sendPin(const std::string& sim, const std::string& pin, BusError& error);

private:
    // Sends `call` (consumed) and waits for its reply, at most `timeoutMs`.
    bool exchange(sd_bus_message* call, int timeoutMs, sd_bus_message** reply, BusError& error);
    bool method(const std::string& path, const char* interface, const char* member,
                sd_bus_message** call, BusError& error);

    const int callTimeoutMs_;
    const std::atomic<std::uint64_t>& interrupts_;
    const std::uint64_t interruptsAtStart_;
    sd_bus* bus_ = nullptr;
};
