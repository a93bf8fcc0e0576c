#pragma once

// Windows bitmap files written byte by byte, good and broken, for the tests of the bitmap size
// reader and of its agreement with the toolkit's decoder.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace skintest {

using Bytes = std::vector<std::uint8_t>;

// The fields of one bitmap file. By default a 4 x 2, 24-bit, bottom-up bitmap with a 40-byte
// info header, whose colour table and pixel rows are complete and placed where the header says.
struct BmpFields {
    int HeaderSize = 40; // 12, 40, 64, 108, 124, or any other value
    int Width = 4;
    int Height = 2;
    int Planes = 1;
    int Bits = 24;
    int Compression = 0;
    int ColoursUsed = 0;
    // Red, green, blue, alpha: in the header of the 108- and 124-byte forms, else (with bit
    // fields) right after the header when `MasksAfterHeader`.
    std::uint32_t Masks[4] = {0, 0, 0, 0};
    bool MasksAfterHeader = false;
    // The colour table's entries; -1 for as many as the header asks.
    int PaletteEntries = -1;
    // The pixel bytes; none for complete rows.
    std::optional<Bytes> Pixels;
    // The pixel data offset of the file header; none for where the pixels start.
    std::optional<std::int32_t> PixelOffset;
};

Bytes BmpFile(const BmpFields& fields);

// One case of the tables: a name, a file and the size the decoder gives it (none: no image).
struct BmpCase {
    std::string Name;
    Bytes File;
    std::optional<std::pair<int, int>> Size;
};

// Bitmaps the decoder reads: every header form, bit depth and compression, and damage it
// reads past.
std::vector<BmpCase> GoodBmpCases();
// Bitmaps it refuses, each broken in one way.
std::vector<BmpCase> BrokenBmpCases();

} // namespace skintest
