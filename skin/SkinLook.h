#pragma once

// What the painters draw with: the skin elements turned into Qt images and palettes once, when a
// painter is (re)built, so that painting never goes back to the package.

#include "skin/TSkinData.h"

#include <QColor>
#include <QImage>
#include <QMargins>
#include <QPalette>
#include <QRect>

#include <array>

class QPainter;

// One skin element as the painters use it: an image of `frames` equal sub-images side by side,
// each drawn in nine slices whose corners and edges keep their size.
struct SkinPiece {
    QImage image; // premultiplied ARGB; the transparent colour already made transparent
    int frames = 1;
    QMargins edges; // LeftWidth, TopHeight, RightWidth, BottomHeight
    bool tile = false;
    // Text colours for normal, mouse over and pressed; invalid where the skin sets none.
    std::array<QColor, 3> textColours;

    bool IsNull() const { return image.isNull() || frames < 1 || image.width() < frames; }
    QSize FrameSize() const;
    // The source rectangle of frame `index`; an index past the last frame gives frame 0.
    QRect FrameRect(int index) const;
};

// The colour that marks transparent pixels in images whose element has Trans set.
inline constexpr QRgb kSkinTransparentColour = qRgb(255, 0, 255);

// Converts a decoded bitmap for painting: premultiplied ARGB, and with `transparent` every
// pixel of kSkinTransparentColour cleared.
QImage PrepareSkinImage(const QImage& source, bool transparent);

// Draws frame `frame` of `piece` into `target`: corners unscaled, edges and centre stretched
// (or tiled when the piece tiles). `hollow` leaves the centre undrawn. Targets smaller than the
// fixed edges shrink the edges proportionally.
void DrawSkinPiece(QPainter& painter, const QRect& target, const SkinPiece& piece, int frame,
                   bool hollow = false);

struct SkinLook {
    QPalette palette;     // every wrapped window and its controls
    QPalette menuPalette; // popup menus
    SkinPiece button;     // push buttons
    SkinPiece checkBox;
    SkinPiece radioButton;
    SkinPiece groupBox;
    SkinPiece statusBar;
    SkinPiece scrollArrows; // the 23-frame scroll-bar image
    SkinPiece horzScroll;
    SkinPiece vertScroll;
    SkinPiece horzThumb;
    SkinPiece vertThumb;
    SkinPiece progress;
    SkinPiece header;
    SkinPiece menuItem;
    SkinPiece menuBackground;
    SkinPiece sunkEdge;
};

// The look of a skin: images prepared for painting and the palettes made from [Colours], on top
// of `base` (the application's palette). Control kinds missing from `controls` get no images
// and keep the base style's drawing in the skin's colours.
SkinLook MakeSkinLook(const TSkinElements& elements, const TSkinControls& controls,
                      const QPalette& base);
