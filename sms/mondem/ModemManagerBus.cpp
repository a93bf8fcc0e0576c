#include "sms/mondem/ModemManagerBus.h"

#include "platform/ErrorText.h"

#include <algorithm>
#include <cstring>
#include <systemd/sd-bus.h>
#include <time.h>

namespace {

constexpr const char* kService = "org.freedesktop.ModemManager1";
constexpr const char* kManagerPath = "/org/freedesktop/ModemManager1";
constexpr const char* kModem = "org.freedesktop.ModemManager1.Modem";
constexpr const char* kMessaging = "org.freedesktop.ModemManager1.Modem.Messaging";
constexpr const char* k3gpp = "org.freedesktop.ModemManager1.Modem.Modem3gpp";

// The longest a wait lasts before the interrupt counter is looked at again.
constexpr std::uint64_t kSliceUsec = 250 * 1000;

std::uint64_t NowUsec() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

void Fail(BusError& error, const char* name, int negativeErrno) {
    error.name = name;
    error.message = ErrnoText(-negativeErrno);
}

// Appending a call's arguments gave `r`: on a failure frees the call and says why.
bool Appended(sd_bus_message* call, int r, BusError& error) {
    if (r >= 0)
        return true;
    sd_bus_message_unref(call);
    Fail(error, "call", r);
    return false;
}

// A reply of sd-bus, released with the object.
struct Reply {
    sd_bus_message* message = nullptr;
    ~Reply() { sd_bus_message_unref(message); }
};

// What the reply callback fills in.
struct Pending {
    bool done = false;
    sd_bus_message* reply = nullptr;
};

int OnReply(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* pending = static_cast<Pending*>(userdata);
    pending->done = true;
    pending->reply = sd_bus_message_ref(message);
    return 0;
}

// Reads the variant value of a property into `out` when its type is `type`, and skips it
// otherwise: a property of an unexpected type is treated as absent.
template <typename T> int ReadBasic(sd_bus_message* m, char type, T& out) {
    char actual = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, &actual, &contents);
    if (r < 0)
        return r;
    if (!contents || contents[0] != type || contents[1] != '\0')
        return sd_bus_message_skip(m, "v");
    const char signature[2] = {type, '\0'};
    if ((r = sd_bus_message_enter_container(m, 'v', signature)) < 0)
        return r;
    if ((r = sd_bus_message_read_basic(m, type, &out)) < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

int ReadString(sd_bus_message* m, char type, std::string& out) {
    const char* value = nullptr;
    int r = ReadBasic(m, type, value);
    if (r >= 0 && value)
        out = value;
    return r;
}

int ReadPorts(sd_bus_message* m, std::vector<std::string>& ports) {
    char actual = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, &actual, &contents);
    if (r < 0)
        return r;
    if (!contents || std::strcmp(contents, "a(su)") != 0)
        return sd_bus_message_skip(m, "v");
    if ((r = sd_bus_message_enter_container(m, 'v', "a(su)")) < 0 ||
        (r = sd_bus_message_enter_container(m, 'a', "(su)")) < 0)
        return r;
    const char* name = nullptr;
    std::uint32_t kind = 0;
    while ((r = sd_bus_message_read(m, "(su)", &name, &kind)) > 0)
        ports.emplace_back(name);
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

int ReadSignal(sd_bus_message* m, std::uint32_t& quality) {
    char actual = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, &actual, &contents);
    if (r < 0)
        return r;
    if (!contents || std::strcmp(contents, "(ub)") != 0)
        return sd_bus_message_skip(m, "v");
    int recent = 0;
    if ((r = sd_bus_message_enter_container(m, 'v', "(ub)")) < 0 ||
        (r = sd_bus_message_read(m, "(ub)", &quality, &recent)) < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

// One interface's a{sv} of properties.
int ReadProperties(sd_bus_message* m, const std::string& interface, ManagedModem& modem) {
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0)
        return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read_basic(m, 's', &name)) < 0)
            return r;
        const std::string property = name;
        if (interface == kModem && property == "State")
            r = ReadBasic(m, 'i', modem.state);
        else if (interface == kModem && property == "UnlockRequired")
            r = ReadBasic(m, 'u', modem.unlockRequired);
        else if (interface == kModem && property == "Sim")
            r = ReadString(m, 'o', modem.sim);
        else if (interface == kModem && property == "EquipmentIdentifier")
            r = ReadString(m, 's', modem.equipmentIdentifier);
        else if (interface == kModem && property == "PrimaryPort")
            r = ReadString(m, 's', modem.primaryPort);
        else if (interface == kModem && property == "Ports")
            r = ReadPorts(m, modem.ports);
        else if (interface == kModem && property == "SignalQuality")
            r = ReadSignal(m, modem.signalQuality);
        else if (interface == k3gpp && property == "RegistrationState")
            r = ReadBasic(m, 'u', modem.registration);
        else
            r = sd_bus_message_skip(m, "v");
        if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0)
            return r;
    }
    if (r < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

} // namespace

