#include "skin/format/SkinDescriptionReader.h"

#include "skin/format/SkinPackage.h"
#include "storage/CustomIniFile.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace {

using TObject = TDataSkinObjectOf<TSkinImageRef>;
using TBorder = TDataSkinBorderOf<TSkinImageRef>;
using TSysButton = TDataSkinSysButtonOf<TSkinImageRef>;

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Digits as a number, or 0 when they do not fit a 32-bit integer (or there are none).
int RunValue(std::string_view digits) {
    std::int64_t v = 0;
    for (char c : digits) {
        v = v * 10 + (c - '0');
        if (v > INT32_MAX)
            return 0;
    }
    return static_cast<int>(v);
}

class Reader {
public:
    Reader(const TCustomIniFile& ini, const TSkinPackage& package) : ini_(ini), package_(package) {}

    std::string Str(const std::string& section, const std::string& key,
                    const std::string& fallback = "") const {
        return ini_.GetStr(section, key, fallback);
    }
    int Int(const std::string& section, const std::string& key, int fallback) const {
        return ini_.GetInt(section, key, fallback);
    }
    TColor Colour(const std::string& section, const std::string& key, TColor fallback) const {
        return ColourText(Str(section, key), fallback);
    }
    TSkinImageRef Image(const std::string& section, const std::string& key) const {
        return SkinImageRef(package_, Str(section, key));
    }
    // An element's image key: empty or missing means the element is absent.
    bool HasImageKey(const std::string& section, const std::string& key) const {
        return !Str(section, key).empty();
    }

private:
    const TCustomIniFile& ini_;
    const TSkinPackage& package_;
};

// The fixed edges of an element's image and its transparency, from its own section.
void ReadEdges(const Reader& in, const std::string& s, TSkinObjectFields& e) {
    e.LeftWidth = in.Int(s, "LeftWidth", 0);
    e.RightWidth = in.Int(s, "RightWidth", 0);
    e.TopHeight = in.Int(s, "TopHeight", 0);
    e.BottomHeight = in.Int(s, "BottomHeight", 0);
    e.Trans = in.Int(s, "Trans", 0);
}

// The colours of an element's states: as numbers, and as colour values that default to the
// button text colour.
void ReadStateColours(const Reader& in, const std::string& s, TColor buttonText,
                      TSkinObjectFields& e) {
    e.NormalColour = in.Int(s, "NormalColour", clNone);
    e.MouseOverColour = in.Int(s, "MouseOverColour", clNone);
    e.PressedColour = in.Int(s, "PressedColour", clNone);
    e.NormalColour2 = in.Colour(s, "NormalColour2", buttonText);
    e.MouseOverColour2 = in.Colour(s, "MouseOverColour2", buttonText);
    e.PressedColour2 = in.Colour(s, "PressedColour2", buttonText);
}

// One window border part of [Personality]: its keys carry the part's name.
std::optional<TObject> ReadBorderPart(const Reader& in, const std::string& part, bool vertical) {
    const std::string s = "Personality";
    if (!in.HasImageKey(s, part))
        return std::nullopt;
    TObject e;
    e.Name = part;
    e.Image = in.Image(s, part);
    int first = in.Int(s, part + "TopHeight", 0);
    int second = in.Int(s, part + "BotHeight", 0);
    if (vertical) {
        e.TopHeight = first;
        e.BottomHeight = second;
    } else {
        e.LeftWidth = first;
        e.RightWidth = second;
    }
    e.Frame = in.Int(s, part + "Frame", 1);
    e.Tile = in.Int(s, part + "Stretch", 1);
    e.Trans = in.Int(s, part + "Trans", 1);
    return e;
}

