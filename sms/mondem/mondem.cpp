#include "sms/mondem/mondem.h"

#include "sms/mondem/ModemConfig.h"
#include "sms/mondem/ModemDriver.h"
#include "sms/mondem/ModemManagerDriver.h"

#include <atomic>

// The five exports drive one modem per process, through the serial driver or through
// ModemManager as mondem.ini's Backend says. None lets an exception reach its C caller.

namespace {

ModemDriver& Driver() {
    static ModemDriver driver;
    return driver;
}

ModemManagerDriver& Manager() {
    static ModemManagerDriver driver;
    return driver;
}

enum class Route { Undecided, Serial, ModemManager };
std::atomic<Route> route{Route::Undecided};

// The settings as far as the choice needs them; their problems are reported by the driver that
// reads them in full.
ModemConfig QuietConfig() {
    std::string problem;
    const std::optional<std::string> text = ReadModemConfigText(ModemConfigPath(), problem);
    return text ? ParseModemConfig(*text) : ModemConfig{};
}

// Decides which driver serves the calls. With Backend=auto ModemManager serves when it runs and
// manages the modem; once chosen it keeps serving as long as its service runs, so that a modem it
// is just re-probing is not opened behind its back. Leaving the serial driver, its port is let go.
Route Decide() {
    const ModemConfig config = QuietConfig();
    Route chosen = Route::Serial;
    switch (config.backend) {
    case ModemConfig::Backend::Serial:
        break;
    case ModemConfig::Backend::ModemManager:
        chosen = Route::ModemManager;
        break;
    case ModemConfig::Backend::Auto:
        if (ModemManagerDriver::Manages(config) ||
            (route == Route::ModemManager && ModemManagerDriver::Runs(config)))
            chosen = Route::ModemManager;
        break;
    }
    if (route.exchange(chosen) == Route::Serial && chosen == Route::ModemManager)
        Driver().closeModem();
    return chosen;
}

Route Current() {
    const Route now = route;
    return now == Route::Undecided ? Decide() : now;
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
    return Guarded([&] {
        return Decide() == Route::ModemManager ? Manager().setModemType(type, port)
                                               : Driver().setModemType(type, port);
    });
}

int fnInitModem(int) {
    return Guarded([] {
        return Current() == Route::ModemManager ? Manager().initModem() : Driver().initModem();
    });
}

int fnSendMsg(int, const char* number, const char* text) {
    // Each alert looks again: ModemManager may have come, gone, or taken the modem since.
    return Guarded([&] {
        return Decide() == Route::ModemManager ? Manager().sendMessage(number, text)
                                               : Driver().sendMessage(number, text);
    });
}

int fnGetStatus(int) {
    return Guarded(
        [] { return Current() == Route::ModemManager ? Manager().status() : Driver().status(); });
}

int fnCloseModem(int) {
    Guarded([] {
        Manager().closeModem();
        return Driver().closeModem();
    });
    return 0;
}
