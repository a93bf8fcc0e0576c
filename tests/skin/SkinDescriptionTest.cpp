#include "skin/SkinImages.h"
#include "skin/format/SkinDescriptionReader.h"
#include "skin/format/SkinPackage.h"
#include "storage/IniFile.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Bmp(int w, int h, QRgb fill = qRgb(10, 20, 30)) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return Bytes(data.begin(), data.end());
}

TSystemColours FixedSystemColours() {
    TSystemColours s;
    s.WindowText = RGBColor(1, 1, 1);
    s.ButtonFace = RGBColor(2, 2, 2);
    s.Scrollbar = RGBColor(3, 3, 3);
    s.HighlightText = RGBColor(4, 4, 4);
    s.Highlight = RGBColor(5, 5, 5);
    s.Menu = RGBColor(6, 6, 6);
    s.MenuText = RGBColor(7, 7, 7);
    s.ButtonText = RGBColor(8, 8, 8);
    s.ButtonHighlight = RGBColor(9, 9, 9);
    s.ButtonShadow = RGBColor(10, 10, 10);
    s.CaptionText = RGBColor(11, 11, 11);
    s.InactiveCaptionText = RGBColor(12, 12, 12);
    return s;
}

// Reads `ini` (the description text) with the given package entries, through the profile-file
// reader as the program does.
class Description : public testing::Test {
protected:
    TSkinElements Read(const std::string& ini, std::vector<TSkinPackageEntry> images = {}) {
        std::string path = dir_.filePath("skin.ini").toStdString();
        std::ofstream(path, std::ios::binary) << ini;
        images.insert(images.begin(), {"skin.ini", Bytes(ini.begin(), ini.end())});
        TSkinPackage package;
        EXPECT_EQ(package.Read(BuildPackage(images)), TSkinPackageStatus::Ok);
        TIniFile file(path);
        return DecodeSkinElements(ReadSkinDescription(file, package, FixedSystemColours()));
    }

    QTemporaryDir dir_;
};

TEST_F(Description, ImagesAreFoundWhateverTheCaseOfTheirNameAndPath) {
    auto e = Read("[Progress]\r\nBitmap=..\\Skins\\PROGRESS.bmp\r\n"
                  "[GroupBoxEdge]\r\nImage=group.BMP\r\n",
                  {{"progress.bmp", Bmp(20, 10)}, {"group.bmp", Bmp(4, 4)}});
    ASSERT_TRUE(e.Progress.has_value());
    EXPECT_EQ(e.Progress->Image.size(), QSize(20, 10));
    EXPECT_EQ(e.Progress->Image.pixel(0, 0), qRgb(10, 20, 30));
    // Present (its key is set) but without an image: the extension is in capitals.
    ASSERT_TRUE(e.GroupBoxEdge.has_value());
    EXPECT_TRUE(e.GroupBoxEdge->Image.isNull());
}

TEST_F(Description, MenuTextFallsBackToTheButtonFaceText) {
    auto without = Read("[Colours]\r\nButtonFace=10,20,30\r\n");
    EXPECT_EQ(without.Colours.MenuText, RGBColor(10, 20, 30));
    EXPECT_EQ(without.Colours.Menubar, RGBColor(10, 20, 30));
    auto with = Read("[Colours]\r\nButtonFace=10,20,30\r\nMenuText=1,2,3\r\n");
    EXPECT_EQ(with.Colours.MenuText, RGBColor(1, 2, 3));
    auto neither = Read("[Colours]\r\nWindowText=4,5,6\r\n");
    EXPECT_EQ(neither.Colours.MenuText, RGBColor(7, 7, 7));
}

