#include "sms/mondem/ModemDriver.h"

#include "platform/WriteIfReady.h"
#include "sms/mondem/SmsAlphabet.h"
#include "sms/mondem/SubmitPdu.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <glob.h>
#include <random>

namespace {

using namespace std::chrono_literals;

constexpr char kCtrlZ = '\x1A';
constexpr char kEscape = '\x1B';

// "ttyUSB2" before "ttyUSB10".
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            std::string_view na = std::string_view(a).substr(i, ei - i);
            std::string_view nb = std::string_view(b).substr(j, ej - j);
            while (na.size() > 1 && na.front() == '0')
                na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0')
                nb.remove_prefix(1);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> Expand(const std::vector<std::string>& patterns) {
    std::vector<std::string> paths;
    for (const std::string& pattern : patterns) {
        glob_t found{};
        if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
            std::vector<std::string> matches(found.gl_pathv, found.gl_pathv + found.gl_pathc);
            std::sort(matches.begin(), matches.end(), NaturalLess);
            for (std::string& path : matches)
                if (std::find(paths.begin(), paths.end(), path) == paths.end())
                    paths.push_back(std::move(path));
        }
        globfree(&found);
    }
    return paths;
}

// Shows the traffic on stderr when MONDEM_TRACE is set, control bytes escaped. A line that
// standard error does not take at once is left out: the caller may be the GUI thread.
void Trace(bool on, const char* direction, std::string_view bytes) {
    if (!on)
        return;
    std::string shown;
    for (unsigned char c : bytes) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            shown += hex;
        } else
            shown.push_back(static_cast<char>(c));
    }
    WriteIfReady(STDERR_FILENO, std::string("mondem ") + direction + " " + shown + "\n");
}

} // namespace

// One public operation's hold on the driver. A close that came while the operation waited for
// its turn cuts it short too: a send queued behind the one a close ended must not open the port
// again.
class ModemDriver::Turn {
public:
    explicit Turn(ModemDriver& driver)
        : port_(driver.port_), closes_(port_.interrupts()), lock_(driver.mutex_) {
        port_.rearm(closes_);
    }
    bool CutShort() const { return port_.interrupted(); }

private:
    SerialPort& port_;
    const std::uint64_t closes_;
    std::unique_lock<std::timed_mutex> lock_;
};

// Phones join parts by reference; starting at a random one keeps a restarted monitor from
// reusing the reference of a message the phone is still assembling.
ModemDriver::ModemDriver(const ModemClock& clock)
    : clock_(clock), port_(clock), reference_(static_cast<std::uint8_t>(std::random_device{}())) {}

int ModemDriver::setModemType(int type, int port) {
    Turn turn(*this);
    if (type != 0 || port != 0)
        return -2;
    dropPort();
    return !turn.CutShort() && findModem() ? 0 : -1;
}

int ModemDriver::initModem() {
    Turn turn(*this);
    if (turn.CutShort() || (!port_.isOpen() && !findModem()))
        return -1;
    return initialise() ? 0 : -1;
}

int ModemDriver::sendMessage(const char* number, const char* text) {
    if (!number || !text || !IsValidNumber(number))
        return -1;
    const std::u16string body = GbkToUtf16(text);

    Turn turn(*this);
    const std::vector<SubmitPdu> parts = EncodeSubmit(number, body, reference_++);
    if (parts.empty() || turn.CutShort() || !ensureReady())
        return -1;
    for (const SubmitPdu& part : parts) {
        const std::string cmgs = "AT+CMGS=" + std::to_string(part.tpduLength);
        Reply prompt = command(cmgs, "+CMGS:", config_.commandTimeoutMs, true);
        if (prompt.outcome != Outcome::Prompt) {
            if (prompt.outcome == Outcome::Timeout)
                port_.write(std::string(1, kEscape), clock_.now() + 200ms);
            dropIfDead(prompt);
            return -1;
        }
        Reply sent = transmit(part.hex + kCtrlZ, part.hex, "+CMGS:", config_.sendTimeoutMs, false);
        dropIfDead(sent);
        // Only the modem's +CMGS says the network took the message.
        if (sent.outcome != Outcome::Ok || !ValueAfter(sent.lines, "+CMGS:"))
            return -1;
    }
    return 0;
}

