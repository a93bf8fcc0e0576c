#include "SimulatedModem.h"

#include <cctype>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

SimulatedModem::SimulatedModem() : SimulatedModem(Behaviour{}) {}

SimulatedModem::SimulatedModem(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    path_ = name;
    if (pipe(wake_) != 0)
        throw std::runtime_error("pipe failed");
    fcntl(master_, F_SETFL, O_NONBLOCK);
    thread_ = std::thread([this] { run(); });
}

SimulatedModem::~SimulatedModem() {
    stop_ = true;
    char c = 0;
    (void)!write(wake_[1], &c, 1);
    thread_.join();
    closeMaster();
    if (slave_ >= 0)
        close(slave_);
    close(wake_[0]);
    close(wake_[1]);
}

void SimulatedModem::setBehaviour(const Behaviour& behaviour) {
    std::lock_guard lock(mutex_);
    behaviour_ = behaviour;
}

void SimulatedModem::hangUp() {
    std::unique_lock lock(mutex_);
    behaviour_.hangUpOnPdu = false;
    // The thread does the closing so that it never polls a closed descriptor; we wait for it.
    char c = 'h';
    (void)!write(wake_[1], &c, 1);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return hungUp_; });
}

std::vector<std::string> SimulatedModem::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<SimulatedModem::Message> SimulatedModem::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> SimulatedModem::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

bool SimulatedModem::waitForMessages(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
}

bool SimulatedModem::waitForPdus(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pdus_ >= count; });
}

bool SimulatedModem::waitForCommands(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return commands_.size() >= count; });
}

bool SimulatedModem::exclusive() const {
    std::lock_guard lock(mutex_);
    int value = 0;
    return slave_ >= 0 && ioctl(slave_, TIOCGEXCL, &value) == 0 && value != 0;
}

void SimulatedModem::run() {
    while (!stop_) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int count = master_ >= 0 ? 2 : 1;
        pollfd* watched = master_ >= 0 ? fds : fds + 1;
        if (poll(watched, count, 1000) <= 0)
            continue;
        if (fds[1].revents & POLLIN) {
            char c = 0;
            if (read(wake_[0], &c, 1) == 1 && c == 'h')
                closeMaster();
            continue;
        }
        if (master_ < 0 || !(fds[0].revents & POLLIN))
            continue;
        char buffer[256];
        ssize_t n = read(master_, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n && master_ >= 0; ++i)
            onByte(buffer[i]);
    }
}

void SimulatedModem::onByte(char c) {
    bool silent;
    {
        std::lock_guard lock(mutex_);
        silent = behaviour_.silent;
    }
    if (inPdu_) {
        if (c == '\x1A') {
            inPdu_ = false;
            onPdu();
        } else if (c == '\x1B') {
            inPdu_ = false;
            line_.clear();
            if (!silent)
                final("OK");
        } else {
            line_.push_back(c);
        }
        return;
    }
    if (c == '\x1B')
        return; // nothing to cancel
    if (echo_ && !silent)
        reply(std::string(1, c));
    if (c == '\n')
        return;
    if (c != '\r') {
        line_.push_back(c);
        return;
    }
    std::string line;
    line.swap(line_);
    if (!StartsWith(Upper(line), "AT"))
        return; // modems ignore lines that are not commands
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(line);
    }
    changed_.notify_all();
    if (!silent)
        onCommand(line);
}

