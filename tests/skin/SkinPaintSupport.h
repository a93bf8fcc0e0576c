#pragma once

// A small skin whose every element has distinct, flat colours per frame, so a test can tell
// from one pixel which image and which frame was drawn.

#include "skin/SkinLook.h"

#include <QColor>
#include <QImage>

#include <cstdint>
#include <vector>

namespace skintest {

// Frames of `frameSize` side by side; each frame has an edge of `edge` pixels in
// EdgeColour(seed, frame) around a centre in CentreColour(seed, frame).
QImage FramedImage(int seed, int frames, QSize frameSize, int edge);
QColor EdgeColour(int seed, int frame);
QColor CentreColour(int seed, int frame);

// Seeds of the test skin's images.
enum Seed {
    kButton = 1,
    kCheck,
    kRadio,
    kGroupBox,
    kStatusBar,
    kHorzScroll,
    kVertScroll,
    kHorzThumb,
    kVertThumb,
    kArrows,
    kProgress,
    kHeader,
    kMenuItem,
    kMenuBackground
};

inline constexpr int kEdge = 3;
// The button text colour of the normal state in the test skin.
inline const QColor kButtonText(10, 20, 30);
// The test skin's [Colours] ButtonFace and Menu.
inline const QColor kButtonFace(200, 190, 180);
inline const QColor kMenuColour(230, 220, 210);

// The test skin as the painters see it.
SkinLook TestLook();
// The same skin as a stored SkinStream property (count + package with description and bitmaps).
std::vector<std::uint8_t> TestSkinStream();

} // namespace skintest
