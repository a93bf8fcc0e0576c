#pragma once

// The skin description as read from a package: the skin's elements with references to the
// package's bitmaps in place of images. Decoding the bitmaps is left to whoever paints.

#include "skin/format/BmpSize.h"
#include "skin/format/SkinColour.h"
#include "skin/format/SkinElementsOf.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// A bitmap an image value of the description refers to.
struct TSkinImageRef {
    // The package entry the value names (ImageEntryName); empty when it names no bitmap.
    std::string Entry;
    // That entry's bytes inside the package, valid while the package lives; empty when the
    // package holds no such entry.
    std::span<const std::uint8_t> Bytes;
    // The size the bytes decode to; none when they are no bitmap the decoder reads (BmpSize).
    // Only a reference with a size stands for an image.
    std::optional<TBmpSize> Size;
    // A band of the bitmap's columns, [CutX, CutX + CutWidth), over its whole height; a
    // CutWidth of 0 takes the whole bitmap.
    int CutX = 0;
    int CutWidth = 0;
};

using TSkinDescription = TSkinElementsOf<TSkinImageRef>;

// The platform's colours that stand in for keys the description leaves out.
struct TSystemColours {
    TColor WindowText = 0;
    TColor ButtonFace = 0;
    TColor Scrollbar = 0;
    TColor HighlightText = 0;
    TColor Highlight = 0;
    TColor Menu = 0;
    TColor MenuText = 0;
    TColor ButtonText = 0;
    TColor ButtonHighlight = 0;
    TColor ButtonShadow = 0;
    TColor CaptionText = 0;
    TColor InactiveCaptionText = 0;
};
