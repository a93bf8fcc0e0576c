#pragma once

#include <cstdint>
#include <span>

// One input through every reader of the skin's file format: as a compressed package, as a
// stored SkinStream, as an unpacked table (and then the description it holds, with its
// bitmaps), as a description text on its own and as a bitmap. The readers' documented
// exceptions for damaged data are expected and swallowed; anything else (a crash, an
// out-of-bounds read, another exception, which this lets through) is a finding.
void ExerciseSkinFormat(std::span<const std::uint8_t> input);
