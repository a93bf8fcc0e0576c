#include "support/Pump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <thread>

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    // Wakes the blocking pump now and then, so the deadline is seen even when nothing happens.
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
