#include "support/Child.h"
#include "support/TempDir.h"

#include "storage/checks/IniRoundTrip.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Every committed seed of the INI fuzzer (and every crash input added there later) keeps its
// round trip intact in the ordinary sanitizer build.
TEST(IniFuzzCorpus, EverySeedRoundTrips) {
    const std::filesystem::path corpus = SM_STORAGE_CORPUS;
    TempDir dir;
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        EXPECT_EQ(CheckIniRoundTrip(ReadBytes(entry.path().string()), dir.path()), "")
            << entry.path();
        ++seeds;
    }
    EXPECT_GE(seeds, 5);
}

TEST(IniFuzzCorpus, TheCheckCatchesALookupThatIsNotTheLast) {
    TempDir dir;
    // Sanity of the oracle itself on inputs with duplicates at both levels.
    EXPECT_EQ(CheckIniRoundTrip("[A]\nk=1\nK=2\n[a]\nk=3\nk=4\n", dir.path()), "");
    EXPECT_EQ(CheckIniRoundTrip("", dir.path()), "");
}

} // namespace