void SimulatedModem::onCommand(const std::string& line) {
    const std::string command = Upper(line);
    std::string pin;
    int busy;
    {
        std::lock_guard lock(mutex_);
        pin = behaviour_.pin;
        busy = behaviour_.simBusy;
    }
    if (command == "AT") {
        final("OK");
    } else if (command == "ATE0" || command == "ATE1" || command == "ATE") {
        echo_ = command == "ATE1";
        final("OK");
    } else if (StartsWith(command, "AT+CMEE=")) {
        final("OK");
    } else if (command == "AT+CPIN?" && simBusyAnswers_ < busy) {
        ++simBusyAnswers_;
        final("+CME ERROR: 14");
    } else if (command == "AT+CPIN?") {
        reply("\r\n+CPIN: " + std::string(pin.empty() || pinGiven_ ? "READY" : "SIM PIN") + "\r\n");
        final("OK");
    } else if (StartsWith(command, "AT+CPIN=")) {
        pinGiven_ = !pin.empty() && command == "AT+CPIN=\"" + pin + "\"";
        final(pinGiven_ ? "OK" : "+CME ERROR: 16");
    } else if (command == "AT+CMGF=0" || command == "AT+CMGF=1") {
        pduMode_ = command == "AT+CMGF=0";
        final("OK");
    } else if (StartsWith(command, "AT+CMGS=")) {
        if (!pin.empty() && !pinGiven_) {
            final("+CMS ERROR: 311"); // SIM PIN required
        } else if (!pduMode_) {
            // Text mode would want a quoted number: a driver that forgot AT+CMGF=0 fails here.
            {
                std::lock_guard lock(mutex_);
                faults_.push_back("AT+CMGS in text mode");
            }
            final("ERROR");
        } else {
            declared_ = std::atoi(command.c_str() + 8);
            inPdu_ = true;
            reply("\r\n> ");
        }
    } else {
        {
            std::lock_guard lock(mutex_);
            faults_.push_back("unknown command " + line);
        }
        final("ERROR");
    }
}

void SimulatedModem::onPdu() {
    std::string pdu;
    pdu.swap(line_);
    Behaviour behaviour;
    {
        std::lock_guard lock(mutex_);
        behaviour = behaviour_;
        ++pdus_;
    }
    changed_.notify_all();
    bool wellFormed = pdu.size() >= 2 && pdu.size() % 2 == 0 &&
                      pdu.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
    if (!wellFormed) {
        std::lock_guard lock(mutex_);
        faults_.push_back("malformed PDU " + pdu);
    } else {
        int sca = std::stoi(pdu.substr(0, 2), nullptr, 16);
        int length = static_cast<int>(pdu.size() / 2) - 1 - sca;
        if (length != declared_) {
            std::lock_guard lock(mutex_);
            faults_.push_back("AT+CMGS=" + std::to_string(declared_) + " for a TPDU of " +
                              std::to_string(length) + " octets");
            wellFormed = false;
        }
    }
    if (behaviour.silent)
        return;
    if (behaviour.hangUpOnPdu) {
        closeMaster();
        return;
    }
    if (!wellFormed) {
        final("+CMS ERROR: 304");
        return;
    }
    if (behaviour.silentAfterPdu)
        return;
    if (behaviour.cmsError) {
        final("+CMS ERROR: " + std::to_string(behaviour.cmsError));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({declared_, pdu});
    }
    changed_.notify_all();
    if (!behaviour.okWithoutCmgs)
        reply("\r\n+CMGS: " + std::to_string(reference_++ % 256) + "\r\n");
    final("OK");
}

void SimulatedModem::reply(const std::string& text) {
    if (master_ < 0)
        return;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(master_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd p{master_, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0)
                return;
        }
    }
}

void SimulatedModem::final(const std::string& result) {
    Behaviour behaviour;
    {
        std::lock_guard lock(mutex_);
        behaviour = behaviour_;
    }
    if (behaviour.answerDelay.count() > 0)
        std::this_thread::sleep_for(behaviour.answerDelay);
    if (behaviour.notices)
        reply("\r\n+CMTI: \"SM\",3\r\n\r\n^RSSI:17\r\n");
    reply("\r\n" + result + "\r\n");
}

void SimulatedModem::closeMaster() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    {
        std::lock_guard lock(mutex_);
        // With the master gone the slave is hung up; our own slave descriptor is of no use now.
        if (slave_ >= 0) {
            close(slave_);
            slave_ = -1;
        }
        hungUp_ = true;
    }
    changed_.notify_all();
}
