#pragma once

// Reading a skin description: the INI text inside the package that names the skin's bitmaps
// and settings. Works on the INI document and the package only; no bitmap is decoded.

#include "skin/format/SkinDescription.h"

#include <string>
#include <string_view>

class TCustomIniFile;
class TSkinPackage;

// A colour text: up to three decimal numbers separated by single non-digit characters, blanks
// around it trimmed. Every non-digit character closes the current component; the digits after
// the second one count only when exactly two occurred. An empty text gives `fallback`.
TColor ColourText(std::string_view text, TColor fallback);

// The entry name an image value refers to: its file-name part (after the last '/', '\\' or ':')
// when that is non-empty and ends in ".bmp" (lower case), else the empty string.
std::string ImageEntryName(std::string_view value);

// The bitmap an image value refers to in `package`: its entry, bytes and size (see
// TSkinImageRef). The bytes stay valid while `package` lives.
TSkinImageRef SkinImageRef(const TSkinPackage& package, std::string_view value);

// Reads every section and key of the description, taking bitmaps from `package` (which must
// outlive the references in the result) and defaults from `system`.
TSkinDescription ReadSkinDescription(const TCustomIniFile& ini, const TSkinPackage& package,
                                     const TSystemColours& system);
