#include "sms/mondem/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t SpeedOf(int baud) {
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return B115200;
    }
}

// Milliseconds left until `deadline`, for poll().
int MillisecondsLeft(SerialPort::Deadline deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

} // namespace

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(const std::string& path, int baud, std::string& error) {
    close();
    // O_NONBLOCK: opening must not wait for a carrier, and reads are driven by poll().
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = path + ": not a serial device";
        ::close(fd);
        return false;
    }
    // Keep other programs (a modem manager probing ports) from writing into our exchanges.
    ioctl(fd, TIOCEXCL);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, SpeedOf(baud));
    cfsetospeed(&tio, SpeedOf(baud));
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = path + ": cannot set the line: " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    fd_ = fd;
    path_ = path;
    return true;
}

void SerialPort::close() {
    if (fd_ >= 0) {
        // The exclusive flag belongs to the terminal, not to our descriptor: give it back.
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }
    path_.clear();
}

SerialPort::Io SerialPort::write(std::string_view data, Deadline deadline) {
    if (fd_ < 0)
        return Io::Lost;
    while (!data.empty()) {
        ssize_t n = ::write(fd_, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return Io::Lost;
        pollfd p{fd_, POLLOUT, 0};
        int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return Io::Lost;
        if (ready == 0)
            return Io::Timeout;
    }
    return Io::Ok;
}

SerialPort::Io SerialPort::read(std::string& out, Deadline deadline) {
    if (fd_ < 0)
        return Io::Lost;
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Io::Lost;
        if (ready == 0)
            return Io::Timeout;
        if (p.revents & POLLIN) {
            char buffer[512];
            ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                out.append(buffer, static_cast<size_t>(n));
                return Io::Ok;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            // Readable but nothing to read: the other end hung up.
            return Io::Lost;
        }
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
            return Io::Lost;
    }
}

void SerialPort::discardInput() {
    if (fd_ >= 0)
        tcflush(fd_, TCIFLUSH);
}
