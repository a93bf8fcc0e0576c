#include "SkinPackageFuzzBody.h"

#include "skin/SkinPackage.h"

#include <span>
#include <vector>

namespace {

// Small enough that a hostile size field costs milliseconds, large enough for real skins.
constexpr std::size_t kFuzzMaxUnpacked = 1u << 17;

void ReadAll(const TSkinPackage& package) {
    for (std::size_t i = 0; i < package.Count(); ++i) {
        auto bytes = package.Entry(i);
        volatile std::uint8_t sink = 0;
        for (std::uint8_t b : bytes)
            sink = sink ^ b;
        (void)package.EntryByName(package.Names()[i]);
    }
    (void)package.EntryByPart(".ini");
}

} // namespace

int FuzzSkinPackage(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> input(data, size);
    try {
        TSkinPackage package;
        if (package.Read(input, kFuzzMaxUnpacked) == TSkinPackageStatus::Ok)
            ReadAll(package);
    } catch (const ElzhException&) {
    } catch (const ESkinPackageError&) {
    }
    try {
        std::vector<std::uint8_t> stored = SkinStreamPackage(input);
        TSkinPackage package;
        if (package.Read(stored, kFuzzMaxUnpacked) == TSkinPackageStatus::Ok)
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
    return 0;
}