TSkinColours ReadColours(const Reader& in, const TSystemColours& sys) {
    const std::string s = "Colours";
    TSkinColours c;
    c.WindowText = in.Colour(s, "WindowText", sys.WindowText);
    c.ButtonFace = in.Colour(s, "ButtonFace", sys.ButtonFace);
    c.Scrollbar = in.Colour(s, "Scrollbar", sys.Scrollbar);
    c.HilightText = in.Colour(s, "HilightText", sys.HighlightText);
    c.Hilight = in.Colour(s, "Hilight", sys.Highlight);
    c.Menubar = in.Colour(s, "Menubar", c.ButtonFace);
    c.Menu = in.Colour(s, "Menu", sys.Menu);
    // Without a MenuText key the ButtonFace text stands in for it.
    c.MenuText = ColourText(in.Str(s, "MenuText", in.Str(s, "ButtonFace")), sys.MenuText);
    c.ButtonText = in.Colour(s, "ButtonText", sys.ButtonText);
    c.ButtonHilight = in.Colour(s, "ButtonHilight", sys.ButtonHighlight);
    c.Buttonlight = in.Colour(s, "Buttonlight", sys.ButtonHighlight);
    c.ButtonShadow = in.Colour(s, "ButtonShadow", sys.ButtonShadow);
    c.ButtonDkShadow = in.Colour(s, "ButtonDkShadow", sys.ButtonShadow);
    c.MenuBarText = in.Colour(s, "MenuBarText", sys.Menu);
    // The inactive title text is read from the same key as the active one; skins carry one
    // title text colour.
    c.TitleTextActive = in.Colour(s, "TitleTextActive", sys.CaptionText);
    c.TitleTextInactive = in.Colour(s, "TitleTextActive", sys.InactiveCaptionText);
    return c;
}

TSysButton ReadSysButton(const Reader& in, const std::string& section) {
    TSysButton b;
    b.Name = Upper(section);
    b.Action = in.Int(section, "Action", 0);
    b.Align = in.Int(section, "Align", 0);
    b.Xcoord = in.Int(section, "Xcoord", 0);
    b.Ycoord = in.Int(section, "Ycoord", 0);
    b.Visibility = in.Int(section, "Visibility", 0);
    b.Visibility1 = in.Int(section, "Visibility1", 0);
    b.CombineOp = in.Int(section, "CombineOp", -1);
    b.Frame = in.Int(section, "frame", 0);
    b.Image = in.Image(section, "ButtonImage");
    if (b.Frame != 0)
        return b;
    // Without a frame count: six, or three for an image at most 3.8 times as wide as high
    // unless the action is negative.
    b.Frame = 6;
    if (const std::optional<TBmpSize>& size = b.Image.Size) {
        double ratio = double(size->Width) / double(size->Height);
        b.Frame = ratio <= 3.8 ? 3 : 6;
        if (b.Action < 0)
            b.Frame = 6;
    }
    if (b.Action == 3 || b.Action == 11)
        b.Image = TSkinImageRef();
    return b;
}

// The three MDI buttons, cut from one image of twelve columns: four frames for each.
void ReadMdiButtons(const Reader& in, std::vector<TSysButton>& out) {
    const TSkinImageRef all = in.Image("MDICONTROLS", "Image");
    const int w = all.Size ? all.Size->Width / 12 : 0;
    for (int j = 0; j < 3; ++j) {
        TSysButton b;
        b.Name = "MDICONTROLS" + std::to_string(j + 1);
        b.Action = 7 + j;
        b.Align = 100;
        b.Visibility = 100;
        b.Visibility1 = 100;
        b.Frame = 4;
        b.Xcoord = (w + 4) * (3 - j);
        if (all.Size && w > 0) {
            b.Image = all;
            b.Image.CutX = 4 * w * j;
            b.Image.CutWidth = 4 * w;
        }
        out.push_back(std::move(b));
    }
}

// The frame count of a check or radio image of unknown frames: its width over the usual frame
// width (13 for small images, 16 otherwise), at least 4.
int GlyphFrames(const TSkinImageRef& image) {
    const TBmpSize size = image.Size.value_or(TBmpSize{});
    int frameWidth = size.Height < 16 ? 13 : 16;
    return std::max(size.Width / frameWidth, 4);
}

std::optional<TDataSkinButtonOf<TSkinImageRef>> ReadButtons(const Reader& in, TColor buttonText) {
    const std::string s = "Buttons";
    if (!in.HasImageKey(s, "Bitmap"))
        return std::nullopt;
    TDataSkinButtonOf<TSkinImageRef> b;
    b.Name = s;
    // The push button is always stretched: the section's Tile is not read.
    ReadEdges(in, s, b);
    ReadStateColours(in, s, buttonText, b);
    b.Image = in.Image(s, "Bitmap");
    b.CheckImage = in.Image(s, "CheckButton");
    b.RadioImage = in.Image(s, "RadioButton");
    b.RadioButtonFrame = in.Int(s, "RadioButtonFrame", 0);
    b.CheckButtonFrame = in.Int(s, "CheckButtonFrame", 0);
    b.Frame = 5;
    if (b.RadioButtonFrame == 0)
        b.RadioButtonFrame = GlyphFrames(b.RadioImage);
    if (b.CheckButtonFrame == 0)
        b.CheckButtonFrame = GlyphFrames(b.CheckImage);
    return b;
}

