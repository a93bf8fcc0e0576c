#include "SkinPackageFuzzBody.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Every stored fuzz input runs through the reader without a sanitizer report or a stray
// exception (either would end the test program).
TEST(SkinPackageCorpus, EveryStoredInputIsHandled) {
    fs::path corpus = SKIN_FUZZ_CORPUS_DIR;
    ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(FuzzSkinPackage(bytes.data(), bytes.size()), 0);
        ++count;
    }
    EXPECT_GT(count, 0);
}

} // namespace
