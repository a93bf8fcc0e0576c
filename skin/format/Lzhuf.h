#pragma once

// LZHUF: LZSS over a 4096-byte ring buffer (match lengths 3..60) whose literal-or-length symbols
// are coded with an adaptive Huffman tree and whose match positions use fixed tables for their
// upper 6 bits. Pure functions over bytes.

#include "platform/Exception.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class ElzhException : public Exception {
public:
    using Exception::Exception;
};

// The largest unpacked size accepted by default: a size field beyond it is taken as damage.
constexpr std::size_t kLzhufMaxUnpackedSize = 64u * 1024u * 1024u;

// Unpacks the bit stream `bits` into exactly `size` bytes. Bits past the end of the input read as
// zero, so a truncated stream still gives `size` bytes (of garbage at its end).
std::vector<std::uint8_t> LzhufDecode(std::span<const std::uint8_t> bits, std::size_t size);

// Packs `data` into a bit stream that LzhufDecode turns back into `data`.
std::vector<std::uint8_t> LzhufEncode(std::span<const std::uint8_t> data);

// The compressed form: a 32-bit little-endian unpacked size u, then the bit stream.
// Throws ElzhException when the input is shorter than the size field or u exceeds `maxSize`.
std::vector<std::uint8_t> LzhufUnpack(std::span<const std::uint8_t> packed,
                                      std::size_t maxSize = kLzhufMaxUnpackedSize);
std::vector<std::uint8_t> LzhufPack(std::span<const std::uint8_t> data);
