#pragma once

// The size of a Windows bitmap, read from its bytes without decoding the pixels.

#include <cstdint>
#include <optional>
#include <span>

struct TBmpSize {
    int Width = 0;
    int Height = 0;
    friend bool operator==(const TBmpSize&, const TBmpSize&) = default;
};

// The width and height (rows, whichever way they are stored) of the bitmap file in `bytes`, or
// nothing when the bitmap decoder the painters use would not decode it. The skin takes frame
// counts and button places from these sizes, so the rules are that decoder's: the file and info
// headers (12, 40, 64, 108 or 124 bytes; any other size is read as the 12-byte form), 1, 4, 8,
// 16, 24 or 32 bits per pixel with a compression that fits them, at most 16384 * 16384 pixels
// and 128 MiB at four bytes per pixel, the bit-field masks and the colour table complete with
// data after them, and 8-bit run-length data whose literal runs are complete. Pixel data cut
// short otherwise still decodes (the rest stays blank), so it counts as a bitmap here too.
std::optional<TBmpSize> BmpSize(std::span<const std::uint8_t> bytes);
