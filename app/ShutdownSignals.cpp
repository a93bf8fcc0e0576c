#include "app/ShutdownSignals.h"

#include "platform/ErrorReport.h"
#include "platform/StandardError.h"
#include "sms/ModemApi.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int signalPair[2] = {-1, -1};
std::mutex routeLock;
std::function<void()> route;

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPair[0], &byte, 1);
    errno = saved;
}

StandardOutputLog* startUpLog = nullptr;

// Start-up goes on on the GUI thread until the process ends. Its later modem calls must not open
// the port again after the close, so they are made to do nothing first; and what they make it log
// ("初始化短信设备失败！" after the cut-short search) did not happen, so the log is sealed before.
// Called with routeLock held, which keeps the log from going while it is used.
[[noreturn]] void CloseBeforeTheWindow() {
    if (startUpLog)
        startUpLog->Seal();
    SetModemApi(&ClosedModemApi())->CloseModem(-1);
    if (startUpLog)
        startUpLog->Flush();
    FlushStandardError();
    _exit(0);
}

void Watch() {
    for (;;) {
        char buffer[16];
        const ssize_t n = ::read(signalPair[1], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        std::function<void()> onCloseRequest;
        {
            std::lock_guard lock(routeLock);
            if (!route)
                CloseBeforeTheWindow();
            onCloseRequest = route;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [onCloseRequest] { RunGuarded(onCloseRequest); },
            Qt::QueuedConnection);
    }
}

} // namespace

void InstallShutdownSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPair) != 0)
            return;
        // The handler must never wait, not even when requests pile up.
        ::fcntl(signalPair[0], F_SETFL, ::fcntl(signalPair[0], F_GETFL) | O_NONBLOCK);
        std::thread(Watch).detach();
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    });
}

void SealOnEarlyClose(StandardOutputLog* log) {
    std::lock_guard lock(routeLock);
    startUpLog = log;
}

void RouteShutdownSignals(std::function<void()> onCloseRequest) {
    InstallShutdownSignals();
    std::lock_guard lock(routeLock);
    route = std::move(onCloseRequest);
}
