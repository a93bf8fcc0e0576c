#include "skin/format/BmpSize.h"

#include <climits>
#include <cstddef>
#include <cstdint>

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::int32_t kCoreHeaderSize = 12;
constexpr std::int32_t kInfoHeaderSize = 40;
constexpr std::int32_t kOs2HeaderSize = 64;
constexpr std::int32_t kV4HeaderSize = 108;
constexpr std::int32_t kV5HeaderSize = 124;

constexpr std::int32_t kRgb = 0;
constexpr std::int32_t kRle8 = 1;
constexpr std::int32_t kRle4 = 2;
constexpr std::int32_t kBitFields = 3;

constexpr std::uint64_t kMaxPixels = 16384ull * 16384ull;
constexpr std::int64_t kMaxImageBytes = 128ll * 1024 * 1024;

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
           std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
}

std::int32_t Int32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::int32_t>(Le32(bytes, at));
}

std::int16_t Int16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8);
}

struct InfoHeader {
    std::int32_t Size = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Planes = 0;
    std::int32_t Bits = 0;
    std::int32_t Compression = kRgb;
    std::int32_t ColoursUsed = 0;
    // Red, green, blue, alpha; from the header itself only in the 108- and 124-byte forms.
    std::uint32_t Masks[4] = {0, 0, 0, 0};
    // Where the header ends in the file.
    std::size_t End = 0;
};

// The info header after the file header; nothing when the data ends inside it.
std::optional<InfoHeader> ReadInfoHeader(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t at = kFileHeaderSize;
    if (bytes.size() < at + 4)
        return std::nullopt;
    InfoHeader h;
    h.Size = Int32(bytes, at);
    const bool windows = h.Size == kInfoHeaderSize || h.Size == kOs2HeaderSize ||
                         h.Size == kV4HeaderSize || h.Size == kV5HeaderSize;
    if (!windows) {
        // The 12-byte form: 16-bit sizes, no compression, no colour count.
        h.End = at + kCoreHeaderSize;
        if (bytes.size() < h.End)
            return std::nullopt;
        h.Width = Int16(bytes, at + 4);
        h.Height = Int16(bytes, at + 6);
        h.Planes = Int16(bytes, at + 8);
        h.Bits = Int16(bytes, at + 10);
        return h;
    }
    // The 64-byte form is read as far as its first 40 bytes.
    h.End = at + std::size_t(h.Size >= kV4HeaderSize ? h.Size : kInfoHeaderSize);
    if (bytes.size() < h.End)
        return std::nullopt;
    h.Width = Int32(bytes, at + 4);
    h.Height = Int32(bytes, at + 8);
    h.Planes = Int16(bytes, at + 12);
    h.Bits = Int16(bytes, at + 14);
    h.Compression = Int32(bytes, at + 16);
    h.ColoursUsed = Int32(bytes, at + 32);
    if (h.Size >= kV4HeaderSize) {
        for (std::size_t i = 0; i < 4; ++i)
            h.Masks[i] = Le32(bytes, at + 40 + 4 * i);
    }
    return h;
}

bool UsableFormat(const InfoHeader& h) {
    const int bits = h.Bits;
    const int c = h.Compression;
    if (!(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) ||
        h.Planes != 1 || c > kBitFields)
        return false;
    if (!(c == kRgb || (bits == 4 && c == kRle4) || (bits == 8 && c == kRle8) ||
          ((bits == 16 || bits == 32) && c == kBitFields)))
        return false;
    if (h.Height == INT_MIN || h.Width <= 0 || h.Height == 0)
        return false;
    const std::uint64_t rows = static_cast<std::uint64_t>(h.Height < 0 ? -h.Height : h.Height);
    return std::uint64_t(h.Width) * rows <= kMaxPixels;
}

// A read position over the bytes that moves as the decoder's stream does: reads stop at the
// end, and a seek outside the data leaves the position where it was.
class Stream {
public:
    Stream(std::span<const std::uint8_t> bytes, std::size_t at) : bytes_(bytes), pos_(at) {}

