#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The library's settings, read from `mondem.ini` in the working directory (beside servers.ini),
// or from the file named by the environment variable MONDEM_CONFIG when it is set:
//
//   [Modem]
//   Backend=auto                                   ; auto, modemmanager or serial
//   Device=/dev/serial/by-id/usb-...-if02-port0   ; empty or absent: search
//   Baud=115200
//   Search=/dev/ttyUSB* /dev/ttyACM*               ; glob patterns, blank- or ";"-separated
//   ProbeTimeout=1000                              ; ms for a port to answer AT during a search
//   CommandTimeout=10000                           ; ms for any command's final result
//   SendTimeout=45000                              ; ms for +CMGS after the message went out
//   Pin=1234                                       ; only for a SIM that asks for its PIN
//
// Backend: how messages go out. serial: the driver opens the modem's AT port itself.
// modemmanager: through ModemManager on the system bus, Device naming the modem by one of its
// ports or its equipment identifier (IMEI). auto: ModemManager when it runs and manages a modem
// (the one Device names, when set), serial otherwise.
//
// Keys and the section name are case-insensitive; ";" and "#" start comments.
struct ModemConfig {
    enum class Backend { Auto, ModemManager, Serial };
    Backend backend = Backend::Auto;
    std::string device;
    int baud = 115200;
    std::vector<std::string> search = {"/dev/ttyUSB*", "/dev/ttyACM*"};
    int probeTimeoutMs = 1000;
    int commandTimeoutMs = 10000;
    int sendTimeoutMs = 45000;
    std::string pin;
};

// The speeds a port can be set to.
bool IsSupportedBaud(int baud);

// Reads the settings from INI text. A key with an unusable value keeps its default and adds a
// sentence to `problems` (when given); unknown keys and other sections are ignored.
ModemConfig ParseModemConfig(std::string_view text, std::vector<std::string>* problems = nullptr);

// The path of the settings file: $MONDEM_CONFIG, or "./mondem.ini".
std::string ModemConfigPath();

// The largest settings file read; a real one is a few hundred bytes.
inline constexpr std::size_t kMaxModemConfigBytes = 64 * 1024;

// The text of the settings file at `path`, read only when it is a regular file of at most
// kMaxModemConfigBytes: neither a FIFO nor a device such as /dev/zero can hold the caller up.
// Nothing when the file does not exist (`problem` stays empty) or cannot be used (`problem` says
// why: "not a regular file", "larger than 64 KiB", the system's reason).
std::optional<std::string> ReadModemConfigText(const std::string& path, std::string& problem);

// Reads the settings file; defaults when it does not exist. A file that cannot be used (see
// ReadModemConfigText) gives the defaults too, and is reported on stderr, as are problems in it;
// a report that stderr does not take at once is left out, so a full pipe holds nothing up.
ModemConfig LoadModemConfig();
