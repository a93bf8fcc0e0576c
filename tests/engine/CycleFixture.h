#pragma once

#include "engine/FakeView.h"
#include "engine/ProbeCycle.h"
#include "engine/ProbeFlags.h"
#include "engine/ServerTable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

// The probe cycle on a view that records, for tests of the engine and of what follows it: every
// test starts with an empty table and both flags false, the cycle timer stopped (tests run
// cycles themselves) and the hold shortened to `holdMs`.
class CycleFixture : public testing::Test {
protected:
    explicit CycleFixture(int holdMs) : holdMs_(holdMs) {}

    void SetUp() override {
        for (TServers& slot : ServerTable)
            slot = TServers{};
        ProbeWaiting = false;
        HoldClosed = false;
        engine = std::make_unique<ProbeCycle>(view);
        engine->Timer1.stop();
        engine->Timer2.setInterval(holdMs_);
    }
    void TearDown() override { engine.reset(); }

    TempDir dir;
    FakeView view;
    std::unique_ptr<ProbeCycle> engine;

private:
    int holdMs_;
};
