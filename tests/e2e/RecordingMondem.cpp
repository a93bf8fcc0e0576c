// A test build of the modem library's five exports: every call is appended to the file named by
// MONDEM_RECORD; fnSetModemType answers MONDEM_SET_MODEM_TYPE_RESULT (0 when unset).
#include "sms/mondem/mondem.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

void Record(const std::string& call) {
    const char* path = std::getenv("MONDEM_RECORD");
    if (!path)
        return;
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string line = call + "\n";
    [[maybe_unused]] ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

std::string Args(int a) {
    return "(" + std::to_string(a) + ")";
}

} // namespace

int fnSetModemType(int type, int port) {
    Record("fnSetModemType(" + std::to_string(type) + "," + std::to_string(port) + ")");
    const char* result = std::getenv("MONDEM_SET_MODEM_TYPE_RESULT");
    return result ? std::atoi(result) : 0;
}

int fnInitModem(int port) {
    Record("fnInitModem" + Args(port));
    return 0;
}

int fnSendMsg(int port, const char* number, const char*) {
    Record("fnSendMsg(" + std::to_string(port) + "," + number + ")");
    return -1;
}

int fnGetStatus(int port) {
    Record("fnGetStatus" + Args(port));
    return -1;
}

int fnCloseModem(int port) {
    Record("fnCloseModem" + Args(port));
    return 0;
}
