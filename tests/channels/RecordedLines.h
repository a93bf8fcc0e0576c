#pragma once
// Lines a channel says on standard error, kept for the test. Its sink may be called from a
// delivery worker's thread.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class RecordedLines {
public:
    std::function<void(std::string_view)> Sink() {
        return [this](std::string_view line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        };
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};
