#pragma once

#include "engine/AlertLog.h"
#include "platform/Tone.h"
#include "support/Pump.h"
#include "support/ScopedSeam.h"

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Records every tone instead of sounding it; `onTone` runs inside each.
class FakeTones {
public:
    FakeTones()
        : seam_(SetToneService, [this](int frequency, int ms) {
              {
                  std::lock_guard lock(lock_);
                  tones_.push_back({frequency, ms});
              }
              if (onTone)
                  onTone();
          }) {}

    std::vector<std::pair<int, int>> tones() {
        std::lock_guard lock(lock_);
        return tones_;
    }
    std::function<void()> onTone;

private:
    std::mutex lock_;
    std::vector<std::pair<int, int>> tones_;
    // Last, so that it is installed after the members the service uses exist.
    ScopedSeam seam_;
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
        return PumpUntil([&] { return lines.size() >= count; }, 10000);
    }
    // Dispatches whatever is pending for a short while.
    void drain() { PumpFor(100); }

    QObject receiver;
    std::vector<std::string> lines;
    std::shared_ptr<AlertLog> log;
};
