#include "metrics/ModemWatch.h"

#include "sms/ModemApi.h"

ModemWatch::ModemWatch(bool readyAtStart, std::chrono::milliseconds period)
    : ready_(readyAtStart), thread_([this, period] { Run(period); }) {}

ModemWatch::~ModemWatch() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ModemWatch::Run(std::chrono::milliseconds period) {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, period, [this] { return stopping_; })) {
        lock.unlock();
        const bool ready = Modem().GetStatus(-1) == 0;
        ready_.store(ready);
        lock.lock();
    }
}
