#pragma once

// The style a frame or menu painter puts on the widgets it skins: the platform's Fusion style
// with the standard controls drawn from the skin's images. What the skin leaves out (an element
// without an image) keeps Fusion's drawing in the skin's colours.
//
// Frames of the images, left to right:
// - push button (5): normal, mouse over, pressed, disabled, default (the focused or default
//   button)
// - check box and radio button (CheckButtonFrame / RadioButtonFrame, usually 8): unchecked
//   normal, mouse over, pressed, disabled, then checked in the same order; with fewer than 8
//   frames: unchecked, checked, unchecked disabled, checked disabled
// - group box edge (2): enabled, disabled (only the border is drawn)
// - status bar edges (3): the bar, a panel, the size grip
// - scroll bar (23): up, down, left, right arrow, each normal, mouse over, pressed, disabled;
//   frames 16 to 22 are not used
// - horizontal and vertical scroll track (4): normal, mouse over, pressed, disabled
// - horizontal and vertical thumb (FrameCount, 3): normal, mouse over, pressed
// - progress (2): the groove, the bar
// - header section (5): normal, mouse over, pressed, disabled, sorted
// - menu item (5): normal (not drawn), selected, pressed, disabled, disabled and selected
// - menu background (1): the whole menu including its border
// - sunk edge (4): normal, mouse over, focused, disabled (frames of edits, lists and panes)

#include "skin/SkinLook.h"

#include <QProxyStyle>

#include <memory>

class TSkinData;

class SkinStyle : public QProxyStyle {
public:
    explicit SkinStyle(std::shared_ptr<const SkinLook> look);

    const SkinLook& Look() const { return *look_; }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;

private:
    bool DrawIndicator(const SkinPiece& piece, const QStyleOption* option, QPainter* painter) const;
    bool DrawScrollBar(const QStyleOptionComplex* option, QPainter* painter,
                       const QWidget* widget) const;
    bool DrawProgressContents(const QStyleOption* option, QPainter* painter) const;
    bool DrawMenuItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;

    std::shared_ptr<const SkinLook> look_;
};

// Frame indices of the push button, header section and scroll track.
enum SkinStateFrame {
    kFrameNormal = 0,
    kFrameHot = 1,
    kFramePressed = 2,
    kFrameDisabled = 3,
    kFrameDefault = 4
};

// The frame of a push button, header section or scroll track for a style state.
int SkinButtonFrame(QStyle::State state, bool isDefault);
// The frame of a check box or radio button image with `frames` frames.
int SkinIndicatorFrame(QStyle::State state, int frames);

// The style of a skin component's current elements, on top of the application's palette.
std::unique_ptr<SkinStyle> MakeSkinStyle(const TSkinData& skin);
