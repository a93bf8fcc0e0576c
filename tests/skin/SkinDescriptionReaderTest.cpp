#include "skin/format/SkinDescriptionReader.h"

#include "BmpCases.h"
#include "skin/format/SkinPackage.h"
#include "storage/MemIniFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace skintest;

Bytes Bmp(int width, int height) {
    BmpFields f;
    f.Width = width;
    f.Height = height;
    return BmpFile(f);
}

// A bitmap whose info header is cut short.
Bytes BrokenBmp() {
    Bytes file = Bmp(90, 30);
    file.resize(30);
    return file;
}

// Reads `ini` through the in-memory INI document, with the given package entries.
class DescriptionReader : public testing::Test {
protected:
    TSkinDescription Read(const std::string& ini, const std::vector<TSkinPackageEntry>& entries) {
        EXPECT_EQ(package_.Read(BuildPackage(entries)), TSkinPackageStatus::Ok);
        TMemIniFile file("");
        file.SetText(ini);
        return ReadSkinDescription(file, package_, TSystemColours());
    }

    // The package the references of a description point into.
    TSkinPackage package_;
};

TEST(ColourText, ReadsComponentsSeparatedBySingleCharacters) {
    struct Case {
        const char* text;
        TColor expected;
    };
    const TColor fallback = 0x123456;
    const Case cases[] = {
        {"0,128,255", RGBColor(0, 128, 255)},
        // Every non-digit moves on one component: the blank after each comma counts.
        {"0, 128, 255", RGBColor(0, 0, 128)},
        {"  10,20,30  ", RGBColor(10, 20, 30)},
        {"300,2,3", RGBColor(44, 2, 3)},
        {"99999999999,1,1", RGBColor(0, 1, 1)},
        {"1,2", RGBColor(1, 0, 0)},
        {",,5", RGBColor(0, 0, 5)},
        {"1;2;3", RGBColor(1, 2, 3)},
        {"", fallback},
        {"   ", fallback},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColourText(c.text, fallback), c.expected) << '"' << c.text << '"';
}

