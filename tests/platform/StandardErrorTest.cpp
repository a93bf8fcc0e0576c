#include "platform/StandardError.h"
#include "support/Pipe.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(StandardErrorTest, WriteIfReadyWritesOnlyWhatTheDescriptorTakesAtOnce) {
    Pipe open;
    EXPECT_TRUE(WriteIfReady(open.writer(), "one line\n"));
    EXPECT_EQ(open.drain(), "one line\n");

    // More than a pipe takes in one piece is cut there, and said to be so.
    const std::string long_(PIPE_BUF + 10, 'y');
    EXPECT_FALSE(WriteIfReady(open.writer(), long_));
    EXPECT_EQ(open.drain(), long_.substr(0, PIPE_BUF));

    Pipe full;
    ASSERT_TRUE(full.fill());
    EXPECT_FALSE(WriteIfReady(full.writer(), "not now\n"));
    EXPECT_EQ(full.drain(), std::string(4096, 'x'));
}

TEST(StandardErrorTest, AnInstalledWriterTakesTheTextAndTheFlushUntilItIsTakenBack) {
    std::string taken;
    int flushes = 0;
    const StandardErrorWriter previous =
        SetStandardErrorWriter({[&](std::string_view text) { taken += text; }, [&] { ++flushes; }});
    EXPECT_FALSE(previous.write);
    WriteStandardError("a\n");
    WriteStandardError("b\n");
    FlushStandardError();
    const StandardErrorWriter mine = SetStandardErrorWriter(previous);
    EXPECT_TRUE(mine.write);
    WriteStandardError("");
    FlushStandardError();
    EXPECT_EQ(taken, "a\nb\n");
    EXPECT_EQ(flushes, 1);
}

} // namespace
