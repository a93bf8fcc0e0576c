#include "skin/format/checks/SkinFormatExercise.h"

#include "skin/format/BmpSize.h"
#include "skin/format/SkinDescriptionReader.h"
#include "skin/format/SkinPackage.h"
#include "storage/MemIniFile.h"

#include <string_view>
#include <vector>

namespace {

// Small enough that a hostile size field costs milliseconds, large enough for real skins.
constexpr std::size_t kMaxUnpacked = 1u << 17;

void ReadDescription(std::span<const std::uint8_t> text, const TSkinPackage& package) {
    TMemIniFile ini("");
    ini.SetText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    (void)ReadSkinDescription(ini, package, TSystemColours());
}

void ReadAll(const TSkinPackage& package) {
    for (std::size_t i = 0; i < package.Count(); ++i) {
        auto bytes = package.Entry(i);
        volatile std::uint8_t sink = 0;
        for (std::uint8_t b : bytes)
            sink = sink ^ b;
        (void)package.EntryByName(package.Names()[i]);
    }
    if (auto description = package.EntryByPart(".ini"))
        ReadDescription(description->second, package);
}

} // namespace

void ExerciseSkinFormat(std::span<const std::uint8_t> input) {
    try {
        TSkinPackage package;
        if (package.Read(input, kMaxUnpacked) == TSkinPackageStatus::Ok)
            ReadAll(package);
    } catch (const ElzhException&) {
    } catch (const ESkinPackageError&) {
    }
    try {
        std::vector<std::uint8_t> stored = SkinStreamPackage(input);
        TSkinPackage package;
        if (package.Read(stored, kMaxUnpacked) == TSkinPackageStatus::Ok)
            ReadAll(package);
    } catch (const ElzhException&) {
    } catch (const ESkinPackageError&) {
    }
    try {
        TSkinPackage package;
        if (package.ReadUnpacked(std::vector<std::uint8_t>(input.begin(), input.end())) ==
            TSkinPackageStatus::Ok)
            ReadAll(package);
    } catch (const ESkinPackageError&) {
    }
    ReadDescription(input, TSkinPackage());
    (void)BmpSize(input);
}
