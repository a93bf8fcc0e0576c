#include "skin/format/BmpSize.h"

#include "BmpCases.h"

#include <gtest/gtest.h>

namespace {

using namespace skintest;

std::optional<std::pair<int, int>> SizeOf(const Bytes& file) {
    std::optional<TBmpSize> size = BmpSize(file);
    if (!size)
        return std::nullopt;
    return std::make_pair(size->Width, size->Height);
}

TEST(BmpSize, EveryHeaderFormDepthAndCompression) {
    for (const BmpCase& c : GoodBmpCases())
        EXPECT_EQ(SizeOf(c.File), c.Size) << c.Name;
}

TEST(BmpSize, NothingForABitmapTheDecoderRefuses) {
    for (const BmpCase& c : BrokenBmpCases())
        EXPECT_EQ(SizeOf(c.File), std::nullopt) << c.Name;
}

TEST(BmpSize, NothingForEveryCutOfAHeader) {
    BmpFields f;
    f.HeaderSize = 124;
    f.Bits = 8;
    const Bytes file = BmpFile(f);
    // The file header, the info header and the colour table with the byte after it.
    const std::size_t needed = 14 + 124 + 256 * 4 + 1;
    for (std::size_t size = 0; size < needed; ++size)
        EXPECT_EQ(SizeOf(Bytes(file.begin(), file.begin() + std::ptrdiff_t(size))), std::nullopt)
            << size;
    EXPECT_EQ(SizeOf(Bytes(file.begin(), file.begin() + std::ptrdiff_t(needed))),
              std::make_pair(4, 2));
}

} // namespace
