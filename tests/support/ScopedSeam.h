#pragma once

#include <functional>
#include <utility>

// Installs a replacement through one of the program's seams (SetClock, SetModemApi,
// SetToneService, SetErrorReportHandler, SetErrorBoxRunner, ...) and puts the previous one back
// when it goes, also when the test fails midway. The setter must return what it replaced.
//
//     ManualClock clock{start};
//     ScopedSeam clockSeam(SetClock, &clock);
class ScopedSeam {
public:
    template <class Setter, class Value>
    ScopedSeam(Setter setter, Value value)
        : restore_([setter, previous = setter(std::move(value))]() mutable {
              setter(std::move(previous));
          }) {}
    ~ScopedSeam() { restore_(); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    std::function<void()> restore_;
};