TEST_F(Description, ColourDefaultsComeFromTheSystemColours) {
    auto e = Read("[TitlebarSkin]\r\nSkinName=Grey\r\n");
    const TSystemColours s = FixedSystemColours();
    EXPECT_EQ(e.SkinName, "Grey");
    EXPECT_EQ(e.Colours.WindowText, s.WindowText);
    EXPECT_EQ(e.Colours.ButtonFace, s.ButtonFace);
    EXPECT_EQ(e.Colours.Menubar, s.ButtonFace);
    EXPECT_EQ(e.Colours.Buttonlight, s.ButtonHighlight);
    EXPECT_EQ(e.Colours.ButtonDkShadow, s.ButtonShadow);
    EXPECT_EQ(e.Colours.MenuBarText, s.Menu);
    EXPECT_EQ(e.Colours.TitleTextActive, s.CaptionText);
    EXPECT_EQ(e.Colours.TitleTextInactive, s.InactiveCaptionText);
    EXPECT_EQ(e.BackgroundColour, s.ButtonFace);
    // Elements without their image key are absent.
    EXPECT_FALSE(e.Button.has_value());
    EXPECT_FALSE(e.Title.has_value());
    EXPECT_FALSE(e.Left.has_value());
    EXPECT_FALSE(e.Scrollbar.has_value());
}

TEST_F(Description, InactiveTitleTextIsReadFromTheActiveKey) {
    auto e = Read("[Colours]\r\nTitleTextActive=9,8,7\r\n");
    EXPECT_EQ(e.Colours.TitleTextActive, RGBColor(9, 8, 7));
    EXPECT_EQ(e.Colours.TitleTextInactive, RGBColor(9, 8, 7));
}

TEST_F(Description, PerControlColoursInSectionOrder) {
    auto e = Read("[Colours]\r\nWindowText=1,1,1\r\n[ColourEdit]\r\ncolor=1,2,3\r\n"
                  "[colourMemo]\r\n[Colour]\r\nColor=4,5,6\r\n");
    ASSERT_EQ(e.ControlColours.size(), 3u);
    EXPECT_EQ(e.ControlColours[0].Section, "ColourEdit");
    EXPECT_EQ(e.ControlColours[0].Color, RGBColor(1, 2, 3));
    EXPECT_EQ(e.ControlColours[1].Color, RGBColor(1, 1, 1)); // the system window text colour
    EXPECT_EQ(e.ControlColours[2].Color, RGBColor(4, 5, 6));
}

TEST_F(Description, TitleBarButtonFrames) {
    auto e = Read("[ButtonA]\r\nButtonImage=wide3.bmp\r\n"
                  "[ButtonB]\r\nButtonImage=wide4.bmp\r\n"
                  "[ButtonC]\r\nButtonImage=wide3.bmp\r\nframe=2\r\n"
                  "[ButtonD]\r\nButtonImage=wide3.bmp\r\nAction=-1\r\n"
                  "[ButtonE]\r\nButtonImage=missing.bmp\r\n"
                  "[ButtonF]\r\nButtonImage=wide3.bmp\r\nAction=3\r\n"
                  "[ButtonG]\r\nButtonImage=wide3.bmp\r\nAction=11\r\n"
                  "[ButtonH]\r\nButtonImage=wide3.bmp\r\nAction=3\r\nframe=3\r\n"
                  "[Buttons]\r\n[Button.Radio]\r\n[button.checkbox]\r\n"
                  "[buttonI]\r\nAction=2\r\nXcoord=5\r\nYcoord=6\r\nAlign=1\r\nCombineOp=4\r\n",
                  {{"wide3.bmp", Bmp(90, 30)}, {"wide4.bmp", Bmp(120, 30)}});
    ASSERT_EQ(e.SysButtons.size(), 9u + 3u);
    struct Expect {
        const char* name;
        int frame;
        bool image;
    };
    const Expect expected[] = {
        {"BUTTONA", 3, true},  {"BUTTONB", 6, true},  {"BUTTONC", 2, true},
        {"BUTTOND", 6, true},  {"BUTTONE", 6, false}, {"BUTTONF", 3, false},
        {"BUTTONG", 3, false}, {"BUTTONH", 3, true},  {"BUTTONI", 6, false},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(e.SysButtons[i].Name, expected[i].name);
        EXPECT_EQ(e.SysButtons[i].Frame, expected[i].frame);
        EXPECT_EQ(!e.SysButtons[i].Image.isNull(), expected[i].image);
    }
    const auto& i = e.SysButtons[8];
    EXPECT_EQ(i.Action, 2);
    EXPECT_EQ(i.Xcoord, 5);
    EXPECT_EQ(i.Ycoord, 6);
    EXPECT_EQ(i.Align, 1);
    EXPECT_EQ(i.CombineOp, 4);
    EXPECT_EQ(i.Visibility, 0);
    EXPECT_EQ(e.SysButtons[0].CombineOp, -1);
}

