#pragma once

// The bitmaps of a skin description decoded into the images the painters draw.

#include "skin/SkinElements.h"
#include "skin/format/SkinDescription.h"

// The image a reference stands for (the band it names, when it names one); an empty image for
// a reference without a size.
QImage DecodeSkinImage(const TSkinImageRef& ref);

// The description's elements with every bitmap decoded; the package the references point into
// must still live.
TSkinElements DecodeSkinElements(const TSkinDescription& description);
