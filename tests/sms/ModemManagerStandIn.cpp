#include "ModemManagerStandIn.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Starts `argv` with its standard input and output on the given descriptors (-1: inherited).
pid_t Spawn(const std::vector<std::string>& argv, int in, int out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool ReadLineFrom(int fd, std::string& buffer, std::string& line, std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        if (size_t end = buffer.find('\n'); end != std::string::npos) {
            line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char chunk[4096];
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0)
            return false;
        buffer.append(chunk, static_cast<size_t>(got));
    }
}

} // namespace

std::string ModemManagerStandIn::Python() {
    // Debian's python3-dbus is a module of the system's python3, which need not be the first
    // python3 on the PATH.
    for (const char* python : {"/usr/bin/python3", "/bin/python3"})
        if (::access(python, X_OK) == 0 &&
            std::system(
                (std::string(python) + " -c 'import dbus, dbus.mainloop.glib, gi' >/dev/null 2>&1")
                    .c_str()) == 0)
            return python;
    return {};
}

std::string ModemManagerStandIn::FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

ModemManagerStandIn::ModemManagerStandIn() : ModemManagerStandIn(Options{}) {}

ModemManagerStandIn::ModemManagerStandIn(Options options) {
    // The bus: listening in our folder, no services started on demand, anyone may own any name.
    const std::string config = dir_.write(
        "system.conf",
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>system</type>\n"
        "  <listen>unix:dir=" +
            dir_.path() +
            "</listen>\n"
            "  <auth>EXTERNAL</auth>\n"
            "  <policy context=\"default\">\n"
            "    <allow send_destination=\"*\"/>\n"
            "    <allow receive_sender=\"*\"/>\n"
            "    <allow own=\"*\"/>\n"
            "  </policy>\n"
            "</busconfig>\n");
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        problem_ = "pipe failed";
        return;
    }
    daemon_ =
        Spawn({"/usr/bin/dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1"},
              -1, out[1]);
    ::close(out[1]);
    std::string buffer;
    if (daemon_ < 0 || !ReadLineFrom(out[0], buffer, address_, 20s)) {
        ::close(out[0]);
        problem_ = "dbus-daemon did not start";
        return;
    }
    ::close(out[0]);
    if (!options.withService)
        return;

    const std::string python = Python();
    if (python.empty()) {
        problem_ = "no python3 with the dbus and gi modules (python3-dbus, python3-gi)";
        return;
    }
    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        problem_ = "pipe failed";
        return;
    }
    std::vector<std::string> argv{python, SM_MODEM_MANAGER_STANDIN, "--address", address_};
    if (!options.withModem)
        argv.push_back("--no-modem");
    service_ = Spawn(argv, in[0], out[1]);
    ::close(in[0]);
    ::close(out[1]);
    toService_ = in[1];
    fromService_ = out[0];
    std::string line;
    if (service_ < 0 || !readLine(line, 30s) || line != "ready")
        problem_ = "the ModemManager stand-in did not start";
}

ModemManagerStandIn::~ModemManagerStandIn() {
    if (toService_ >= 0)
        ::close(toService_);
    stop(service_);
    stop(daemon_);
    if (fromService_ >= 0)
        ::close(fromService_);
}

void ModemManagerStandIn::stop(pid_t& pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        ::usleep(50 * 1000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool ModemManagerStandIn::readLine(std::string& line, std::chrono::milliseconds limit) {
    return ReadLineFrom(fromService_, buffered_, line, limit);
}

std::vector<std::string> ModemManagerStandIn::command(const std::string& line) {
    std::vector<std::string> answer;
    if (toService_ < 0)
        return {"error no stand-in"};
    const std::string sent = line + "\n";
    if (::write(toService_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size()))
        return {"error write failed"};
    std::string reply;
    while (readLine(reply, 30s)) {
        if (reply == "end")
            return answer;
        answer.push_back(reply);
    }
    answer.push_back("error no answer");
    return answer;
}

std::vector<std::string> ModemManagerStandIn::logged(const std::string& kind) {
    std::vector<std::string> entries;
    for (const std::string& entry : log())
        if (entry.rfind(kind + " ", 0) == 0)
            entries.push_back(entry.substr(kind.size() + 1));
    return entries;
}