TEST(ImageReference, FileNamePartWithLowerCaseBmpOnly) {
    struct Case {
        const char* value;
        const char* entry;
    };
    const Case cases[] = {
        {"button.bmp", "button.bmp"},
        {"Skins\\Slate/Button.bmp", "Button.bmp"},
        {"C:button.bmp", "button.bmp"},
        {"button.BMP", ""},
        {"button.Bmp", ""},
        {"button.png", ""},
        {"button", ""},
        {"dir/", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImageEntryName(c.value), c.entry) << c.value;
}

TEST_F(DescriptionReader, ImageReferencesNameTheirEntryBytesAndSize) {
    const Bytes progress = Bmp(20, 10);
    const Bytes broken = BrokenBmp();
    auto e = Read("[Progress]\r\nBitmap=..\\Skins\\PROGRESS.bmp\r\n"
                  "[GroupBoxEdge]\r\nImage=missing.bmp\r\n"
                  "[Toolbars]\r\nImage=broken.bmp\r\n"
                  "[Headerbar]\r\nImage=picture.png\r\n",
                  {{"progress.bmp", progress}, {"broken.bmp", broken}, {"picture.png", progress}});
    ASSERT_TRUE(e.Progress && e.GroupBoxEdge && e.Toolbars && e.Headerbar);

    const TSkinImageRef& found = e.Progress->Image;
    EXPECT_EQ(found.Entry, "PROGRESS.bmp");
    const auto entry = package_.EntryByName("progress.bmp");
    EXPECT_EQ(found.Bytes.data(), entry.data());
    EXPECT_EQ(found.Bytes.size(), progress.size());
    EXPECT_EQ(found.Size, (TBmpSize{20, 10}));
    EXPECT_EQ(found.CutWidth, 0);

    EXPECT_EQ(e.GroupBoxEdge->Image.Entry, "missing.bmp");
    EXPECT_TRUE(e.GroupBoxEdge->Image.Bytes.empty());
    EXPECT_FALSE(e.GroupBoxEdge->Image.Size.has_value());

    EXPECT_EQ(e.Toolbars->Image.Bytes.size(), broken.size());
    EXPECT_FALSE(e.Toolbars->Image.Size.has_value());

    // Present, as its key is set, but naming no bitmap.
    EXPECT_EQ(e.Headerbar->Image.Entry, "");
    EXPECT_TRUE(e.Headerbar->Image.Bytes.empty());
}

TEST_F(DescriptionReader, FrameCountsFollowTheBitmapHeaders) {
    auto e = Read("[ButtonA]\r\nButtonImage=wide3.bmp\r\n"
                  "[ButtonB]\r\nButtonImage=wide4.bmp\r\n"
                  "[ButtonC]\r\nButtonImage=broken.bmp\r\n"
                  "[Buttons]\r\nBitmap=wide3.bmp\r\nCheckButton=broken.bmp\r\n"
                  "RadioButton=radio.bmp\r\n",
                  {{"wide3.bmp", Bmp(90, 30)},
                   {"wide4.bmp", Bmp(120, 30)},
                   {"broken.bmp", BrokenBmp()},
                   {"radio.bmp", Bmp(130, -13)}});
    ASSERT_EQ(e.SysButtons.size(), 3u + 3u);
    EXPECT_EQ(e.SysButtons[0].Frame, 3);
    EXPECT_EQ(e.SysButtons[1].Frame, 6);
    // A bitmap the decoder refuses counts as no bitmap.
    EXPECT_EQ(e.SysButtons[2].Frame, 6);
    ASSERT_TRUE(e.Button);
    EXPECT_EQ(e.Button->CheckButtonFrame, 4);
    EXPECT_EQ(e.Button->RadioButtonFrame, 10);
}

TEST_F(DescriptionReader, MdiButtonsAreBandsOfOneBitmap) {
    auto e = Read("[MDICONTROLS]\r\nImage=mdi.bmp\r\n", {{"mdi.bmp", Bmp(120, 8)}});
    ASSERT_EQ(e.SysButtons.size(), 3u);
    for (int j = 0; j < 3; ++j) {
        SCOPED_TRACE(j);
        const auto& b = e.SysButtons[std::size_t(j)];
        EXPECT_EQ(b.Image.Entry, "mdi.bmp");
        EXPECT_EQ(b.Image.Size, (TBmpSize{120, 8}));
        EXPECT_EQ(b.Image.CutX, 40 * j);
        EXPECT_EQ(b.Image.CutWidth, 40);
        EXPECT_EQ(b.Xcoord, 14 * (3 - j));
    }
    auto broken = Read("[MDICONTROLS]\r\nImage=mdi.bmp\r\n", {{"mdi.bmp", BrokenBmp()}});
    ASSERT_EQ(broken.SysButtons.size(), 3u);
    EXPECT_FALSE(broken.SysButtons[0].Image.Size.has_value());
    EXPECT_EQ(broken.SysButtons[0].Image.CutWidth, 0);
    EXPECT_EQ(broken.SysButtons[0].Xcoord, 12);
}

TEST_F(DescriptionReader, EdgesTileAndStateColoursOfEachElementSection) {
    const std::string keys = "LeftWidth=1\r\nRightWidth=2\r\nTopHeight=3\r\nBottomHeight=4\r\n"
                             "Trans=5\r\nTile=6\r\nNormalColour=7\r\nMouseOverColour=8\r\n"
                             "PressedColour=9\r\nNormalColour2=1,2,3\r\n"
                             "MouseOverColour2=4,5,6\r\nPressedColour2=7,8,9\r\n";
    std::string ini =
        "[Buttons]\r\nBitmap=i.bmp\r\n" + keys + "[Progress]\r\nBitmap=i.bmp\r\n" + keys;
    const char* sections[] = {
        "GroupBoxEdge", "Toolbars",    "Tabs",       "StatusBarEdges",  "ComboButton",
        "SunkEdge",     "ExtraImages", "Headerbar",  "MenuItem",        "MenuBackground",
        "Scrollbar",    "HorzScroll",  "VertScroll", "HorzScrollThumb", "VertScrollThumb",
        "UpDown.Horz",  "UpDown.Vert"};
    for (const char* s : sections)
        ini += std::string("[") + s + "]\r\nImage=i.bmp\r\n" + keys;
    auto e = Read(ini, {{"i.bmp", Bmp(8, 8)}});

    const std::vector<const std::optional<TDataSkinObjectOf<TSkinImageRef>>*> plain = {
        &e.GroupBoxEdge, &e.Toolbars,   &e.StatusBarEdges,  &e.ComboButton,    &e.SunkEdge,
        &e.ExtraImages,  &e.Headerbar,  &e.MenuItem,        &e.MenuBackground, &e.Scrollbar,
        &e.HorzScroll,   &e.VertScroll, &e.HorzScrollThumb, &e.VertScrollThumb};
    std::vector<const TSkinObjectFields*> elements;
    for (const auto* element : plain) {
        ASSERT_TRUE(element->has_value());
        elements.push_back(&**element);
    }
    ASSERT_TRUE(e.Tabs && e.UpDownHorz && e.UpDownVert && e.Button && e.Progress);
    elements.insert(elements.end(), {&*e.Tabs, &*e.UpDownHorz, &*e.UpDownVert, &*e.Button});
    for (const TSkinObjectFields* element : elements) {
        SCOPED_TRACE(element->Name);
        EXPECT_EQ(element->LeftWidth, 1);
        EXPECT_EQ(element->RightWidth, 2);
        EXPECT_EQ(element->TopHeight, 3);
        EXPECT_EQ(element->BottomHeight, 4);
        EXPECT_EQ(element->Trans, 5);
        EXPECT_EQ(element->NormalColour, 7);
        EXPECT_EQ(element->MouseOverColour, 8);
        EXPECT_EQ(element->PressedColour, 9);
        EXPECT_EQ(element->NormalColour2, RGBColor(1, 2, 3));
        EXPECT_EQ(element->MouseOverColour2, RGBColor(4, 5, 6));
        EXPECT_EQ(element->PressedColour2, RGBColor(7, 8, 9));
        // The push button is always stretched.
        EXPECT_EQ(element->Tile, element == &*e.Button ? 0 : 6);
    }
    // The progress bar has edges and tiling but no state colours.
    EXPECT_EQ(e.Progress->LeftWidth, 1);
    EXPECT_EQ(e.Progress->BottomHeight, 4);
    EXPECT_EQ(e.Progress->Trans, 5);
    EXPECT_EQ(e.Progress->Tile, 6);
    EXPECT_EQ(e.Progress->NormalColour, clNone);
    EXPECT_EQ(e.Progress->NormalColour2, 0);
}

} // namespace
