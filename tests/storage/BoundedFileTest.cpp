#include "storage/BoundedFile.h"

#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Outcome = BoundedFileRead::Outcome;

// The outcome as a word, with the errno's name where there is one and the size of what was read,
// so that a failure says what it saw.
std::string Describe(const BoundedFileRead& read) {
    switch (read.outcome) {
    case Outcome::Read:
        return "Read " + std::to_string(read.text.size());
    case Outcome::Missing:
        return "Missing";
    case Outcome::NotRegular:
        return "NotRegular";
    case Outcome::TooLarge:
        return "TooLarge";
    case Outcome::CannotOpen:
        return std::string("CannotOpen ") + ::strerrorname_np(read.error);
    case Outcome::CannotRead:
        return std::string("CannotRead ") + ::strerrorname_np(read.error);
    }
    return "?";
}

class BoundedFileTest : public testing::Test {
protected:
    static constexpr std::size_t kMax = 16;

    // Reads `path` on another thread, within a safety bound far above any real read: a reading
    // that blocks fails the test instead of hanging it.
    static BoundedFileRead Read(const std::string& path, std::size_t max = kMax) {
        auto reading = std::async(std::launch::async, [&] { return ReadBoundedFile(path, max); });
        if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // A stuck open of a FIFO goes on when a writer comes.
            const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            reading.wait();
            if (writer >= 0)
                ::close(writer);
            ADD_FAILURE() << "reading " << path << " blocked";
        }
        return reading.get();
    }

    TempDir dir_;
};

TEST_F(BoundedFileTest, AFileOfTheBoundIsReadOneByteMoreIsTooLarge) {
    const std::string exact(kMax, 'x');
    const BoundedFileRead fits = Read(dir_.write("exact", exact));
    EXPECT_EQ(Describe(fits), "Read 16");
    EXPECT_EQ(fits.text, exact);
    EXPECT_EQ(Describe(Read(dir_.write("over", exact + "y"))), "TooLarge");
    EXPECT_EQ(Describe(Read(dir_.write("empty", ""))), "Read 0");
    // Bytes are bytes: no text mode, nothing stops at a NUL.
    const std::string binary("a\0\r\n\xFF", 5);
    EXPECT_EQ(Read(dir_.write("binary", binary)).text, binary);
}

TEST_F(BoundedFileTest, WhatReadingGivesCountsNotWhatTheSizeSays) {
    // Files of /proc say they are empty and still have text: the one byte more that is asked for
    // tells, as it does for a file that grows while it is read.
    EXPECT_EQ(Describe(Read("/proc/self/status")), "TooLarge");
    const BoundedFileRead status = Read("/proc/self/status", 64 * 1024);
    ASSERT_EQ(status.outcome, Outcome::Read);
    EXPECT_EQ(status.text.rfind("Name:", 0), 0u);
}

TEST_F(BoundedFileTest, NothingAtThePathIsMissingAFileOnTheWayIsNot) {
    EXPECT_EQ(Describe(Read(dir_.file("absent"))), "Missing");
    EXPECT_EQ(Describe(Read(dir_.file("no-folder/absent"))), "Missing");
    const std::string file = dir_.write("file", "x");
    EXPECT_EQ(Describe(Read(file + "/below")), "CannotOpen ENOTDIR");
    fs::create_symlink(dir_.file("nowhere"), dir_.file("dangling"));
    EXPECT_EQ(Describe(Read(dir_.file("dangling"))), "Missing");
}

TEST_F(BoundedFileTest, OnlyRegularFilesAreReadAndNothingHoldsTheCallerUp) {
    const std::string fifo = dir_.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Describe(Read(fifo)), "NotRegular");
    // Asked of the opened descriptor: a link to an endless device is no regular file either.
    fs::create_symlink("/dev/zero", dir_.file("zero"));
    EXPECT_EQ(Describe(Read(dir_.file("zero"))), "NotRegular");
    EXPECT_EQ(Describe(Read(dir_.path())), "NotRegular");
    EXPECT_EQ(Describe(Read("/dev/null")), "NotRegular");
}

TEST_F(BoundedFileTest, AFileThatCannotBeReadSaysWhy) {
    // Opening one's own memory works; reading at address 0 does not.
    EXPECT_EQ(Describe(Read("/proc/self/mem")), "CannotRead EIO");

    const std::string secret = dir_.write("secret", "x");
    ASSERT_EQ(::chmod(secret.c_str(), 0200), 0);
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
    const std::string report = InChild(
        [&] {
            const std::string seen = Describe(ReadBoundedFile(secret, kMax));
            return seen == "CannotOpen EACCES" ? std::string() : seen;
        },
        /*asNobody=*/true);
    EXPECT_EQ(report, "");
}

} // namespace
