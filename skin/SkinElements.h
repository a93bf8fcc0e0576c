#pragma once

// The in-memory skin: the elements read from a skin description and its bitmaps. The painters
// read these; only the description reader writes them.

#include <QColor>
#include <QImage>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A colour value: R + 256*G + 65536*B, each component 0..255.
using TColor = std::int32_t;

// "No colour" for the numeric colours (NormalColour ...), which are -1 when unset.
constexpr TColor clNone = -1;

inline TColor RGBColor(int r, int g, int b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}

inline QColor ToQColor(TColor colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

// One skinned part: an image of `Frame` equal sub-images side by side, with fixed edges that are
// not stretched (LeftWidth, TopHeight, RightWidth, BottomHeight).
struct TDataSkinObject {
    std::string Name;
    QImage Image;
    int LeftWidth = 0;
    int TopHeight = 0;
    int RightWidth = 0;
    int BottomHeight = 0;
    int Trans = 0;
    // Tiling or stretching of the middle part (the section's Tile, or Stretch for borders).
    int Tile = 0;
    int Frame = 1;
    // Colours as numbers, clNone when unset.
    int NormalColour = clNone;
    int MouseOverColour = clNone;
    int PressedColour = clNone;
    // Colours as colour values (text colours of the states).
    TColor NormalColour2 = 0;
    TColor MouseOverColour2 = 0;
    TColor PressedColour2 = 0;

    // The width of one frame (0 for an empty image).
    int FrameWidth() const { return Frame > 0 ? Image.width() / Frame : 0; }
    // Sub-image `index` (0-based), or an empty image when out of range.
    QImage FrameImage(int index) const {
        if (Image.isNull() || index < 0 || index >= Frame || FrameWidth() == 0)
            return QImage();
        return Image.copy(index * FrameWidth(), 0, FrameWidth(), Image.height());
    }
};

// An element with a second image (Tabs: Border; UpDown: GlyphImage).
struct TDataSkinBorder : TDataSkinObject {
    QImage Image2;
};

// The title-bar text settings ([Personality], [Fonts]).
struct TDataSkinTitle : TDataSkinObject {
    int TextShift = 0;
    int TextShiftVert = 0;
    int TextRightClip = 0;
    int TextAlignment = 0;
    int Textbackground = 0;
    int TXTBackleft = 0;
    int TXTBackRight = 0;
    int FontHeight = 14;
    std::optional<TColor> ActiveText;
    std::optional<TColor> InActiveText;
};

// The push button ([Buttons]) with the check-box and radio-button images. Its own frames are
// normal, hot, pressed, disabled, default.
struct TDataSkinButton : TDataSkinObject {
    QImage CheckImage;
    QImage RadioImage;
    int RadioButtonFrame = 0;
    int CheckButtonFrame = 0;
};

// A title-bar button (one [Button...] section, or one of the three MDI buttons).
struct TDataSkinSysButton : TDataSkinObject {
    int Action = 0;
    int Align = 0;
    int Xcoord = 0;
    int Ycoord = 0;
    int Visibility = 0;
    int Visibility1 = 0;
    int CombineOp = -1;
};

// The menu bar: Tile holds TileMenu; the left and right ends tile separately.
struct TDataSkinMenuBar : TDataSkinObject {
    int TileLeftMenu = 1;
    int TileRightMenu = 1;
};

// [Colours].
struct TSkinColours {
    TColor WindowText = 0;
    TColor ButtonFace = 0;
    TColor Scrollbar = 0;
    TColor HilightText = 0;
    TColor Hilight = 0;
    TColor Menubar = 0;
    TColor Menu = 0;
    TColor MenuText = 0;
    TColor ButtonText = 0;
    TColor ButtonHilight = 0;
    TColor Buttonlight = 0;
    TColor ButtonShadow = 0;
    TColor ButtonDkShadow = 0;
    TColor MenuBarText = 0;
    TColor TitleTextActive = 0;
    TColor TitleTextInactive = 0;
};

// One per-control colour: a [COLOUR...] section and its `color`.
struct TControlColour {
    std::string Section;
    TColor Color = 0;
};

// Everything a skin description yields. An element whose image key is empty or missing is
// absent (std::nullopt).
struct TSkinElements {
    std::string SkinName;

    // Window border parts ([Personality] Left, Right, Top, Bottom).
    std::optional<TDataSkinObject> Left;
    std::optional<TDataSkinObject> Right;
    std::optional<TDataSkinObject> Top;
    std::optional<TDataSkinObject> Bottom;

    TSkinColours Colours;
    std::vector<TControlColour> ControlColours;

    // Title-bar buttons in section order, then the three MDI buttons (Action 7, 8, 9).
    std::vector<TDataSkinSysButton> SysButtons;

    std::optional<TDataSkinButton> Button;
    std::optional<TDataSkinTitle> Title;
    std::optional<TDataSkinObject> Progress;
    std::optional<TDataSkinMenuBar> MenuBar;

    std::optional<TDataSkinObject> GroupBoxEdge;
    std::optional<TDataSkinObject> Toolbars;
    std::optional<TDataSkinBorder> Tabs;
    std::optional<TDataSkinObject> StatusBarEdges;
    std::optional<TDataSkinObject> ComboButton;
    std::optional<TDataSkinObject> SunkEdge;
    std::optional<TDataSkinObject> ExtraImages;
    std::optional<TDataSkinObject> Headerbar;
    std::optional<TDataSkinObject> MenuItem;
    std::optional<TDataSkinObject> MenuBackground;
    std::optional<TDataSkinObject> Scrollbar;
    std::optional<TDataSkinObject> HorzScroll;
    std::optional<TDataSkinObject> VertScroll;
    std::optional<TDataSkinObject> HorzScrollThumb;
    std::optional<TDataSkinObject> VertScrollThumb;
    std::optional<TDataSkinBorder> UpDownHorz;
    std::optional<TDataSkinBorder> UpDownVert;

    // The colour of the solid background brush (the ButtonFace colour).
    TColor BackgroundColour = 0;
};