std::optional<TColor> ColourByKeys(const Reader& in, const std::string& section,
                                   const std::string& name) {
    int r = in.Int(section, name + "R", -1);
    int g = in.Int(section, name + "G", -1);
    int b = in.Int(section, name + "B", -1);
    if (r < 0 || g < 0 || b < 0)
        return std::nullopt;
    return RGBColor(r, g, b);
}

std::optional<TDataSkinTitleOf<TSkinImageRef>> ReadTitle(const Reader& in) {
    const std::string s = "Personality";
    if (!in.HasImageKey(s, "TextBack"))
        return std::nullopt;
    TDataSkinTitleOf<TSkinImageRef> t;
    t.Name = "Title";
    t.Image = in.Image(s, "TextBack");
    t.TextShift = in.Int(s, "TextShift", 0);
    t.TextShiftVert = in.Int(s, "TextShiftVert", 0);
    t.TextRightClip = in.Int(s, "TextRightClip", 0);
    t.TextAlignment = in.Int(s, "TextAlignment", 0);
    t.Textbackground = in.Int(s, "Textbackground", 0);
    t.TXTBackleft = in.Int(s, "TXTBackleft", 0);
    t.TXTBackRight = in.Int(s, "TXTBackRight", 0);
    t.FontHeight = in.Int("Fonts", "FontHeight", 14);
    t.ActiveText = ColourByKeys(in, s, "ActiveText");
    t.InActiveText = ColourByKeys(in, s, "InActiveText");
    t.Frame = 2;
    return t;
}

std::optional<TObject> ReadProgress(const Reader& in) {
    const std::string s = "Progress";
    if (!in.HasImageKey(s, "Bitmap"))
        return std::nullopt;
    TObject p;
    p.Name = s;
    p.Image = in.Image(s, "Bitmap");
    ReadEdges(in, s, p);
    p.Tile = in.Int(s, "Tile", 0);
    p.Frame = 2;
    return p;
}

std::optional<TDataSkinMenuBarOf<TSkinImageRef>> ReadMenuBar(const Reader& in) {
    const std::string s = "Personality";
    if (!in.HasImageKey(s, "menuBar"))
        return std::nullopt;
    TDataSkinMenuBarOf<TSkinImageRef> m;
    m.Name = "MenuBar";
    m.Image = in.Image(s, "menuBar");
    m.Tile = in.Int(s, "TileMenu", 0);
    m.TileLeftMenu = in.Int(s, "TileLeftMenu", 1);
    m.TileRightMenu = in.Int(s, "TileRightMenu", 1);
    m.Frame = 2;
    return m;
}

// An element of its own section with its image under "Image" (and, for the elements with a
// second image, under `secondImageKey`). A frame count of 0 means "from the section's
// FrameCount".
template <class Element>
std::optional<Element> ReadElement(const Reader& in, const std::string& s, TColor buttonText,
                                   int frames, const char* secondImageKey = nullptr) {
    if (!in.HasImageKey(s, "Image"))
        return std::nullopt;
    Element e;
    e.Name = s;
    e.Image = in.Image(s, "Image");
    ReadEdges(in, s, e);
    e.Tile = in.Int(s, "Tile", 0);
    ReadStateColours(in, s, buttonText, e);
    e.Frame = frames > 0 ? frames : in.Int(s, "FrameCount", 3);
    if constexpr (std::is_same_v<Element, TBorder>) {
        if (secondImageKey)
            e.Image2 = in.Image(s, secondImageKey);
    }
    return e;
}

} // namespace