TEST_F(Description, MdiButtonsAreSlicedFromOneImage) {
    // 12 columns of w = 10 pixels: three buttons of 4w, told apart by colour.
    QImage all(120, 8, QImage::Format_RGB32);
    for (int j = 0; j < 3; ++j)
        for (int x = 0; x < 40; ++x)
            for (int y = 0; y < 8; ++y)
                all.setPixel(40 * j + x, y, qRgb(50 * (j + 1), x, y));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    all.save(&buffer, "BMP");
    auto e =
        Read("[MDICONTROLS]\r\nImage=mdi.bmp\r\n", {{"mdi.bmp", Bytes(data.begin(), data.end())}});
    ASSERT_EQ(e.SysButtons.size(), 3u);
    for (int j = 0; j < 3; ++j) {
        SCOPED_TRACE(j);
        const auto& b = e.SysButtons[j];
        EXPECT_EQ(b.Action, 7 + j);
        EXPECT_EQ(b.Align, 100);
        EXPECT_EQ(b.Visibility, 100);
        EXPECT_EQ(b.Visibility1, 100);
        EXPECT_EQ(b.Frame, 4);
        EXPECT_EQ(b.Xcoord, 14 * (3 - j));
        ASSERT_EQ(b.Image.size(), QSize(40, 8));
        EXPECT_EQ(b.Image.pixel(0, 0), qRgb(50 * (j + 1), 0, 0));
        EXPECT_EQ(b.Image.pixel(39, 7), qRgb(50 * (j + 1), 39, 7));
    }
    auto none = Read("[MDICONTROLS]\r\n");
    ASSERT_EQ(none.SysButtons.size(), 3u);
    EXPECT_TRUE(none.SysButtons[0].Image.isNull());
    EXPECT_EQ(none.SysButtons[0].Xcoord, 12);
}

TEST_F(Description, PushButtonElement) {
    auto e = Read("[Buttons]\r\nBitmap=b.bmp\r\nCheckButton=c.bmp\r\nRadioButton=r.bmp\r\n"
                  "LeftWidth=3\r\nRightWidth=4\r\nTopHeight=5\r\nBottomHeight=6\r\nTrans=1\r\n"
                  "NormalColour=$FF\r\nMouseOverColour2=1,2,3\r\n"
                  "[Colours]\r\nButtonText=7,8,9\r\n",
                  {{"b.bmp", Bmp(50, 20)}, {"c.bmp", Bmp(130, 13)}, {"r.bmp", Bmp(20, 16)}});
    ASSERT_TRUE(e.Button.has_value());
    const auto& b = *e.Button;
    EXPECT_EQ(b.Frame, 5);
    EXPECT_EQ(b.LeftWidth, 3);
    EXPECT_EQ(b.RightWidth, 4);
    EXPECT_EQ(b.TopHeight, 5);
    EXPECT_EQ(b.BottomHeight, 6);
    EXPECT_EQ(b.Trans, 1);
    EXPECT_EQ(b.NormalColour, 255);
    EXPECT_EQ(b.PressedColour, -1);
    EXPECT_EQ(b.NormalColour2, RGBColor(7, 8, 9));
    EXPECT_EQ(b.MouseOverColour2, RGBColor(1, 2, 3));
    EXPECT_EQ(b.Image.width(), 50);
    // Glyph frames from the image: width / 13 below 16 pixels high, width / 16 else, >= 4.
    EXPECT_EQ(b.CheckButtonFrame, 10);
    EXPECT_EQ(b.RadioButtonFrame, 4);
}