int ModemDriver::status() {
    Turn turn(*this);
    if (turn.CutShort() || !ready_ || !port_.isOpen())
        return -1;
    Reply reply = command("AT", "", config_.probeTimeoutMs);
    dropIfDead(reply);
    return reply.outcome == Outcome::Ok ? 0 : -1;
}

int ModemDriver::closeModem() {
    port_.interrupt();
    // In real time, whatever the clock: this bounds the program's exit.
    std::unique_lock lock(mutex_, std::defer_lock);
    if (!lock.try_lock_for(1s))
        return 0;
    port_.rearm(port_.interrupts());
    dropPort();
    return 0;
}

ModemDriver::Reply ModemDriver::command(const std::string& command, const std::string& prefix,
                                        int timeoutMs, bool wantsPrompt) {
    return transmit(command + '\r', command, prefix, timeoutMs, wantsPrompt);
}

ModemDriver::Reply ModemDriver::transmit(const std::string& bytes, const std::string& echo,
                                         const std::string& prefix, int timeoutMs,
                                         bool wantsPrompt) {
    Reply reply;
    if (!port_.isOpen()) {
        reply.outcome = Outcome::Lost;
        return reply;
    }
    drainStale();
    const SerialPort::Deadline deadline = clock_.now() + std::chrono::milliseconds(timeoutMs);
    Trace(trace_, ">>", bytes);
    if (SerialPort::Io io = port_.write(bytes, deadline); io != SerialPort::Io::Ok) {
        reply.outcome = io == SerialPort::Io::Lost ? Outcome::Lost : Outcome::Timeout;
        return reply;
    }
    AtExchange exchange(echo, prefix, wantsPrompt);
    for (;;) {
        while (std::optional<AtToken> token = tokenizer_.next()) {
            switch (exchange.offer(*token)) {
            case AtResult::Pending:
                continue;
            case AtResult::Ok:
                reply.outcome = Outcome::Ok;
                break;
            case AtResult::Prompt:
                reply.outcome = Outcome::Prompt;
                break;
            case AtResult::Error:
            case AtResult::CmsError:
            case AtResult::CmeError:
                reply.outcome = Outcome::Failed;
                break;
            }
            reply.errorCode = exchange.errorCode();
            reply.lines = exchange.lines();
            return reply;
        }
        // A port that never falls quiet always has input ready, so a read alone would never
        // time out.
        if (clock_.now() >= deadline) {
            reply.outcome = Outcome::Timeout;
            return reply;
        }
        std::string input;
        SerialPort::Io io = port_.read(input, deadline);
        if (io != SerialPort::Io::Ok) {
            reply.outcome = io == SerialPort::Io::Lost ? Outcome::Lost : Outcome::Timeout;
            return reply;
        }
        Trace(trace_, "<<", input);
        tokenizer_.feed(input);
    }
}

bool ModemDriver::drainStale() {
    // Late answers to an abandoned command and unsolicited notices must not be taken for the
    // next command's reply. A port that never falls quiet is drained for a moment only: what
    // it sends after that is left to the reply's own time-out.
    const SerialPort::Deadline until = clock_.now() + 200ms;
    SerialPort::Io io = SerialPort::Io::Ok;
    while (io == SerialPort::Io::Ok && clock_.now() < until) {
        std::string input;
        io = port_.read(input, clock_.now());
        if (!input.empty())
            Trace(trace_, "<< (stale)", input);
    }
    tokenizer_.clear();
    return io != SerialPort::Io::Lost;
}

