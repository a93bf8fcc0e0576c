// Draws the monitor's icon artwork (Artwork.cpp) in two forms:
//
//   iconmaker <output.ico>              the tray icon: one 32 x 32 image in 16 colours in the
//                                       standard icon-file format (6-byte header, one 16-byte
//                                       directory entry, a 744-byte image = 766 bytes)
//   iconmaker --hicolor <folder> <name> the desktop icons: PNG images of every hicolor size and
//                                       a scalable SVG, in the theme's folder layout

#include "Artwork.h"
#include "HicolorIcons.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kSize = kArtworkSize;
constexpr int kBlack = 0;

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
    if (argc == 4 && std::strcmp(argv[1], "--hicolor") == 0)
        return WriteHicolor(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3])) ? 0
                                                                                              : 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.ico> | --hicolor <folder> <name>\n", argv[0]);
        return 2;
    }
    const std::vector<std::uint8_t> bytes = Encode(Paint(ArtworkBoxes()));
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
