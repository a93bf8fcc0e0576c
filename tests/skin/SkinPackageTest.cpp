#include "skin/format/SkinPackage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string S(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<TSkinPackageEntry> SampleEntries() {
    return {{"Skin.INI", B("[TitlebarSkin]\r\nSkinName=x\r\n")},
            {"Button.bmp", B("BMbutton")},
            {"empty.bmp", {}},
            {"check.bmp", B("BMcheck")}};
}

TEST(SkinStream, CountThenBytes) {
    Bytes package = B("package-bytes");
    Bytes stored = MakeSkinStream(package);
    ASSERT_EQ(stored.size(), package.size() + 4);
    EXPECT_EQ(stored[0], package.size());
    EXPECT_EQ(SkinStreamPackage(stored), package);
}

TEST(SkinStream, CountOfZeroOrLessStoresNothing) {
    Bytes zero = {0, 0, 0, 0, 'x'};
    EXPECT_TRUE(SkinStreamPackage(zero).empty());
    Bytes negative = {0xFF, 0xFF, 0xFF, 0xFF, 'x'};
    EXPECT_TRUE(SkinStreamPackage(negative).empty());
}

TEST(SkinStream, CountBeyondTheStoredBytesIsRejected) {
    Bytes stored = MakeSkinStream(B("abc"));
    stored.pop_back();
    EXPECT_THROW(SkinStreamPackage(stored), ESkinPackageError);
    EXPECT_THROW(SkinStreamPackage(Bytes{1, 0}), ESkinPackageError);
}

TEST(SkinPackage, LayoutOfTheUnpackedPackage) {
    Bytes raw = BuildUnpackedPackage({{"A.ini", B("xy")}, {"b.bmp", B("z")}});
    std::string names = "A.ini\r\nb.bmp\r\n";
    ASSERT_EQ(raw.size(), 16 + names.size() + 8 + 3);
    EXPECT_EQ(raw[0] | raw[1] << 8, 20000);
    EXPECT_EQ(raw[4], names.size());
    EXPECT_EQ(std::string(raw.begin() + 16, raw.begin() + 16 + names.size()), names);
    EXPECT_EQ(raw[16 + names.size()], 2);
    EXPECT_EQ(raw[16 + names.size() + 4], 1);
    EXPECT_EQ(std::string(raw.end() - 3, raw.end()), "xyz");
}

TEST(SkinPackage, ReadsEntriesOfACompressedPackage) {
    TSkinPackage package;
    ASSERT_EQ(package.Read(BuildPackage(SampleEntries())), TSkinPackageStatus::Ok);
    EXPECT_EQ(package.Names(),
              (std::vector<std::string>{"skin.ini", "button.bmp", "empty.bmp", "check.bmp"}));
    EXPECT_EQ(S(package.Entry(1)), "BMbutton");
    EXPECT_EQ(S(package.Entry(3)), "BMcheck");
    EXPECT_TRUE(package.Entry(2).empty());
    EXPECT_TRUE(package.Entry(4).empty());
}

TEST(SkinPackage, LookupsByNameAreLowerCased) {
    TSkinPackage package;
    ASSERT_EQ(package.Read(BuildPackage(SampleEntries())), TSkinPackageStatus::Ok);
    EXPECT_EQ(S(package.EntryByName("BUTTON.bmp")), "BMbutton");
    EXPECT_EQ(S(package.EntryByName("button.bmp")), "BMbutton");
    EXPECT_TRUE(package.EntryByName("button").empty());
    EXPECT_TRUE(package.EntryByName("missing.bmp").empty());
}

TEST(SkinPackage, LookupByPartGivesTheFirstNameContainingIt) {
    TSkinPackage package;
    ASSERT_EQ(package.Read(BuildPackage(SampleEntries())), TSkinPackageStatus::Ok);
    auto ini = package.EntryByPart(".ini");
    ASSERT_TRUE(ini.has_value());
    EXPECT_EQ(ini->first, "skin.ini");
    EXPECT_EQ(S(ini->second), "[TitlebarSkin]\r\nSkinName=x\r\n");
    auto bmp = package.EntryByPart(".bmp");
    ASSERT_TRUE(bmp.has_value());
    EXPECT_EQ(bmp->first, "button.bmp");
    EXPECT_FALSE(package.EntryByPart(".wav").has_value());
}