bool ModemDriver::findModem() {
    config_ = LoadModemConfig();
    trace_ = std::getenv("MONDEM_TRACE") != nullptr;
    const std::vector<std::string> candidates =
        config_.device.empty() ? Expand(config_.search) : std::vector{config_.device};
    for (const std::string& path : candidates)
        if (tryPort(path))
            return true;
    return false;
}

bool ModemDriver::tryPort(const std::string& path) {
    std::string error;
    if (!port_.open(path, config_.baud, error)) {
        Trace(trace_, "--", error);
        return false;
    }
    tokenizer_.clear();
    // A modem left waiting at the message prompt takes everything as message text until ESC.
    port_.write(std::string(1, kEscape), clock_.now() + 200ms);
    if (!port_.pause(clock_.now() + 50ms)) {
        dropPort();
        return false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        Reply reply = command("AT", "", config_.probeTimeoutMs);
        if (reply.outcome == Outcome::Ok)
            return true;
        if (reply.outcome == Outcome::Lost)
            break;
    }
    dropPort();
    return false;
}

bool ModemDriver::initialise() {
    ready_ = false;
    const int timeout = config_.commandTimeoutMs;
    Reply reply = command("ATE0", "", timeout);
    if (reply.outcome != Outcome::Ok) {
        dropIfDead(reply);
        return false;
    }
    // Numeric +CME/+CMS codes; a modem without the command still works, so its refusal is
    // not fatal.
    reply = command("AT+CMEE=1", "", timeout);
    if (reply.outcome == Outcome::Timeout || reply.outcome == Outcome::Lost) {
        dropIfDead(reply);
        return false;
    }
    if (!waitForSim())
        return false;
    reply = command("AT+CMGF=0", "", timeout);
    if (reply.outcome != Outcome::Ok) {
        dropIfDead(reply);
        return false;
    }
    ready_ = true;
    return true;
}

bool ModemDriver::waitForSim() {
    bool pinSent = false;
    // A SIM just powered up answers "busy" or "not ready" for a few seconds.
    for (int attempt = 0; attempt < 5; ++attempt) {
        Reply reply = command("AT+CPIN?", "+CPIN:", config_.commandTimeoutMs);
        if (reply.outcome == Outcome::Timeout || reply.outcome == Outcome::Lost) {
            dropIfDead(reply);
            return false;
        }
        const std::string state = ValueAfter(reply.lines, "+CPIN:").value_or("");
        if (reply.outcome == Outcome::Ok && state == "READY")
            return true;
        if (reply.outcome == Outcome::Ok && state == "SIM PIN" && !config_.pin.empty() &&
            !pinSent) {
            // Entered once only: a wrong PIN repeated would block the SIM.
            pinSent = true;
            Reply entered =
                command("AT+CPIN=\"" + config_.pin + "\"", "", config_.commandTimeoutMs);
            dropIfDead(entered);
            if (entered.outcome != Outcome::Ok)
                return false;
            continue;
        }
        const bool busy = (reply.outcome == Outcome::Failed &&
                           (reply.errorCode == 14 || reply.errorCode == 515)) ||
                          state == "NOT READY" || (pinSent && state == "SIM PIN");
        if (!busy || !port_.pause(clock_.now() + 1s))
            return false;
    }
    return false;
}

bool ModemDriver::ensureReady() {
    // A modem unplugged since the last call shows as a hung-up port: look for it again now
    // rather than fail this call.
    if (port_.isOpen() && !drainStale())
        dropPort();
    if (ready_ && port_.isOpen())
        return true;
    if (!port_.isOpen() && !findModem())
        return false;
    return initialise();
}

void ModemDriver::dropPort() {
    port_.close();
    tokenizer_.clear();
    ready_ = false;
}

void ModemDriver::dropIfDead(const Reply& reply) {
    if (reply.outcome == Outcome::Timeout || reply.outcome == Outcome::Lost)
        dropPort();
}
