#pragma once

// The artwork as desktop icons: PNG images at the sizes of the hicolor icon theme and one
// scalable SVG.

#include "Artwork.h"

#include <QImage>
#include <QString>

#include <string>
#include <vector>

inline constexpr int kHicolorSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The picture scaled to size x size (ARGB, not premultiplied). Every pixel is the exact average
// of the grid cells it covers, so the icon keeps the artwork's colours and coverage at every size.
QImage Scaled(const Picture& picture, int size);

// The boxes as an SVG document on a 32 x 32 view box, one rectangle each, back to front.
std::string Svg(const std::vector<Box>& boxes);

// Writes <folder>/<N>x<N>/apps/<name>.png for every size and <folder>/scalable/apps/<name>.svg.
// Returns false after a message on standard error when a file cannot be written.
bool WriteHicolor(const QString& folder, const QString& name);
