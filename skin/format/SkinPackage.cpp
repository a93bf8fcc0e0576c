#include "skin/format/SkinPackage.h"

#include <limits>

namespace {

std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
           std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
}

void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

constexpr std::size_t kHeaderSize = 16;

// The lines of the name list by the INI text's rules: CR LF, LF or CR end a line, a NUL ends
// the text, a terminator at the very end adds no line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t i = 0;
    while (i < text.size() && text[i] != '\0') {
        std::size_t end = text.find_first_of(std::string_view("\r\n\0", 3), i);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(i, end - i));
        i = end;
        if (i < text.size() && text[i] == '\r')
            ++i;
        if (i < text.size() && text[i] == '\n')
            ++i;
    }
    return lines;
}

} // namespace

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::vector<std::uint8_t> SkinStreamPackage(std::span<const std::uint8_t> stored) {
    if (stored.size() < 4)
        throw ESkinPackageError("Skin stream: shorter than its byte count");
    auto count = static_cast<std::int32_t>(ReadLe32(stored, 0));
    if (count <= 0)
        return {};
    if (static_cast<std::size_t>(count) > stored.size() - 4)
        throw ESkinPackageError("Skin stream: byte count " + std::to_string(count) +
                                " larger than the " + std::to_string(stored.size() - 4) +
                                " bytes stored");
    return {stored.begin() + 4, stored.begin() + 4 + count};
}

std::vector<std::uint8_t> MakeSkinStream(std::span<const std::uint8_t> package) {
    if (package.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw ESkinPackageError("Skin stream: package too large");
    std::vector<std::uint8_t> out;
    out.reserve(4 + package.size());
    AppendLe32(out, static_cast<std::uint32_t>(package.size()));
    out.insert(out.end(), package.begin(), package.end());
    return out;
}

std::vector<std::uint8_t> BuildUnpackedPackage(const std::vector<TSkinPackageEntry>& entries,
                                               std::int32_t version) {
    std::string names;
    for (const auto& e : entries)
        names += e.Name + "\r\n";
    std::vector<std::uint8_t> out;
    AppendLe32(out, static_cast<std::uint32_t>(version));
    AppendLe32(out, static_cast<std::uint32_t>(names.size()));
    AppendLe32(out, 0);
    AppendLe32(out, 0);
    out.insert(out.end(), names.begin(), names.end());
    for (const auto& e : entries)
        AppendLe32(out, static_cast<std::uint32_t>(e.Bytes.size()));
    for (const auto& e : entries)
        out.insert(out.end(), e.Bytes.begin(), e.Bytes.end());
    return out;
}

std::vector<std::uint8_t> BuildPackage(const std::vector<TSkinPackageEntry>& entries) {
    return LzhufPack(BuildUnpackedPackage(entries));
}

void TSkinPackage::Clear() {
    data_.clear();
    names_.clear();
    entries_.clear();
}

TSkinPackageStatus TSkinPackage::Read(std::span<const std::uint8_t> packed,
                                      std::size_t maxUnpacked) {
    return ReadUnpacked(LzhufUnpack(packed, maxUnpacked));
}

TSkinPackageStatus TSkinPackage::ReadUnpacked(std::vector<std::uint8_t> unpacked) {
    Clear();
    if (unpacked.size() < kHeaderSize)
        throw ESkinPackageError("Skin package: " + std::to_string(unpacked.size()) +
                                " bytes, too short for its header");
    if (static_cast<std::int32_t>(ReadLe32(unpacked, 0)) != kSkinPackageVersion)
        return TSkinPackageStatus::WrongVersion;

    std::size_t rest = unpacked.size() - kHeaderSize;
    std::uint32_t nameLength = ReadLe32(unpacked, 4);
    if (nameLength > rest)
        throw ESkinPackageError("Skin package: name list of " + std::to_string(nameLength) +
                                " bytes runs past the end of the data");
    std::string nameText(reinterpret_cast<const char*>(unpacked.data()) + kHeaderSize, nameLength);
    std::string lowered = LowerAscii(nameText);
    std::vector<std::string_view> lines = SplitLines(lowered);
    if (lines.size() > kSkinPackageMaxEntries)
        return TSkinPackageStatus::TooManyEntries;

    std::size_t sizesAt = kHeaderSize + nameLength;
    std::size_t k = lines.size();
    if (4 * k > unpacked.size() - sizesAt)
        throw ESkinPackageError("Skin package: the sizes of " + std::to_string(k) +
                                " entries run past the end of the data");
    std::size_t dataAt = sizesAt + 4 * k;
    std::size_t available = unpacked.size() - dataAt;
    std::size_t offset = 0;
    std::vector<std::pair<std::size_t, std::size_t>> entries;
    entries.reserve(k);
    for (std::size_t i = 0; i < k; ++i) {
        std::size_t size = ReadLe32(unpacked, sizesAt + 4 * i);
        if (size > available - offset)
            throw ESkinPackageError("Skin package: entry \"" + std::string(lines[i]) + "\" of " +
                                    std::to_string(size) + " bytes runs past the end of the data");
        entries.emplace_back(dataAt + offset, size);
        offset += size;
    }

    names_.assign(lines.begin(), lines.end());
    entries_ = std::move(entries);
    data_ = std::move(unpacked);
    return TSkinPackageStatus::Ok;
}

std::span<const std::uint8_t> TSkinPackage::Entry(std::size_t index) const {
    if (index >= entries_.size())
        return {};
    return std::span<const std::uint8_t>(data_).subspan(entries_[index].first,
                                                        entries_[index].second);
}

std::span<const std::uint8_t> TSkinPackage::EntryByName(std::string_view name) const {
    std::string wanted = LowerAscii(name);
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == wanted)
            return Entry(i);
    }
    return {};
}

std::optional<std::pair<std::string, std::span<const std::uint8_t>>>
TSkinPackage::EntryByPart(std::string_view part) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i].find(part) != std::string::npos)
            return std::make_pair(names_[i], Entry(i));
    }
    return std::nullopt;
}
