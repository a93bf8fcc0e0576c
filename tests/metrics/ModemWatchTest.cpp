#include "metrics/ModemWatch.h"

#include "sms/ModemApi.h"
#include "support/ScopedSeam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::atomic<int> status{-1};
std::atomic<int> asked{0};

int Status(int) {
    ++asked;
    return status.load();
}

const ModemApi statusOnly{[](int, int) { return -1; }, [](int) { return -1; },
                          [](int, const char*, const char*) { return -1; }, Status,
                          [](int) { return 0; }};

bool Becomes(const ModemWatch& watch, bool ready) {
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (watch.Ready() != ready && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    return watch.Ready() == ready;
}

TEST(ModemWatch, StartsWithTheStartUpResultAndFollowsTheStatus) {
    ScopedSeam seam(SetModemApi, &statusOnly);
    status = -1;
    ModemWatch watch(true, 20ms);
    EXPECT_TRUE(Becomes(watch, false)); // the modem went away after start-up
    status = 0;
    EXPECT_TRUE(Becomes(watch, true)); // and came back
}

TEST(ModemWatch, AsksNothingBeforeItsPeriodAndEndsAtOnce) {
    ScopedSeam seam(SetModemApi, &statusOnly);
    asked = 0;
    const auto begin = std::chrono::steady_clock::now();
    {
        ModemWatch watch(false, std::chrono::hours(1));
        EXPECT_FALSE(watch.Ready());
    }
    EXPECT_EQ(asked.load(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 20s); // not an hour
}

} // namespace
