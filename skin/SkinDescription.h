#pragma once

// The skin description: an INI text inside the package naming the skin's images and settings,
// read into TSkinElements. The images are Windows bitmaps taken from the package's entries.

#include "skin/SkinElements.h"

#include <QImage>

#include <string>
#include <string_view>

class TCustomIniFile;
class TSkinPackage;

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

// The colours of the application's palette (the toolkit's default palette without one).
TSystemColours PlatformSystemColours();

// A colour text: up to three decimal numbers separated by single non-digit characters, blanks
// around it trimmed. Every non-digit character closes the current component; the digits after
// the second one count only when exactly two occurred. An empty text gives `fallback`.
TColor ColourText(std::string_view text, TColor fallback);

// The entry name an image value refers to: its file-name part (after the last '/', '\\' or ':')
// when that is non-empty and ends in ".bmp" (lower case), else the empty string.
std::string ImageEntryName(std::string_view value);

// The image an image value refers to, decoded from its package entry; empty when the value is
// not a bitmap reference, the entry is missing or empty, or the bytes are no bitmap.
QImage LoadSkinImage(const TSkinPackage& package, std::string_view value);

// Reads every section and key of the description into `elements` (which it replaces), taking
// images from `package` and defaults from `system`.
void ReadDescription(const TCustomIniFile& ini, const TSkinPackage& package,
                     const TSystemColours& system, TSkinElements& elements);
