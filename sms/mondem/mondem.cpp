#include "sms/mondem/mondem.h"

#include "sms/mondem/ModemDriver.h"

// The five exports drive one modem per process. None lets an exception reach its C caller.

namespace {

ModemDriver& Driver() {
    static ModemDriver driver;
    return driver;
}

template <typename Call> int Guarded(Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return -1;
    }
}

} // namespace

int fnSetModemType(int type, int port) {
    return Guarded([&] { return Driver().setModemType(type, port); });
}

int fnInitModem(int) {
    return Guarded([] { return Driver().initModem(); });
}

int fnSendMsg(int, const char* number, const char* text) {
    return Guarded([&] { return Driver().sendMessage(number, text); });
}

int fnGetStatus(int) {
    return Guarded([] { return Driver().status(); });
}

int fnCloseModem(int) {
    Guarded([] { return Driver().closeModem(); });
    return 0;
}