TEST_F(Description, ElementsAndTheirFrameCounts) {
    std::string ini = "[Personality]\r\nLeft=i.bmp\r\nLeftTopHeight=7\r\nLeftBotHeight=8\r\n"
                      "Top=i.bmp\r\nTopTopHeight=3\r\nTopBotHeight=4\r\nTopFrame=2\r\n"
                      "TopStretch=0\r\nTopTrans=0\r\n"
                      "TextBack=i.bmp\r\nTextShift=2\r\nActiveTextR=1\r\nActiveTextG=2\r\n"
                      "ActiveTextB=3\r\nInActiveTextR=1\r\nInActiveTextG=-1\r\nInActiveTextB=3\r\n"
                      "menuBar=i.bmp\r\nTileMenu=1\r\n"
                      "[Fonts]\r\nFontHeight=11\r\n"
                      "[Progress]\r\nBitmap=i.bmp\r\nTile=1\r\n"
                      "[HorzScrollThumb]\r\nImage=i.bmp\r\n"
                      "[VertScrollThumb]\r\nImage=i.bmp\r\nFrameCount=5\r\n"
                      "[Tabs]\r\nImage=i.bmp\r\nBorder=i.bmp\r\n"
                      "[UpDown.Vert]\r\nImage=i.bmp\r\nGlyphImage=i.bmp\r\n";
    for (const char* s : {"GroupBoxEdge", "Toolbars", "StatusBarEdges", "ComboButton", "SunkEdge",
                          "ExtraImages", "Headerbar", "MenuItem", "MenuBackground", "Scrollbar",
                          "HorzScroll", "VertScroll", "UpDown.Horz"})
        ini += std::string("[") + s + "]\r\nImage=i.bmp\r\n";
    auto e = Read(ini, {{"i.bmp", Bmp(46, 10)}});

    ASSERT_TRUE(e.Left && e.Top);
    EXPECT_EQ(e.Left->TopHeight, 7);
    EXPECT_EQ(e.Left->BottomHeight, 8);
    EXPECT_EQ(e.Left->Frame, 1);
    EXPECT_EQ(e.Left->Tile, 1);
    EXPECT_EQ(e.Left->Trans, 1);
    EXPECT_EQ(e.Top->LeftWidth, 3);
    EXPECT_EQ(e.Top->RightWidth, 4);
    EXPECT_EQ(e.Top->Frame, 2);
    EXPECT_EQ(e.Top->Tile, 0);
    EXPECT_EQ(e.Top->Trans, 0);
    EXPECT_FALSE(e.Right || e.Bottom);

    ASSERT_TRUE(e.Title);
    EXPECT_EQ(e.Title->TextShift, 2);
    EXPECT_EQ(e.Title->FontHeight, 11);
    EXPECT_EQ(e.Title->ActiveText, RGBColor(1, 2, 3));
    EXPECT_FALSE(e.Title->InActiveText.has_value());
    ASSERT_TRUE(e.MenuBar);
    EXPECT_EQ(e.MenuBar->Tile, 1);
    EXPECT_EQ(e.MenuBar->TileLeftMenu, 1);
    ASSERT_TRUE(e.Tabs && e.UpDownVert);
    EXPECT_FALSE(e.Tabs->Image2.isNull());
    EXPECT_FALSE(e.UpDownVert->Image2.isNull());

    const std::pair<const std::optional<TDataSkinObject>*, int> frames[] = {
        {&e.Progress, 2},       {&e.GroupBoxEdge, 2},    {&e.Toolbars, 5},
        {&e.StatusBarEdges, 3}, {&e.ComboButton, 4},     {&e.SunkEdge, 4},
        {&e.ExtraImages, 5},    {&e.Headerbar, 5},       {&e.MenuItem, 5},
        {&e.MenuBackground, 1}, {&e.Scrollbar, 23},      {&e.HorzScroll, 4},
        {&e.VertScroll, 4},     {&e.HorzScrollThumb, 3}, {&e.VertScrollThumb, 5},
    };
    for (const auto& [element, count] : frames) {
        ASSERT_TRUE(element->has_value()) << count;
        EXPECT_EQ((*element)->Frame, count) << (*element)->Name;
    }
    EXPECT_EQ(e.Progress->Tile, 1);
    EXPECT_EQ(e.Title->Frame, 2);
    EXPECT_EQ(e.MenuBar->Frame, 2);
    EXPECT_EQ(e.Tabs->Frame, 5);
    EXPECT_EQ(e.UpDownHorz->Frame, 8);
    EXPECT_EQ(e.UpDownVert->Frame, 8);
}

} // namespace
