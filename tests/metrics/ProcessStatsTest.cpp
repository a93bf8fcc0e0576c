#include "metrics/ProcessStats.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A line as the kernel writes it, with a command name that holds blanks and parentheses.
const char* kStat = "4242 (odd (name) x) S 1 4242 4242 0 -1 4194560 1234 0 0 0 "
                    "150 75 0 0 20 0 3 0 98765 123456789 2048 18446744073709551615 1 1 0 0 "
                    "0 0 0 4096 0 0 0 0 17 1 0 0 0 0 0\n";

TEST(ProcessStats, TheFieldsAreCountedFromTheEndOfTheName) {
    const std::optional<ProcStat> stat = ParseProcStat(kStat);
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->utimeTicks, 150u);
    EXPECT_EQ(stat->stimeTicks, 75u);
    EXPECT_EQ(stat->startTicks, 98765u);
    EXPECT_EQ(stat->virtualBytes, 123456789u);
    EXPECT_EQ(stat->residentPages, 2048u);

    for (const char* broken : {"", "4242 odd S 1 2 3", "4242 (x) S 1 4242 4242 0 -1 4194560",
                               "4242 (x) S 1 4242 4242 0 -1 4194560 1234 0 0 0 1x0 75 0 0 20 0 "
                               "3 0 98765 123456789 2048"})
        EXPECT_FALSE(ParseProcStat(broken).has_value()) << broken;
}

TEST(ProcessStats, BootTimeIsTheBtimeLine) {
    EXPECT_EQ(ParseBootTime("cpu  1 2 3\nintr 5\nbtime 1700000000\nprocesses 9\n"),
              std::optional<std::uint64_t>(1700000000));
    EXPECT_EQ(ParseBootTime("btime 17\n"), std::optional<std::uint64_t>(17));
    EXPECT_FALSE(ParseBootTime("cpu 1\nbtimex 5\n").has_value());
    EXPECT_FALSE(ParseBootTime("btime\n").has_value());
    EXPECT_FALSE(ParseBootTime("").has_value());
}

TEST(ProcessStats, ThisProcessIsReadAndItsDescriptorsCounted) {
    const std::optional<ProcessStats> before = ReadProcessStats();
    ASSERT_TRUE(before.has_value());
    EXPECT_GT(before->residentBytes, 0u);
    EXPECT_GE(before->virtualBytes, before->residentBytes);
    EXPECT_GT(before->startTimeSeconds, 1e9);
    EXPECT_GT(before->maxFds, before->openFds);
    const int extra = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const std::optional<ProcessStats> after = ReadProcessStats();
    ::close(extra);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->openFds, before->openFds + 1);
    EXPECT_GE(after->cpuSeconds, before->cpuSeconds);
}

} // namespace
