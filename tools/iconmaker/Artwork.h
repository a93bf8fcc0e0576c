#pragma once

// The monitor's icon artwork: a monitor on its stand whose screen shows a lime heartbeat trace,
// drawn on a 32 x 32 grid in the classic 16-colour palette. The tray icon and the desktop icons
// are all made from it.

#include <array>
#include <cstdint>
#include <vector>

inline constexpr int kArtworkSize = 32;
inline constexpr int kTransparent = -1;

// The classic 16-colour palette, as (red, green, blue).
inline constexpr std::array<std::array<std::uint8_t, 3>, 16> kPalette{{
    {0x00, 0x00, 0x00},
    {0x80, 0x00, 0x00},
    {0x00, 0x80, 0x00},
    {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80},
    {0x80, 0x00, 0x80},
    {0x00, 0x80, 0x80},
    {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80},
    {0xFF, 0x00, 0x00},
    {0x00, 0xFF, 0x00},
    {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF},
    {0xFF, 0x00, 0xFF},
    {0x00, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xFF},
}};

// A filled rectangle of grid cells, both corners included, in a palette colour.
struct Box {
    int left, top, right, bottom, colour;
};

// [row][column], row 0 at the top; a palette index or kTransparent.
using Picture = std::array<std::array<int, kArtworkSize>, kArtworkSize>;

// The artwork's boxes, back to front.
std::vector<Box> ArtworkBoxes();

// The boxes painted in order onto a transparent grid.
Picture Paint(const std::vector<Box>& boxes);
