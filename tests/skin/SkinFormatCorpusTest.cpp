#include "skin/format/checks/SkinFormatExercise.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Every stored fuzz input runs through the readers without a sanitizer report or a stray
// exception.
TEST(SkinFormatCorpus, EveryStoredInputIsHandled) {
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
        EXPECT_NO_THROW(ExerciseSkinFormat(bytes));
        ++count;
    }
    EXPECT_GT(count, 0);
}

} // namespace
