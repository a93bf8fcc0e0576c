#include "app/StandardOutputLog.h"
#include "app/StandardStreams.h"
#include "platform/GbkText.h"
#include "support/Pipe.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::vector<std::string> NumberedLines(int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back("正在和127.0.0." + std::to_string(i) + "建立连接...");
    return lines;
}

std::string AsOutput(const std::vector<std::string>& lines, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += GbkToUtf8(lines[i]) + "\n";
    return text;
}

// The writer thread may still be writing when a test closes its pipe; as in the program, that
// must make the write fail rather than end the test program.
class StandardOutputLogTest : public testing::Test {
protected:
    void SetUp() override { previous_ = std::signal(SIGPIPE, SIG_IGN); }
    void TearDown() override { std::signal(SIGPIPE, previous_); }

private:
    void (*previous_)(int) = SIG_DFL;
};

TEST_F(StandardOutputLogTest, EveryLineArrivesAsUtf8InOrderOnALineOfItsOwn) {
    Pipe out, notices;
    StandardOutputLog log(out.writer(), notices.writer());
    const std::vector<std::string> lines = {"初始化短信设备完成！", "", "连接127.0.0.1成功!"};
    for (const std::string& line : lines)
        log.Write(line);
    ASSERT_TRUE(log.WaitWritten(10s));
    EXPECT_EQ(out.drain(), GbkToUtf8("初始化短信设备完成！\n\n连接127.0.0.1成功!\n"));
    log.Flush();
    EXPECT_EQ(log.Dropped(), 0u);
    EXPECT_EQ(notices.drain(), "") << "nothing was dropped";
}

TEST_F(StandardOutputLogTest, AReaderThatStopsReadingCostsLinesButNeverHoldsUpTheCaller) {
    // A pipe of one page and a queue of eight: a few hundred lines are more than both hold.
    Pipe out, notices;
    ASSERT_GT(::fcntl(out.writer(), F_SETPIPE_SZ, 4096), 0);
    StandardOutputLog log(out.writer(), notices.writer(), 8 * 1024);
    const std::vector<std::string> lines = NumberedLines(1000);
    auto writing = std::async(std::launch::async, [&] {
        for (const std::string& line : lines)
            log.Write(line);
    });
    ASSERT_EQ(writing.wait_for(20s), std::future_status::ready) << "a write waited for the reader";
    EXPECT_FALSE(log.WaitWritten(0ms));
    EXPECT_GT(log.Dropped(), 0u);

    // The reader comes back: what was kept arrives whole and in order, and it is everything but
    // the dropped lines, which were the last ones.
    std::string received;
    while (!log.WaitWritten(10ms))
        received += out.drain();
    received += out.drain();
    const size_t kept = lines.size() - log.Dropped();
    EXPECT_EQ(received, AsOutput(lines, kept));

    log.Flush();
    EXPECT_EQ(notices.drain(),
              "servermonitor: standard output is not being read; log lines are dropped until it "
              "is\nservermonitor: " +
                  std::to_string(log.Dropped()) + " log lines were dropped from standard output\n");
}

TEST_F(StandardOutputLogTest, AFullStandardErrorGetsNoNoticeAndHoldsNothingUp) {
    Pipe out, notices;
    ASSERT_GT(::fcntl(out.writer(), F_SETPIPE_SZ, 4096), 0);
    ASSERT_TRUE(notices.fill());
    StandardOutputLog log(out.writer(), notices.writer(), 1024);
    auto closing = std::async(std::launch::async, [&] {
        for (const std::string& line : NumberedLines(500))
            log.Write(line);
        log.Flush();
    });
    EXPECT_EQ(closing.wait_for(20s), std::future_status::ready) << "a notice waited for its reader";
    EXPECT_GT(log.Dropped(), 0u);
    EXPECT_EQ(notices.drain().find("servermonitor"), std::string::npos);
    while (!log.WaitWritten(10ms))
        out.drain();
}

TEST_F(StandardOutputLogTest, AReaderThatHasGoneAwayCostsTheLineNotTheProgram) {
    // Started as `servermonitor | head`: once the reader is gone, writing fails, and the monitor
    // must go on.
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_DFL);
            PrepareStandardStreams();
            Pipe out;
            Pipe notices;
            out.closeReader();
            StandardOutputLog log(out.writer(), notices.writer());
            log.Write("line after the reader left");
            log.WaitWritten(10s);
            std::_Exit(log.Dropped() == 1 ? 7 : 3);
        },
        testing::ExitedWithCode(7), "");
}

TEST(StandardStreams, ClosedStandardDescriptorsAreOpenedOnDevNull) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_DFL);
            ::close(0);
            ::close(1);
            ::close(2);
            PrepareStandardStreams();
            int code = 0;
            for (int fd = 0; fd <= 2; ++fd) {
                char target[64] = {};
                const std::string link = "/proc/self/fd/" + std::to_string(fd);
                if (::readlink(link.c_str(), target, sizeof target - 1) < 0 ||
                    std::string(target) != "/dev/null")
                    code |= 1 << fd;
            }
            // The next descriptor is not one of them.
            const int next = ::open("/dev/null", O_RDONLY);
            if (next <= 2)
                code |= 8;
            // A reader that goes away makes writes fail instead of ending the program.
            struct sigaction pipe {};
            ::sigaction(SIGPIPE, nullptr, &pipe);
            if (pipe.sa_handler != SIG_IGN)
                code |= 16;
            std::_Exit(code);
        },
        testing::ExitedWithCode(0), "");
}

TEST(StandardStreams, OpenDescriptorsAreLeftAsTheyAre) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            Pipe out;
            ::dup2(out.writer(), 1);
            PrepareStandardStreams();
            [[maybe_unused]] ssize_t n = ::write(1, "x", 1);
            char c = 0;
            std::_Exit(::read(out.reader(), &c, 1) == 1 && c == 'x' ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