ModemManagerBus::ModemManagerBus(int callTimeoutMs, const std::atomic<std::uint64_t>& interrupts,
                                 std::uint64_t seen)
    : callTimeoutMs_(callTimeoutMs), interrupts_(interrupts), interruptsAtStart_(seen) {}

// Not flushed: every call sent was answered or given up, and a flush could wait on a stuck bus.
ModemManagerBus::~ModemManagerBus() {
    sd_bus_close_unref(bus_);
}

bool ModemManagerBus::connect(BusError& error) {
    // Reads DBUS_SYSTEM_BUS_ADDRESS, or takes the system bus's well-known socket.
    int r = sd_bus_open_system(&bus_);
    if (r < 0) {
        bus_ = nullptr;
        Fail(error, "connect", r);
        return false;
    }
    sd_bus_set_allow_interactive_authorization(bus_, 0);
    sd_bus_set_method_call_timeout(bus_, static_cast<std::uint64_t>(callTimeoutMs_) * 1000u);
    return true;
}

bool ModemManagerBus::method(const std::string& path, const char* interface, const char* member,
                             sd_bus_message** call, BusError& error) {
    if (!bus_) {
        error.name = "connect";
        error.message = "not connected";
        return false;
    }
    int r = sd_bus_message_new_method_call(bus_, call, kService, path.c_str(), interface, member);
    if (r < 0) {
        Fail(error, "call", r);
        return false;
    }
    return true;
}

bool ModemManagerBus::exchange(sd_bus_message* call, int timeoutMs, sd_bus_message** reply,
                               BusError& error) {
    Pending pending;
    sd_bus_slot* slot = nullptr;
    const std::uint64_t timeoutUsec = static_cast<std::uint64_t>(timeoutMs) * 1000u;
    int r = sd_bus_call_async(bus_, &slot, call, OnReply, &pending, timeoutUsec);
    sd_bus_message_unref(call);
    if (r < 0) {
        Fail(error, "call", r);
        return false;
    }
    // sd-bus delivers its own time-out error as a reply; the deadline here only guards
    // against a bus that never lets us see it.
    const std::uint64_t deadline = NowUsec() + timeoutUsec + 1000000u;
    while (!pending.done) {
        if (interrupts_ != interruptsAtStart_) {
            sd_bus_slot_unref(slot);
            error = {"interrupted", "the modem was closed"};
            return false;
        }
        r = sd_bus_process(bus_, nullptr);
        if (r > 0)
            continue;
        const std::uint64_t now = NowUsec();
        if (r < 0 || now >= deadline) {
            sd_bus_slot_unref(slot);
            if (r < 0)
                Fail(error, "connection", r);
            else
                error = {"org.freedesktop.DBus.Error.Timeout", "no reply"};
            return false;
        }
        sd_bus_wait(bus_, std::min(kSliceUsec, deadline - now));
    }
    sd_bus_slot_unref(slot);
    if (sd_bus_message_is_method_error(pending.reply, nullptr)) {
        const sd_bus_error* failure = sd_bus_message_get_error(pending.reply);
        error.name = failure && failure->name ? failure->name : "error";
        error.message = failure && failure->message ? failure->message : "";
        sd_bus_message_unref(pending.reply);
        return false;
    }
    *reply = pending.reply;
    return true;
}

bool ModemManagerBus::serviceRunning(BusError& error) {
    if (!bus_)
        return false;
    sd_bus_message* call = nullptr;
    int r =
        sd_bus_message_new_method_call(bus_, &call, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "NameHasOwner");
    if (r >= 0)
        r = sd_bus_message_append(call, "s", kService);
    if (!Appended(call, r, error))
        return false;
    Reply reply;
    if (!exchange(call, callTimeoutMs_, &reply.message, error))
        return false;
    int owned = 0;
    if ((r = sd_bus_message_read(reply.message, "b", &owned)) < 0) {
        Fail(error, "reply", r);
        return false;
    }
    return owned != 0;
}

