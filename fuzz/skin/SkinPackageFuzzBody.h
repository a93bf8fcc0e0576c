#pragma once

#include <cstddef>
#include <cstdint>

// One fuzz input through the package reader: as a compressed package, as a stored SkinStream
// and as an unpacked table. Only the documented exceptions may come out of the reader; anything
// else (a crash, an out-of-bounds read, another exception) is a finding.
int FuzzSkinPackage(const std::uint8_t* data, std::size_t size);
