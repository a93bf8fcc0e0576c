#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Whether the modem is ready now, for the metrics: the start-up result at first, then the modem
// library's status (fnGetStatus through Modem()), asked every `period` on a thread of its own.
// The status may wait for a send in progress, so it is never asked on the GUI thread or during a
// scrape. The thread ends with the object.
class ModemWatch {
public:
    explicit ModemWatch(bool readyAtStart,
                        std::chrono::milliseconds period = std::chrono::seconds(30));
    ~ModemWatch();
    ModemWatch(const ModemWatch&) = delete;
    ModemWatch& operator=(const ModemWatch&) = delete;

    bool Ready() const { return ready_.load(); }

private:
    void Run(std::chrono::milliseconds period);

    std::atomic<bool> ready_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};