bool ModemManagerBus::modems(std::vector<ManagedModem>& modems, BusError& error) {
    sd_bus_message* call = nullptr;
    if (!method(kManagerPath, "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", &call,
                error))
        return false;
    Reply reply;
    if (!exchange(call, callTimeoutMs_, &reply.message, error))
        return false;
    sd_bus_message* m = reply.message;
    int r = sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}");
    while (r >= 0 && (r = sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}")) > 0) {
        ManagedModem modem;
        bool isModem = false;
        const char* path = nullptr;
        if ((r = sd_bus_message_read_basic(m, 'o', &path)) < 0 ||
            (r = sd_bus_message_enter_container(m, 'a', "{sa{sv}}")) < 0)
            break;
        modem.path = path;
        while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            if ((r = sd_bus_message_read_basic(m, 's', &interface)) < 0)
                break;
            isModem = isModem || std::strcmp(interface, kModem) == 0;
            modem.messaging = modem.messaging || std::strcmp(interface, kMessaging) == 0;
            if ((r = ReadProperties(m, interface, modem)) < 0 ||
                (r = sd_bus_message_exit_container(m)) < 0)
                break;
        }
        if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0 ||
            (r = sd_bus_message_exit_container(m)) < 0)
            break;
        if (isModem)
            modems.push_back(std::move(modem));
    }
    if (r < 0) {
        Fail(error, "reply", r);
        return false;
    }
    return true;
}

bool ModemManagerBus::createMessage(const std::string& modem, const std::string& number,
                                    const std::string& text, std::string& message,
                                    BusError& error) {
    sd_bus_message* call = nullptr;
    if (!method(modem, kMessaging, "Create", &call, error))
        return false;
    int r = sd_bus_message_append(call, "a{sv}", 2, "number", "s", number.c_str(), "text", "s",
                                  text.c_str());
    if (!Appended(call, r, error))
        return false;
    Reply reply;
    if (!exchange(call, callTimeoutMs_, &reply.message, error))
        return false;
    const char* path = nullptr;
    if ((r = sd_bus_message_read(reply.message, "o", &path)) < 0) {
        Fail(error, "reply", r);
        return false;
    }
    message = path;
    return true;
}

bool ModemManagerBus::sendMessage(const std::string& message, int timeoutMs, BusError& error) {
    sd_bus_message* call = nullptr;
    if (!method(message, "org.freedesktop.ModemManager1.Sms", "Send", &call, error))
        return false;
    Reply reply;
    return exchange(call, timeoutMs, &reply.message, error);
}

bool ModemManagerBus::messageState(const std::string& message, std::uint32_t& state,
                                   BusError& error) {
    sd_bus_message* call = nullptr;
    if (!method(message, "org.freedesktop.DBus.Properties", "Get", &call, error))
        return false;
    int r = sd_bus_message_append(call, "ss", "org.freedesktop.ModemManager1.Sms", "State");
    if (!Appended(call, r, error))
        return false;
    Reply reply;
    if (!exchange(call, callTimeoutMs_, &reply.message, error))
        return false;
    if ((r = sd_bus_message_read(reply.message, "v", "u", &state)) < 0) {
        Fail(error, "reply", r);
        return false;
    }
    return true;
}

bool ModemManagerBus::deleteMessage(const std::string& modem, const std::string& message,
                                    BusError& error) {
    sd_bus_message* call = nullptr;
    if (!method(modem, kMessaging, "Delete", &call, error))
        return false;
    int r = sd_bus_message_append(call, "o", message.c_str());
    if (!Appended(call, r, error))
        return false;
    Reply reply;
    return exchange(call, callTimeoutMs_, &reply.message, error);
}

bool ModemManagerBus::sendPin(const std::string& sim, const std::string& pin, BusError& error) {
    sd_bus_message* call = nullptr;
    if (!method(sim, "org.freedesktop.ModemManager1.Sim", "SendPin", &call, error))
        return false;
    int r = sd_bus_message_append(call, "s", pin.c_str());
    if (!Appended(call, r, error))
        return false;
    Reply reply;
    return exchange(call, callTimeoutMs_, &reply.message, error);
}
