#include "BmpCases.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace skintest {

namespace {

void Put16(Bytes& out, int value) {
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

void Put32(Bytes& out, std::int64_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

bool WindowsHeader(int size) {
    return size == 40 || size == 64 || size == 108 || size == 124;
}

Bytes InfoHeader(const BmpFields& f) {
    Bytes out;
    Put32(out, f.HeaderSize);
    if (!WindowsHeader(f.HeaderSize)) {
        Put16(out, f.Width);
        Put16(out, f.Height);
        Put16(out, f.Planes);
        Put16(out, f.Bits);
        return out;
    }
    Put32(out, f.Width);
    Put32(out, f.Height);
    Put16(out, f.Planes);
    Put16(out, f.Bits);
    Put32(out, f.Compression);
    for (int i = 0; i < 3; ++i) // image size, resolutions
        Put32(out, 0);
    Put32(out, f.ColoursUsed);
    Put32(out, 0);
    if (f.HeaderSize >= 108) {
        for (std::uint32_t mask : f.Masks)
            Put32(out, mask);
    }
    out.resize(std::size_t(f.HeaderSize), 0);
    return out;
}

BmpCase Good(std::string name, const BmpFields& f, int width, int height) {
    return {std::move(name), BmpFile(f), std::make_pair(width, height)};
}

BmpCase Broken(std::string name, Bytes file) {
    return {std::move(name), std::move(file), std::nullopt};
}

BmpCase Broken(std::string name, const BmpFields& f) {
    return Broken(std::move(name), BmpFile(f));
}

Bytes Cut(Bytes file, std::size_t size) {
    file.resize(size);
    return file;
}

} // namespace

Bytes BmpFile(const BmpFields& f) {
    Bytes body = InfoHeader(f);
    if (f.MasksAfterHeader) {
        for (int i = 0; i < 3; ++i)
            Put32(body, f.Masks[i]);
    }
    int entries = f.PaletteEntries;
    if (entries < 0)
        entries = f.Bits > 8 ? 0 : (f.ColoursUsed != 0 ? f.ColoursUsed : 1 << f.Bits);
    const std::size_t entrySize = f.HeaderSize == 12 ? 3 : 4;
    for (int i = 0; i < entries; ++i) {
        const std::uint8_t entry[4] = {0x10, std::uint8_t(i), 0x30, 0};
        body.insert(body.end(), entry, entry + entrySize);
    }
    const std::int64_t pixelsAt = 14 + std::int64_t(body.size());
    if (f.Pixels) {
        body.insert(body.end(), f.Pixels->begin(), f.Pixels->end());
    } else {
        const std::int64_t rowBytes = (std::max(f.Width, 0) * std::int64_t(f.Bits) + 31) / 32 * 4;
        const std::int64_t rows = std::abs(std::int64_t(f.Height));
        body.resize(body.size() + std::size_t(rowBytes * rows), 0x55);
    }
    Bytes file = {'B', 'M'};
    Put32(file, 14 + std::int64_t(body.size()));
    Put32(file, 0);
    Put32(file, f.PixelOffset ? *f.PixelOffset : pixelsAt);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

std::vector<BmpCase> GoodBmpCases() {
    std::vector<BmpCase> cases;
    cases.push_back(Good("24 bits", {}, 4, 2));
    for (int bits : {1, 4, 8, 16, 32}) {
        BmpFields f;
        f.Bits = bits;
        cases.push_back(Good(std::to_string(bits) + " bits", f, 4, 2));
    }
    BmpFields topDown;
    topDown.Height = -3;
    cases.push_back(Good("rows stored top down", topDown, 4, 3));
    BmpFields fewColours;
    fewColours.Bits = 8;
    fewColours.ColoursUsed = 3;
    cases.push_back(Good("8 bits, three colours", fewColours, 4, 2));

    for (int size : {12, 64, 108, 124}) {
        BmpFields f;
        f.HeaderSize = size;
        f.Bits = 8;
        cases.push_back(Good(std::to_string(size) + "-byte header", f, 4, 2));
    }
    // Any other header size is read as the 12-byte form, the colour table where it says.
    BmpFields odd;
    odd.HeaderSize = 13;
    odd.Width = 5;
    cases.push_back(Good("13-byte header", odd, 5, 2));
    // A size that points before the file leaves the colour table where the header ends.
    odd.HeaderSize = -20;
    odd.Bits = 8;
    cases.push_back(Good("negative header size", odd, 5, 2));

    BmpFields rle8;
    rle8.Width = 6;
    rle8.Height = 3;
    rle8.Bits = 8;
    rle8.Compression = 1;
    rle8.ColoursUsed = 4;
    // A run, a literal run of three (padded), end of line, a jump, end of bitmap.
    rle8.Pixels = Bytes{2, 1, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 0, 1};
    cases.push_back(Good("8-bit runs", rle8, 6, 3));
    BmpFields rle4 = rle8;
    rle4.Bits = 4;
    rle4.Compression = 2;
    rle4.ColoursUsed = 0;
    rle4.Pixels = Bytes{2, 0x12, 0, 3, 0x12, 0x30, 0, 1};
    cases.push_back(Good("4-bit runs", rle4, 6, 3));
    // The literal run is cut, but only 4-bit runs are read that loosely.
    rle4.Pixels = Bytes{0, 5, 0x12};
    cases.push_back(Good("4-bit literal run cut short", rle4, 6, 3));

    BmpFields fields16;
    fields16.Bits = 16;
    fields16.Compression = 3;
    fields16.Masks[0] = 0xF800;
    fields16.Masks[1] = 0x07E0;
    fields16.Masks[2] = 0x001F;
    fields16.MasksAfterHeader = true;
    cases.push_back(Good("16-bit fields", fields16, 4, 2));
    BmpFields fieldsV4;
    fieldsV4.HeaderSize = 108;
    fieldsV4.Bits = 32;
    fieldsV4.Compression = 3;
    fieldsV4.Masks[0] = 0xFF0000;
    fieldsV4.Masks[1] = 0xFF00;
    fieldsV4.Masks[2] = 0xFF;
    fieldsV4.Masks[3] = 0xFF000000;
    cases.push_back(Good("32-bit fields in a 108-byte header", fieldsV4, 4, 2));

    // Pixel data that ends early, or an offset past the end, still decodes.
    BmpFields shortPixels;
    shortPixels.Pixels = Bytes{1};
    cases.push_back(Good("one byte of pixels", shortPixels, 4, 2));
    BmpFields farOffset;
    farOffset.PixelOffset = 100000;
    cases.push_back(Good("pixel offset past the end", farOffset, 4, 2));
    BmpFields tableAndAByte;
    tableAndAByte.Bits = 8;
    tableAndAByte.Pixels = Bytes{1};
    cases.push_back(Good("colour table and one byte", tableAndAByte, 4, 2));

    // The largest the decoder takes: 128 MiB at four bytes per pixel (one bit each here, so that
    // decoding it is cheap).
    BmpFields largest;
    largest.Width = 8192;
    largest.Height = 4096;
    largest.Bits = 1;
    largest.Pixels = Bytes{1};
    cases.push_back(Good("128 MiB", largest, 8192, 4096));
    return cases;
}

std::vector<BmpCase> BrokenBmpCases() {
    std::vector<BmpCase> cases;
    Bytes good = BmpFile({});
    Bytes notBm = good;
    notBm[1] = 'X';
    cases.push_back(Broken("no BM", notBm));
    cases.push_back(Broken("cut in the file header", Cut(good, 13)));
    cases.push_back(Broken("cut in the header size", Cut(good, 17)));
    cases.push_back(Broken("cut in the info header", Cut(good, 53)));
    cases.push_back(Broken("nothing after the info header", Cut(good, 54)));
    BmpFields core;
    core.HeaderSize = 12;
    cases.push_back(Broken("nothing after the 12-byte header", Cut(BmpFile(core), 26)));
    BmpFields v4;
    v4.HeaderSize = 108;
    cases.push_back(Broken("cut in the 108-byte header", Cut(BmpFile(v4), 14 + 107)));

    auto broken = [&cases](std::string name, auto change) {
        BmpFields f;
        change(f);
        cases.push_back(Broken(std::move(name), f));
    };
    broken("width 0", [](BmpFields& f) { f.Width = 0; });
    broken("negative width", [](BmpFields& f) { f.Width = -4; });
    broken("negative width, 12-byte header", [](BmpFields& f) {
        f.HeaderSize = 12;
        f.Width = -4;
    });
    broken("height 0", [](BmpFields& f) { f.Height = 0; });
    broken("lowest height", [](BmpFields& f) {
        f.Height = INT_MIN;
        f.Pixels = Bytes{1};
    });
    broken("two planes", [](BmpFields& f) { f.Planes = 2; });
    broken("2 bits", [](BmpFields& f) { f.Bits = 2; });
    broken("0 bits", [](BmpFields& f) { f.Bits = 0; });
    broken("8-bit runs at 24 bits", [](BmpFields& f) { f.Compression = 1; });
    broken("bit fields at 24 bits", [](BmpFields& f) {
        f.Compression = 3;
        f.MasksAfterHeader = true;
    });
    broken("compression 4", [](BmpFields& f) {
        f.Bits = 32;
        f.Compression = 4;
    });
    broken("compression 5", [](BmpFields& f) { f.Compression = 5; });
    broken("negative compression", [](BmpFields& f) { f.Compression = -1; });
    broken("300 colours", [](BmpFields& f) {
        f.Bits = 8;
        f.ColoursUsed = 300;
    });
    broken("negative colour count", [](BmpFields& f) {
        f.Bits = 8;
        f.ColoursUsed = -1;
        f.PaletteEntries = 0;
    });
    broken("colour table cut short", [](BmpFields& f) {
        f.Bits = 8;
        f.PaletteEntries = 250;
        f.Pixels = Bytes{};
    });
    broken("nothing after the colour table", [](BmpFields& f) {
        f.Bits = 8;
        f.Pixels = Bytes{};
    });
    broken("header size that moves the colour table past the data", [](BmpFields& f) {
        f.HeaderSize = 100;
        f.Bits = 8;
    });
    broken("bit-field masks missing", [](BmpFields& f) {
        f.Bits = 16;
        f.Compression = 3;
        f.Pixels = Bytes{};
    });
    broken("bit-field mask of all ones", [](BmpFields& f) {
        f.Bits = 32;
        f.Compression = 3;
        f.Masks[0] = 0xFFFFFFFF;
        f.Masks[1] = 0xFF00;
        f.Masks[2] = 0xFF;
        f.MasksAfterHeader = true;
    });
    broken("alpha mask of all ones", [](BmpFields& f) {
        f.HeaderSize = 108;
        f.Bits = 32;
        f.Compression = 3;
        f.Masks[0] = 0xFF0000;
        f.Masks[1] = 0xFF00;
        f.Masks[2] = 0xFF;
        f.Masks[3] = 0xFFFFFFFF;
    });
    broken("largest width and height", [](BmpFields& f) {
        f.Width = INT_MAX;
        f.Height = INT_MAX;
        f.Pixels = Bytes{1};
    });
    broken("over 128 MiB", [](BmpFields& f) {
        f.Width = 8193;
        f.Height = -4096;
        f.Bits = 1;
        f.Pixels = Bytes{1};
    });
    broken("8-bit literal run cut short", [](BmpFields& f) {
        f.Width = 6;
        f.Bits = 8;
        f.Compression = 1;
        f.ColoursUsed = 4;
        f.Pixels = Bytes{0, 5, 1, 2};
    });
    return cases;
}

} // namespace skintest
