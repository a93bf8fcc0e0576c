#pragma once

// The in-memory skin the painters read: the elements of a skin description with its bitmaps
// decoded. Only DecodeSkinElements (skin/SkinImages.h) makes them.

#include "skin/format/SkinElementsOf.h"

#include <QColor>
#include <QImage>

using TDataSkinObject = TDataSkinObjectOf<QImage>;
using TDataSkinBorder = TDataSkinBorderOf<QImage>;
using TDataSkinTitle = TDataSkinTitleOf<QImage>;
using TDataSkinButton = TDataSkinButtonOf<QImage>;
using TDataSkinSysButton = TDataSkinSysButtonOf<QImage>;
using TDataSkinMenuBar = TDataSkinMenuBarOf<QImage>;
using TSkinElements = TSkinElementsOf<QImage>;

inline QColor ToQColor(TColor colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}
