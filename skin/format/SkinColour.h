#pragma once

// Colour values of a skin description.

#include <cstdint>

// A colour value: R + 256*G + 65536*B, each component 0..255.
using TColor = std::int32_t;

// "No colour" for the numeric colours (NormalColour ...), which are -1 when unset.
constexpr TColor clNone = -1;

inline TColor RGBColor(int r, int g, int b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
