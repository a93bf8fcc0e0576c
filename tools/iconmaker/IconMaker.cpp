// Writes the tray icon: one 32 x 32 image in 16 colours in the standard icon-file format
// (6-byte header, one 16-byte directory entry, a 744-byte image = 766 bytes).
// Usage: iconmaker <output.ico>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 32;
constexpr int kTransparent = -1;

// The classic 16-colour palette, as (red, green, blue).
constexpr std::array<std::array<std::uint8_t, 3>, 16> kPalette{{
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
constexpr int kBlack = 0, kSilver = 7, kGrey = 8, kLime = 10;

using Picture = std::array<std::array<int, kSize>, kSize>; // [row][column], row 0 at the top

void Fill(Picture& p, int left, int top, int right, int bottom, int colour) {
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            p[y][x] = colour;
}

// A monitor on its stand whose screen shows a lime heartbeat trace, and a lime lamp.
Picture Draw() {
    Picture p;
    for (auto& row : p)
        row.fill(kTransparent);
    Fill(p, 1, 2, 30, 23, kGrey);   // bezel outline
    Fill(p, 2, 3, 29, 22, kSilver); // bezel
    Fill(p, 3, 4, 28, 20, kBlack);  // screen
    Fill(p, 25, 21, 26, 21, kLime); // power lamp
    Fill(p, 12, 24, 19, 26, kGrey); // neck outline
    Fill(p, 13, 24, 18, 26, kSilver);
    Fill(p, 8, 27, 23, 29, kGrey); // foot outline
    Fill(p, 9, 28, 22, 28, kSilver);

    // The trace: one vertical run of lime per screen column (first row, last row).
    struct Run {
        int column, top, bottom;
    };
    constexpr Run trace[] = {
        {4, 13, 13},  {5, 13, 13},  {6, 13, 13},  {7, 13, 13},  {8, 13, 13},  {9, 13, 13},
        {10, 13, 13}, {11, 9, 13},  {12, 6, 9},   {13, 6, 17},  {14, 15, 19}, {15, 13, 19},
        {16, 13, 13}, {17, 13, 13}, {18, 13, 13}, {19, 13, 13}, {20, 11, 13}, {21, 11, 11},
        {22, 11, 13}, {23, 13, 13}, {24, 13, 13}, {25, 13, 13}, {26, 13, 13}, {27, 13, 13},
    };
    for (const Run& r : trace)
        Fill(p, r.column, r.top, r.column, r.bottom, kLime);
    return p;
}

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(value & 0xFF);
    out.push_back((value >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::vector<std::uint8_t> Encode(const Picture& p) {
    constexpr unsigned kXorBytes = kSize * kSize / 2; // 4 bits a pixel, rows of 16 bytes
    constexpr unsigned kAndBytes = kSize * 4;         // 1 bit a pixel, rows of 4 bytes
    constexpr unsigned kImageBytes = 40 + 16 * 4 + kXorBytes + kAndBytes;

    std::vector<std::uint8_t> out;
    // Icon directory: reserved, type 1 (icon), one image.
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, 1);
    // Directory entry: width, height, colour count, reserved, planes, bits, size, offset.
    out.push_back(kSize);
    out.push_back(kSize);
    out.push_back(16);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, kImageBytes);
    Put32(out, 6 + 16);
    // Bitmap header; the height counts the colour rows and the mask rows.
    Put32(out, 40);
    Put32(out, kSize);
    Put32(out, kSize * 2);
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0);
    Put32(out, kXorBytes + kAndBytes);
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (const auto& rgb : kPalette) {
        out.push_back(rgb[2]);
        out.push_back(rgb[1]);
        out.push_back(rgb[0]);
        out.push_back(0);
    }
    // Both bitmaps are stored bottom row first.
    for (int y = kSize - 1; y >= 0; --y)
        for (int x = 0; x < kSize; x += 2) {
            auto index = [&](int c) { return p[y][c] == kTransparent ? kBlack : p[y][c]; };
            out.push_back(static_cast<std::uint8_t>(index(x) << 4 | index(x + 1)));
        }
    for (int y = kSize - 1; y >= 0; --y)
        for (int x = 0; x < kSize; x += 8) {
            std::uint8_t bits = 0;
            for (int b = 0; b < 8; ++b)
                if (p[y][x + b] == kTransparent)
                    bits |= 0x80 >> b;
            out.push_back(bits);
        }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.ico>\n", argv[0]);
        return 2;
    }
    const std::vector<std::uint8_t> bytes = Encode(Draw());
    if (bytes.size() != 766) {
        std::fprintf(stderr, "iconmaker: produced %zu bytes instead of 766\n", bytes.size());
        return 1;
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "iconmaker: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
