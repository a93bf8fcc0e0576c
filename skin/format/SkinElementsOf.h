#pragma once

// The elements of a skin, over the type that stands for an image. The description reader fills
// them with references to the package's bitmaps; the painters read them with the decoded
// images. MapImages turns one into the other. The numbers of each element live in a base of
// their own, so that MapImages copies them whole and a new number needs no change there.

#include "skin/format/SkinColour.h"

#include <optional>
#include <string>
#include <vector>

// The numbers of one skinned part: an image of `Frame` equal sub-images side by side, with fixed
// edges that are not stretched (LeftWidth, TopHeight, RightWidth, BottomHeight).
struct TSkinObjectFields {
    std::string Name;
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
};

template <class TImage> struct TDataSkinObjectOf : TSkinObjectFields { TImage Image{}; };

// An element with a second image (Tabs: Border; UpDown: GlyphImage).
template <class TImage> struct TDataSkinBorderOf : TDataSkinObjectOf<TImage> { TImage Image2{}; };

// The title-bar text settings ([Personality], [Fonts]).
struct TSkinTitleFields {
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

template <class TImage> struct TDataSkinTitleOf : TDataSkinObjectOf<TImage>, TSkinTitleFields {};

// The push button ([Buttons]) with the check-box and radio-button images. Its own frames are
// normal, hot, pressed, disabled, default.
struct TSkinButtonFields {
    int RadioButtonFrame = 0;
    int CheckButtonFrame = 0;
};

template <class TImage> struct TDataSkinButtonOf : TDataSkinObjectOf<TImage>, TSkinButtonFields {
    TImage CheckImage{};
    TImage RadioImage{};
};

// A title-bar button (one [Button...] section, or one of the three MDI buttons).
struct TSkinSysButtonFields {
    int Action = 0;
    int Align = 0;
    int Xcoord = 0;
    int Ycoord = 0;
    int Visibility = 0;
    int Visibility1 = 0;
    int CombineOp = -1;
};

template <class TImage>
struct TDataSkinSysButtonOf : TDataSkinObjectOf<TImage>, TSkinSysButtonFields {};

// The menu bar: Tile holds TileMenu; the left and right ends tile separately.
struct TSkinMenuBarFields {
    int TileLeftMenu = 1;
    int TileRightMenu = 1;
};

template <class TImage>
struct TDataSkinMenuBarOf : TDataSkinObjectOf<TImage>, TSkinMenuBarFields {};

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

// What a skin description yields besides its elements.
struct TSkinWideFields {
    std::string SkinName;
    TSkinColours Colours;
    std::vector<TControlColour> ControlColours;
    // The colour of the solid background brush (the ButtonFace colour).
    TColor BackgroundColour = 0;
};

// Everything a skin description yields. An element whose image key is empty or missing is
// absent (std::nullopt).
template <class TImage> struct TSkinElementsOf : TSkinWideFields {
    // Window border parts ([Personality] Left, Right, Top, Bottom).
    std::optional<TDataSkinObjectOf<TImage>> Left;
    std::optional<TDataSkinObjectOf<TImage>> Right;
    std::optional<TDataSkinObjectOf<TImage>> Top;
    std::optional<TDataSkinObjectOf<TImage>> Bottom;

    // Title-bar buttons in section order, then the three MDI buttons (Action 7, 8, 9).
    std::vector<TDataSkinSysButtonOf<TImage>> SysButtons;

    std::optional<TDataSkinButtonOf<TImage>> Button;
    std::optional<TDataSkinTitleOf<TImage>> Title;
    std::optional<TDataSkinObjectOf<TImage>> Progress;
    std::optional<TDataSkinMenuBarOf<TImage>> MenuBar;

    std::optional<TDataSkinObjectOf<TImage>> GroupBoxEdge;
    std::optional<TDataSkinObjectOf<TImage>> Toolbars;
    std::optional<TDataSkinBorderOf<TImage>> Tabs;
    std::optional<TDataSkinObjectOf<TImage>> StatusBarEdges;
    std::optional<TDataSkinObjectOf<TImage>> ComboButton;
    std::optional<TDataSkinObjectOf<TImage>> SunkEdge;
    std::optional<TDataSkinObjectOf<TImage>> ExtraImages;
    std::optional<TDataSkinObjectOf<TImage>> Headerbar;
    std::optional<TDataSkinObjectOf<TImage>> MenuItem;
    std::optional<TDataSkinObjectOf<TImage>> MenuBackground;
    std::optional<TDataSkinObjectOf<TImage>> Scrollbar;
    std::optional<TDataSkinObjectOf<TImage>> HorzScroll;
    std::optional<TDataSkinObjectOf<TImage>> VertScroll;
    std::optional<TDataSkinObjectOf<TImage>> HorzScrollThumb;
    std::optional<TDataSkinObjectOf<TImage>> VertScrollThumb;
    std::optional<TDataSkinBorderOf<TImage>> UpDownHorz;
    std::optional<TDataSkinBorderOf<TImage>> UpDownVert;
};

namespace skin_elements_detail {

template <class To, class From, class Convert>
TDataSkinObjectOf<To> Map(const TDataSkinObjectOf<From>& from, Convert& convert) {
    TDataSkinObjectOf<To> to;
    static_cast<TSkinObjectFields&>(to) = from;
    to.Image = convert(from.Image);
    return to;
}

template <class To, class From, class Convert>
TDataSkinBorderOf<To> Map(const TDataSkinBorderOf<From>& from, Convert& convert) {
    TDataSkinBorderOf<To> to;
    static_cast<TDataSkinObjectOf<To>&>(to) =
        Map<To>(static_cast<const TDataSkinObjectOf<From>&>(from), convert);
    to.Image2 = convert(from.Image2);
    return to;
}

// The element with its images converted and its own numbers (`Fields`) copied.
template <class To, template <class> class Element, class Fields, class From, class Convert>
Element<To> MapWithFields(const Element<From>& from, Convert& convert) {
    Element<To> to;
    static_cast<TDataSkinObjectOf<To>&>(to) =
        Map<To>(static_cast<const TDataSkinObjectOf<From>&>(from), convert);
    static_cast<Fields&>(to) = from;
    return to;
}

template <class To, class From, class Convert>
TDataSkinButtonOf<To> Map(const TDataSkinButtonOf<From>& from, Convert& convert) {
    auto to = MapWithFields<To, TDataSkinButtonOf, TSkinButtonFields>(from, convert);
    to.CheckImage = convert(from.CheckImage);
    to.RadioImage = convert(from.RadioImage);
    return to;
}

template <class To, class From, class Convert>
TDataSkinTitleOf<To> Map(const TDataSkinTitleOf<From>& from, Convert& convert) {
    return MapWithFields<To, TDataSkinTitleOf, TSkinTitleFields>(from, convert);
}

template <class To, class From, class Convert>
TDataSkinSysButtonOf<To> Map(const TDataSkinSysButtonOf<From>& from, Convert& convert) {
    return MapWithFields<To, TDataSkinSysButtonOf, TSkinSysButtonFields>(from, convert);
}

template <class To, class From, class Convert>
TDataSkinMenuBarOf<To> Map(const TDataSkinMenuBarOf<From>& from, Convert& convert) {
    return MapWithFields<To, TDataSkinMenuBarOf, TSkinMenuBarFields>(from, convert);
}

template <class To, class Element, class Convert>
auto Map(const std::optional<Element>& from, Convert& convert)
    -> std::optional<decltype(Map<To>(*from, convert))> {
    if (!from)
        return std::nullopt;
    return Map<To>(*from, convert);
}

} // namespace skin_elements_detail

// The same elements with every image turned into convert(image).
template <class To, class From, class Convert>
TSkinElementsOf<To> MapImages(const TSkinElementsOf<From>& from, Convert convert) {
    using skin_elements_detail::Map;
    TSkinElementsOf<To> to;
    static_cast<TSkinWideFields&>(to) = from;
    to.Left = Map<To>(from.Left, convert);
    to.Right = Map<To>(from.Right, convert);
    to.Top = Map<To>(from.Top, convert);
    to.Bottom = Map<To>(from.Bottom, convert);
    for (const auto& button : from.SysButtons)
        to.SysButtons.push_back(Map<To>(button, convert));
    to.Button = Map<To>(from.Button, convert);
    to.Title = Map<To>(from.Title, convert);
    to.Progress = Map<To>(from.Progress, convert);
    to.MenuBar = Map<To>(from.MenuBar, convert);
    to.GroupBoxEdge = Map<To>(from.GroupBoxEdge, convert);
    to.Toolbars = Map<To>(from.Toolbars, convert);
    to.Tabs = Map<To>(from.Tabs, convert);
    to.StatusBarEdges = Map<To>(from.StatusBarEdges, convert);
    to.ComboButton = Map<To>(from.ComboButton, convert);
    to.SunkEdge = Map<To>(from.SunkEdge, convert);
    to.ExtraImages = Map<To>(from.ExtraImages, convert);
    to.Headerbar = Map<To>(from.Headerbar, convert);
    to.MenuItem = Map<To>(from.MenuItem, convert);
    to.MenuBackground = Map<To>(from.MenuBackground, convert);
    to.Scrollbar = Map<To>(from.Scrollbar, convert);
    to.HorzScroll = Map<To>(from.HorzScroll, convert);
    to.VertScroll = Map<To>(from.VertScroll, convert);
    to.HorzScrollThumb = Map<To>(from.HorzScrollThumb, convert);
    to.VertScrollThumb = Map<To>(from.VertScrollThumb, convert);
    to.UpDownHorz = Map<To>(from.UpDownHorz, convert);
    to.UpDownVert = Map<To>(from.UpDownVert, convert);
    return to;
}
