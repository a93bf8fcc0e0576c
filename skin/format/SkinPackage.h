#pragma once

// The skin package: a compressed table of named entries (the skin description and its bitmaps).
// Pure functions over bytes.
//
// Unpacked layout (32-bit little-endian integers): version 20000, the length L of the name list,
// 8 unread bytes, the name list (lines), one size per name, then the entries' bytes in order.

#include "platform/Exception.h"
#include "skin/format/Lzhuf.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A damaged package: sizes that run past the data, a size field beyond the limit, a stored
// property shorter than its count.
class ESkinPackageError : public Exception {
public:
    using Exception::Exception;
};

constexpr std::int32_t kSkinPackageVersion = 20000;
constexpr std::size_t kSkinPackageMaxEntries = 1001;

// The stored SkinStream property: a 32-bit little-endian count n, then n bytes of package.
// A count of 0 or less stores nothing. Throws ESkinPackageError when fewer than n bytes follow.
std::vector<std::uint8_t> SkinStreamPackage(std::span<const std::uint8_t> stored);
// Count + bytes.
std::vector<std::uint8_t> MakeSkinStream(std::span<const std::uint8_t> package);

struct TSkinPackageEntry {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
};

// The unpacked layout of `entries` (names as given, joined by CR LF).
std::vector<std::uint8_t> BuildUnpackedPackage(const std::vector<TSkinPackageEntry>& entries,
                                               std::int32_t version = kSkinPackageVersion);
// The compressed form of BuildUnpackedPackage.
std::vector<std::uint8_t> BuildPackage(const std::vector<TSkinPackageEntry>& entries);

enum class TSkinPackageStatus {
    Ok,
    WrongVersion,   // the version is not 20000: the caller shows the older-skin message
    TooManyEntries, // more than 1001 names: rejected without a message
};

class TSkinPackage {
public:
    // Unpacks the compressed form and reads its table. Throws ElzhException or
    // ESkinPackageError for damaged data; `maxUnpacked` caps the claimed unpacked size.
    TSkinPackageStatus Read(std::span<const std::uint8_t> packed,
                            std::size_t maxUnpacked = kLzhufMaxUnpackedSize);
    // Reads an already unpacked package (takes the bytes).
    TSkinPackageStatus ReadUnpacked(std::vector<std::uint8_t> unpacked);

    // The lower-cased entry names in package order.
    const std::vector<std::string>& Names() const { return names_; }
    std::size_t Count() const { return names_.size(); }
    std::span<const std::uint8_t> Entry(std::size_t index) const;

    // The bytes of the first entry named `name` (compared lower-cased); empty when none.
    std::span<const std::uint8_t> EntryByName(std::string_view name) const;
    // The first entry whose name contains `part`: its name and bytes.
    std::optional<std::pair<std::string, std::span<const std::uint8_t>>>
    EntryByPart(std::string_view part) const;

    void Clear();

private:
    std::vector<std::uint8_t> data_;
    std::vector<std::string> names_;
    // Offsets into data_ of each entry and its size.
    std::vector<std::pair<std::size_t, std::size_t>> entries_;
};

// ASCII lower case, the one used for entry names.
std::string LowerAscii(std::string_view text);