    std::size_t Pos() const { return pos_; }
    bool AtEnd() const { return pos_ >= bytes_.size(); }
    void Seek(std::int64_t to) {
        if (to >= 0 && std::uint64_t(to) <= bytes_.size())
            pos_ = std::size_t(to);
    }
    // Moves over `count` bytes; false, at the end, when fewer are left.
    bool Skip(std::size_t count) {
        if (bytes_.size() - pos_ < count) {
            pos_ = bytes_.size();
            return false;
        }
        pos_ += count;
        return true;
    }
    std::optional<std::uint8_t> Byte() {
        if (AtEnd())
            return std::nullopt;
        return bytes_[pos_++];
    }
    std::optional<std::uint32_t> Word() {
        if (bytes_.size() - pos_ < 4) {
            pos_ = bytes_.size();
            return std::nullopt;
        }
        pos_ += 4;
        return Le32(bytes_, pos_ - 4);
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_;
};

// The decoder gives up only on an absolute run that the data cuts short; a run longer than the
// rest of the bottom row is clipped to it first. Everything else missing stays blank.
bool Rle8RunsComplete(Stream& s, std::int64_t width, std::int64_t height) {
    const std::int64_t rowBytes = (width + 3) / 4 * 4;
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t p = (height - 1) * rowBytes;
    const std::int64_t end = p + width;
    auto clip = [&](std::int64_t run) { return p + run > end ? end - p : run; };
    while (y < height) {
        std::optional<std::uint8_t> b = s.Byte();
        if (!b)
            break;
        if (*b != 0) {
            const std::int64_t run = clip(*b);
            s.Byte(); // the repeated pixel
            x += run;
            p += run;
            continue;
        }
        b = s.Byte();
        if (!b || *b == 1)
            break;
        if (*b == 0) {
            x = 0;
            ++y;
            p = (height - y - 1) * rowBytes;
        } else if (*b == 2) {
            x += s.Byte().value_or(0);
            y += s.Byte().value_or(0);
            if (x >= width)
                x = width - 1;
            if (y >= height)
                y = height - 1;
            p = (height - y - 1) * rowBytes + x;
        } else {
            const std::int64_t run = clip(*b);
            if (!s.Skip(std::size_t(run)))
                return false;
            if (run & 1)
                s.Byte(); // the padding to a 16-bit boundary
            x += run;
            p += run;
        }
    }
    return true;
}

} // namespace

std::optional<TBmpSize> BmpSize(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kFileHeaderSize || bytes[0] != 'B' || bytes[1] != 'M')
        return std::nullopt;
    const std::int32_t pixelOffset = Int32(bytes, 10);
    const std::optional<InfoHeader> header = ReadInfoHeader(bytes);
    if (!header || !UsableFormat(*header))
        return std::nullopt;
    const InfoHeader& h = *header;

    Stream s(bytes, h.End);
    if (s.AtEnd())
        return std::nullopt;
    s.Seek(std::int64_t(kFileHeaderSize) + h.Size);

    const bool bitFields = h.Compression == kBitFields;
    std::uint32_t masks[4] = {h.Masks[0], h.Masks[1], h.Masks[2], h.Masks[3]};
    if (h.Size < kV4HeaderSize && bitFields) {
        for (int i = 0; i < 3; ++i) {
            std::optional<std::uint32_t> mask = s.Word();
            if (!mask)
                return std::nullopt;
            masks[i] = *mask;
        }
    }

    int colours = 0;
    if (h.Bits <= 8) {
        colours = h.ColoursUsed != 0 ? h.ColoursUsed : 1 << h.Bits;
        if (colours < 1 || colours > 256)
            return std::nullopt;
    }

    const std::int64_t width = h.Width;
    const std::int64_t height = h.Height < 0 ? -std::int64_t(h.Height) : h.Height;
    // The decoder refuses an image that would take more than its allocation limit in the
    // 32-bit form it is usually shown in.
    if (4 * width * height > kMaxImageBytes)
        return std::nullopt;

    if (colours > 0) {
        const std::size_t entry = h.Size == kCoreHeaderSize ? 3 : 4;
        // At least one byte has to follow the table.
        if (!s.Skip(entry * std::size_t(colours)) || s.AtEnd())
            return std::nullopt;
    } else if (bitFields) {
        // A mask of all ones has no field width the decoder can scale.
        for (std::uint32_t mask : masks) {
            if (mask == 0xFFFFFFFFu)
                return std::nullopt;
        }
    }

    if (pixelOffset > 0 && std::size_t(pixelOffset) > s.Pos())
        s.Seek(pixelOffset);
    if (h.Compression == kRle8 && !Rle8RunsComplete(s, width, height))
        return std::nullopt;
    return TBmpSize{h.Width, int(height)};
}
