#include "history/HistoryWriter.h"
#include "HistoryTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class HistoryWriterTest : public testing::Test {
protected:
    HistoryWriter::Options Options(const std::string& path) {
        HistoryWriter::Options options;
        options.path = path;
        options.batchInterval = 20ms;
        return options;
    }
    HistoryWriter::FaultSink Sink() {
        return [this](const std::string& line) {
            std::lock_guard guard(lock);
            faults.push_back(line);
        };
    }
    std::vector<std::string> Faults() {
        std::lock_guard guard(lock);
        return faults;
    }

    TempDir dir;
    std::mutex lock;
    std::vector<std::string> faults;
};

TEST_F(HistoryWriterTest, RecordsFromAnyThreadReachTheFileInBatches) {
    const std::string path = dir.file("history.db");
    {
        HistoryWriter writer(Options(path), Sink());
        auto push = [&writer](const std::string& name) {
            for (int i = 0; i < 500; ++i)
                EXPECT_TRUE(writer.Push(ProbeRecordAt(name, 1'700'000'000'000 + i * 10, i % 2)));
        };
        std::thread other(push, "db");
        push("web");
        other.join();
        ASSERT_TRUE(writer.Flush(10s));
        EXPECT_EQ(writer.Written(), 1000u);
        EXPECT_TRUE(writer.Writing());
        // A reader sees them while the writer still holds the file.
        auto reader = HistoryDatabase::OpenForReading(path);
        ASSERT_TRUE(reader.db) << reader.problem;
        EXPECT_EQ(Rows(reader.db->Handle(), "SELECT count(*) FROM probe"),
                  std::vector<std::string>{"1000"});
        writer.Push(ProbeRecordAt("web", 1'800'000'000'000, 0));
    }
    // What was queued at the end is written before the writer goes.
    auto reader = HistoryDatabase::OpenForReading(path);
    ASSERT_TRUE(reader.db);
    EXPECT_EQ(Rows(reader.db->Handle(), "SELECT count(*) FROM probe"),
              std::vector<std::string>{"1001"});
    EXPECT_TRUE(Faults().empty());
}

TEST_F(HistoryWriterTest, AFullQueueDropsAndCountsInsteadOfWaiting) {
    HistoryWriter::Options options = Options(dir.file("history.db"));
    options.capacity = 10;
    options.batchInterval = 10s;
    HistoryWriter writer(options, Sink());
    int taken = 0;
    for (int i = 0; i < 1000; ++i)
        taken += writer.Push(ProbeRecordAt("web", 1'700'000'000'000 + i, 0)) ? 1 : 0;
    EXPECT_LT(taken, 1000);
    EXPECT_EQ(writer.Dropped(), static_cast<std::uint64_t>(1000 - taken));
}

TEST_F(HistoryWriterTest, AFileThatCannotBeUsedIsToldOnceAndTheWriterDropsQuietly) {
    const std::string junk = dir.write("history.db", std::string(2048, 'j'));
    {
        HistoryWriter writer(Options(junk), Sink());
        ASSERT_TRUE(writer.Push(ProbeRecordAt("web", 1'700'000'000'000, 0)));
        ASSERT_TRUE(writer.Flush(10s));
        EXPECT_TRUE(writer.Writing());
    }
    auto lines = Faults();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(
        lines[0].find("was not a database or was damaged; moved aside to " + junk + ".damaged-"),
        std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("a new history is started"), std::string::npos) << lines[0];

    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    faults.clear();
    const std::string folder = dir.file("ro");
    mkdir(folder.c_str(), 0500);
    HistoryWriter writer(Options(folder + "/history.db"), Sink());
    writer.Flush(10s);
    for (int i = 0; i < 50 && writer.Push(ProbeRecordAt("web", 1, 0)); ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(writer.Push(ProbeRecordAt("web", 1, 0)));
    EXPECT_FALSE(writer.Writing());
    lines = Faults();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], folder + "/history.db: cannot be written (cannot be opened for writing: "
                                 "Permission denied); the monitor runs on without history");
}

} // namespace