TColor ColourText(std::string_view text, TColor fallback) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return fallback;

    int parts[3] = {0, 0, 0};
    int separators = 0;
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            continue;
        if (separators < 3)
            parts[separators] = RunValue(text.substr(runStart, i - runStart));
        ++separators;
        runStart = i + 1;
    }
    if (separators == 2)
        parts[2] = RunValue(text.substr(runStart));
    return RGBColor(parts[0] % 256, parts[1] % 256, parts[2] % 256);
}

std::string ImageEntryName(std::string_view value) {
    std::size_t cut = value.find_last_of("/\\:");
    std::string_view name = cut == std::string_view::npos ? value : value.substr(cut + 1);
    if (name.empty())
        return {};
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.substr(dot) != ".bmp")
        return {};
    return std::string(name);
}

TSkinImageRef SkinImageRef(const TSkinPackage& package, std::string_view value) {
    TSkinImageRef ref;
    ref.Entry = ImageEntryName(value);
    if (ref.Entry.empty())
        return ref;
    ref.Bytes = package.EntryByName(ref.Entry);
    ref.Size = BmpSize(ref.Bytes);
    return ref;
}

TSkinDescription ReadSkinDescription(const TCustomIniFile& ini, const TSkinPackage& package,
                                     const TSystemColours& system) {
    Reader in(ini, package);
    TSkinDescription e;

    e.SkinName = in.Str("TitlebarSkin", "SkinName");

    e.Left = ReadBorderPart(in, "Left", true);
    e.Right = ReadBorderPart(in, "Right", true);
    e.Top = ReadBorderPart(in, "Top", false);
    e.Bottom = ReadBorderPart(in, "Bottom", false);

    e.Colours = ReadColours(in, system);

    TStringList sections;
    ini.GetSectionNames(sections);
    for (const auto& item : sections) {
        std::string upper = Upper(item.text);
        if (StartsWith(upper, "COLOUR") && upper != "COLOURS")
            e.ControlColours.push_back(
                {item.text, in.Colour(item.text, "color", system.WindowText)});
    }
    for (const auto& item : sections) {
        std::string upper = Upper(item.text);
        if (StartsWith(upper, "BUTTON") && upper != "BUTTONS" && upper != "BUTTON.RADIO" &&
            upper != "BUTTON.CHECKBOX")
            e.SysButtons.push_back(ReadSysButton(in, item.text));
    }
    ReadMdiButtons(in, e.SysButtons);

    const TColor text = e.Colours.ButtonText;
    e.Button = ReadButtons(in, text);
    e.Title = ReadTitle(in);
    e.Progress = ReadProgress(in);
    e.MenuBar = ReadMenuBar(in);

    e.GroupBoxEdge = ReadElement<TObject>(in, "GroupBoxEdge", text, 2);
    e.Toolbars = ReadElement<TObject>(in, "Toolbars", text, 5);
    e.Tabs = ReadElement<TBorder>(in, "Tabs", text, 5, "Border");
    e.StatusBarEdges = ReadElement<TObject>(in, "StatusBarEdges", text, 3);
    e.ComboButton = ReadElement<TObject>(in, "ComboButton", text, 4);
    e.SunkEdge = ReadElement<TObject>(in, "SunkEdge", text, 4);
    e.ExtraImages = ReadElement<TObject>(in, "ExtraImages", text, 5);
    e.Headerbar = ReadElement<TObject>(in, "Headerbar", text, 5);
    e.MenuItem = ReadElement<TObject>(in, "MenuItem", text, 5);
    e.MenuBackground = ReadElement<TObject>(in, "MenuBackground", text, 1);
    e.Scrollbar = ReadElement<TObject>(in, "Scrollbar", text, 23);
    e.HorzScroll = ReadElement<TObject>(in, "HorzScroll", text, 4);
    e.VertScroll = ReadElement<TObject>(in, "VertScroll", text, 4);
    e.HorzScrollThumb = ReadElement<TObject>(in, "HorzScrollThumb", text, 0);
    e.VertScrollThumb = ReadElement<TObject>(in, "VertScrollThumb", text, 0);
    e.UpDownHorz = ReadElement<TBorder>(in, "UpDown.Horz", text, 8, "GlyphImage");
    e.UpDownVert = ReadElement<TBorder>(in, "UpDown.Vert", text, 8, "GlyphImage");

    e.BackgroundColour = e.Colours.ButtonFace;
    return e;
}
