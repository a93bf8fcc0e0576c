#include "app/QueuedWriter.h"
#include "support/Pipe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::string Numbered(int i) {
    return "line " + std::to_string(i) + "\n";
}

TEST(QueuedWriterTest, TheEndOfTheProcessWaitsWhileTheReaderReadsAndGivesUpWhenItStops) {
    Pipe out;
    ASSERT_TRUE(out.fill());
    QueuedWriter writer(out.writer(), 64 * 1024);
    std::string queued;
    for (int i = 0; i < 6000; ++i) {
        writer.Queue(Numbered(i));
        queued += Numbered(i);
    }
    ASSERT_EQ(writer.Dropped(), 0u);

    // Nobody reads: the wait ends after the stall, not after the hour.
    auto stalled = std::async(std::launch::async,
                              [&] { return writer.WaitWritten(std::chrono::hours(1), 50ms); });
    ASSERT_EQ(stalled.wait_for(30s), std::future_status::ready) << "waited past the stall";
    EXPECT_FALSE(stalled.get());

    // A reader that takes a page at a time keeps the wait going for about a second, twice the
    // stall.
    std::atomic<bool> done{false};
    std::string received;
    std::thread reader([&] {
        while (!done) {
            char page[4096];
            pollfd readable{out.reader(), POLLIN, 0};
            if (::poll(&readable, 1, 0) == 1)
                if (const ssize_t n = ::read(out.reader(), page, sizeof page); n > 0)
                    received.append(page, static_cast<size_t>(n));
            std::this_thread::sleep_for(60ms);
        }
        received += out.drain();
    });
    auto drained = std::async(std::launch::async,
                              [&] { return writer.WaitWritten(std::chrono::hours(1), 500ms); });
    const bool ready = drained.wait_for(60s) == std::future_status::ready;
    done = true;
    reader.join();
    ASSERT_TRUE(ready);
    EXPECT_TRUE(drained.get());
    // Compared as a whole, not printed: it is some 60 KiB.
    EXPECT_TRUE(received == std::string(4096, 'x') + queued) << received.size() << " bytes";
}

TEST(QueuedWriterTest, ASealedWriterStillWritesWhatItHeldAndTakesNothingMore) {
    Pipe out;
    ASSERT_TRUE(out.fill());
    QueuedWriter writer(out.writer(), 1024);
    writer.Queue(Numbered(1));
    writer.Queue(Numbered(2));
    writer.Seal();
    writer.Queue(Numbered(3));
    std::string received;
    while (!writer.WaitWritten(10ms))
        received += out.drain();
    received += out.drain();
    EXPECT_EQ(received, std::string(4096, 'x') + Numbered(1) + Numbered(2));
    EXPECT_EQ(writer.Dropped(), 0u) << "what the seal leaves out is not a loss to report";
}

TEST(QueuedWriterTest, WhatDoesNotFitIsDroppedWholeAndTheFirstDropIsToldOnce) {
    Pipe out;
    ASSERT_TRUE(out.fill());
    std::atomic<int> told{0};
    QueuedWriter writer(out.writer(), 20, [&] { ++told; });
    for (int i = 0; i < 10; ++i)
        writer.Queue(Numbered(i));
    std::string received;
    while (!writer.WaitWritten(10ms))
        received += out.drain();
    received += out.drain();
    // Two lines of seven bytes fit in twenty; the rest did not.
    EXPECT_EQ(received, std::string(4096, 'x') + Numbered(0) + Numbered(1));
    EXPECT_EQ(writer.Dropped(), 8u);
    EXPECT_EQ(told.load(), 1);
}

} // namespace
