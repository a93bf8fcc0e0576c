#pragma once

#include "engine/AlertLog.h"
#include "platform/Tone.h"
#include "sms/ModemApi.h"

#include <QCoreApplication>
#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A modem library that records the messages handed to it. Its answer is settable; it can be held
// inside the send until released, to make two workers overlap.
class FakeModem {
public:
    struct Sent {
        int port;
        std::string number;
        std::string text;
    };

    FakeModem() {
        current_ = this;
        previous_ = SetModemApi(&api_);
    }
    ~FakeModem() {
        SetModemApi(previous_);
        current_ = nullptr;
    }

    std::vector<Sent> sent() {
        std::lock_guard lock(lock_);
        return sent_;
    }
    void answer(int value) { answer_ = value; }
    void hold() {
        std::lock_guard lock(lock_);
        held_ = true;
    }
    void release() {
        {
            std::lock_guard lock(lock_);
            held_ = false;
        }
        changed_.notify_all();
    }
    // Waits (at most `limit`) until `count` sends have started.
    bool waitForSends(size_t count,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, limit, [&] { return started_ >= count; });
    }

private:
    static int SendMsg(int port, const char* number, const char* text) {
        FakeModem& self = *current_;
        std::unique_lock lock(self.lock_);
        ++self.started_;
        self.changed_.notify_all();
        self.changed_.wait_for(lock, std::chrono::seconds(10), [&] { return !self.held_; });
        self.sent_.push_back({port, number, text});
        return self.answer_.load();
    }
    static int Zero(int) { return 0; }
    static int Zero2(int, int) { return 0; }

    static inline FakeModem* current_ = nullptr;
    const ModemApi api_{Zero2, Zero, SendMsg, Zero, Zero};
    const ModemApi* previous_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Sent> sent_;
    size_t started_ = 0;
    bool held_ = false;
    std::atomic<int> answer_{1};
};

// Records every tone instead of sounding it; `onTone` runs inside each.
class FakeTones {
public:
    FakeTones() {
        previous_ = SetToneService([this](int frequency, int ms) {
            {
                std::lock_guard lock(lock_);
                tones_.push_back({frequency, ms});
            }
            if (onTone)
                onTone();
        });
    }
    ~FakeTones() { SetToneService(previous_); }

    std::vector<std::pair<int, int>> tones() {
        std::lock_guard lock(lock_);
        return tones_;
    }
    std::function<void()> onTone;

private:
    ToneService previous_;
    std::mutex lock_;
    std::vector<std::pair<int, int>> tones_;
};

// A receiver on the test's thread collecting the lines posted to `log`.
class LogCollector {
public:
    LogCollector()
        : log(std::make_shared<AlertLog>(
              &receiver, [this](const std::string& line) { lines.push_back(line); })) {}
    ~LogCollector() { log->Detach(); }

    // Dispatches events until `count` lines arrived or 10 s passed.
    bool waitForLines(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return lines.size() >= count;
    }
    // Dispatches whatever is pending for a short while.
    void drain() {
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    QObject receiver;
    std::vector<std::string> lines;
    std::shared_ptr<AlertLog> log;
};
