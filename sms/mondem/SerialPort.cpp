#include "sms/mondem/SerialPort.h"

#include "platform/ErrorText.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
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

} // namespace

SerialPort::SerialPort(const ModemClock& clock)
    : clock_(clock), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SerialPort::~SerialPort() {
    close();
    if (wake_ >= 0)
        ::close(wake_);
}

bool SerialPort::open(const std::string& path, int baud, std::string& error) {
    close();
    if (interrupted()) {
        error = path + ": interrupted";
        return false;
    }
    // O_NONBLOCK: opening must not wait for a carrier, and reads are driven by poll().
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + ErrnoText(errno);
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
        error = path + ": cannot set the line: " + ErrnoText(errno);
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    std::lock_guard lock(fdLock_);
    // An interrupt that came while the device was being opened found no descriptor to release.
    if (interrupted()) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        error = path + ": interrupted";
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

void SerialPort::close() {
    std::lock_guard lock(fdLock_);
    if (fd_ >= 0) {
        // The exclusive flag belongs to the terminal, not to our descriptor: give it back.
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }
    path_.clear();
}

void SerialPort::interrupt() {
    ++interrupts_;
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
    std::lock_guard lock(fdLock_);
    if (fd_ >= 0)
        ioctl(fd_, TIOCNXCL);
}

void SerialPort::rearm(std::uint64_t count) {
    accepted_ = count;
    drainWake();
}

void SerialPort::drainWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(wake_, &count, sizeof count);
}

int SerialPort::waitFor(short events, Deadline deadline, short& revents) {
    for (;;) {
        if (interrupted())
            return -1;
        pollfd fds[2] = {{fd_, events, 0}, {wake_, POLLIN, 0}};
        const int ready = clock_.poll(fds, 2, deadline);
        if (ready < 0)
            return -1;
        if (ready == 0)
            return 0;
        // Woken by an interrupt: the check above tells a pending one from one already accepted.
        if (fds[1].revents & POLLIN) {
            drainWake();
            continue;
        }
        revents = fds[0].revents;
        return 1;
    }
}

SerialPort::Io SerialPort::write(std::string_view data, Deadline deadline) {
    if (fd_ < 0 || interrupted())
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
        short revents = 0;
        const int ready = waitFor(POLLOUT, deadline, revents);
        if (ready < 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)))
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
        short revents = 0;
        const int ready = waitFor(POLLIN, deadline, revents);
        if (ready < 0)
            return Io::Lost;
        if (ready == 0)
            return Io::Timeout;
        if (revents & POLLIN) {
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
        if (revents & (POLLERR | POLLHUP | POLLNVAL))
            return Io::Lost;
    }
}

void SerialPort::discardInput() {
    if (fd_ >= 0)
        tcflush(fd_, TCIFLUSH);
}

bool SerialPort::pause(Deadline deadline) {
    while (!interrupted()) {
        if (clock_.pause(wake_, deadline))
            return !interrupted();
        // Woken: by a pending interrupt, or by one already accepted.
        drainWake();
    }
    return false;
}