TEST(SkinPackage, NameListIsSplitLikeIniText) {
    // CR LF, lone LF, lone CR; LF CR gives an empty name between; a NUL ends the list.
    std::string names = std::string("a\r\nb\nc\rd\n\re") + '\0' + "ignored";
    Bytes raw = BuildUnpackedPackage({});
    raw.resize(16);
    PutLe32(raw, 4, static_cast<std::uint32_t>(names.size()));
    raw.insert(raw.end(), names.begin(), names.end());
    for (std::uint32_t size : {1u, 1u, 1u, 1u, 0u, 1u}) {
        raw.resize(raw.size() + 4);
        PutLe32(raw, raw.size() - 4, size);
    }
    for (char c : std::string("ABCDE"))
        raw.push_back(static_cast<std::uint8_t>(c));
    TSkinPackage package;
    ASSERT_EQ(package.ReadUnpacked(raw), TSkinPackageStatus::Ok);
    EXPECT_EQ(package.Names(), (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(S(package.EntryByName("e")), "E");
}

TEST(SkinPackage, WrongVersionIsReportedToTheCaller) {
    TSkinPackage package;
    Bytes raw = BuildUnpackedPackage(SampleEntries(), 19999);
    EXPECT_EQ(package.Read(LzhufPack(raw)), TSkinPackageStatus::WrongVersion);
    EXPECT_EQ(package.Count(), 0u);
}

TEST(SkinPackage, AtMost1001Entries) {
    for (std::size_t count : {std::size_t{1001}, std::size_t{1002}}) {
        std::vector<TSkinPackageEntry> entries;
        for (std::size_t i = 0; i < count; ++i)
            entries.push_back({"e" + std::to_string(i) + ".bmp", {}});
        TSkinPackage package;
        auto status = package.Read(BuildPackage(entries));
        if (count == 1001) {
            EXPECT_EQ(status, TSkinPackageStatus::Ok);
            EXPECT_EQ(package.Count(), 1001u);
        } else {
            EXPECT_EQ(status, TSkinPackageStatus::TooManyEntries);
            EXPECT_EQ(package.Count(), 0u);
        }
    }
}

// Damaged or hostile packages: each is rejected with an error, never read out of bounds (the
// sanitizers of the test build would catch that).
struct HostileCase {
    const char* name;
    void (*damage)(Bytes& raw);
};

class SkinPackageHostile : public testing::TestWithParam<HostileCase> {};

TEST_P(SkinPackageHostile, IsRejectedWithAnError) {
    Bytes raw = BuildUnpackedPackage(SampleEntries());
    GetParam().damage(raw);
    TSkinPackage package;
    EXPECT_THROW(package.ReadUnpacked(raw), ESkinPackageError);
    EXPECT_THROW(package.Read(LzhufPack(raw)), ESkinPackageError);
    EXPECT_EQ(package.Count(), 0u);
}

constexpr std::size_t kNamesLength =
    sizeof("skin.ini\r\nbutton.bmp\r\nempty.bmp\r\ncheck.bmp\r\n") - 1;
constexpr std::size_t kSizesAt = 16 + kNamesLength;

INSTANTIATE_TEST_SUITE_P(
    Damage, SkinPackageHostile,
    testing::Values(
        HostileCase{"shorter_than_header", [](Bytes& raw) { raw.resize(15); }},
        HostileCase{"name_list_beyond_data", [](Bytes& raw) { PutLe32(raw, 4, 0x7FFFFFF0); }},
        HostileCase{
            "name_list_one_past",
            [](Bytes& raw) { PutLe32(raw, 4, static_cast<std::uint32_t>(raw.size() - 15)); }},
        HostileCase{"sizes_cut_off", [](Bytes& raw) { raw.resize(kSizesAt + 6); }},
        HostileCase{"entry_size_past_end", [](Bytes& raw) { PutLe32(raw, kSizesAt + 4, 9); }},
        HostileCase{"entry_size_huge", [](Bytes& raw) { PutLe32(raw, kSizesAt + 12, 0xFFFFFFFF); }},
        HostileCase{"sizes_that_wrap_around",
                    [](Bytes& raw) {
                        PutLe32(raw, kSizesAt, 0x80000000);
                        PutLe32(raw, kSizesAt + 4, 0x80000000);
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SkinPackage, HugeClaimedUnpackedSizeIsRejected) {
    Bytes packed = BuildPackage(SampleEntries());
    PutLe32(packed, 0, 0xFFFFFFFF);
    TSkinPackage package;
    EXPECT_THROW(package.Read(packed), ElzhException);
}

} // namespace
