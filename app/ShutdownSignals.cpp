#include "app/ShutdownSignals.h"

#include "platform/ErrorReport.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPair[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPair[0], &byte, 1);
}

} // namespace

void InstallShutdownSignals(std::function<void()> onCloseRequest) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPair) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(signalPair[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [onCloseRequest = std::move(onCloseRequest)] {
                         char buffer[16];
                         while (::read(signalPair[1], buffer, sizeof buffer) > 0) {
                         }
                         RunGuarded(onCloseRequest);
                     });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}
