#include "skin/SkinImages.h"

#include "BmpCases.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace skintest;

QImage Decode(const Bytes& file) {
    return QImage::fromData(file.data(), int(file.size()), "BMP");
}

Bytes Saved(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return Bytes(data.begin(), data.end());
}

TSkinImageRef RefTo(const Bytes& file) {
    TSkinImageRef ref;
    ref.Entry = "x.bmp";
    ref.Bytes = file;
    ref.Size = BmpSize(file);
    return ref;
}

// The frame counts and button places come from BmpSize; the images from the toolkit's decoder.
// Both must take the same bitmaps, at the same size.
TEST(SkinImages, TheBitmapSizeAgreesWithTheDecoder) {
    std::vector<BmpCase> cases = GoodBmpCases();
    for (BmpCase& c : BrokenBmpCases())
        cases.push_back(std::move(c));
    for (const BmpCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QImage image = Decode(c.File);
        const std::optional<TBmpSize> size = BmpSize(c.File);
        ASSERT_EQ(size.has_value(), !image.isNull());
        if (size) {
            EXPECT_EQ(QSize(size->Width, size->Height), image.size());
        }
    }
}

TEST(SkinImages, AReferenceDecodesToItsBand) {
    QImage columns(12, 3, QImage::Format_RGB32);
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 3; ++y)
            columns.setPixel(x, y, qRgb(10 * x, y, 0));
    const Bytes file = Saved(columns);

    EXPECT_EQ(DecodeSkinImage(RefTo(file)), columns);
    TSkinImageRef band = RefTo(file);
    band.CutX = 4;
    band.CutWidth = 4;
    EXPECT_EQ(DecodeSkinImage(band), columns.copy(4, 0, 4, 3));
    // Bytes without a size are no image.
    TSkinImageRef unsized = RefTo(file);
    unsized.Size.reset();
    EXPECT_TRUE(DecodeSkinImage(unsized).isNull());
}

TEST(SkinImages, DecodingKeepsEveryElementAndNumber) {
    QImage red(6, 2, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    const Bytes file = Saved(red);
    const TSkinImageRef ref = RefTo(file);

    TSkinDescription d;
    d.SkinName = "Test";
    d.Colours.Menu = RGBColor(1, 2, 3);
    d.ControlColours.push_back({"ColourEdit", RGBColor(4, 5, 6)});
    d.BackgroundColour = RGBColor(7, 8, 9);
    int number = 0;
    auto fill = [&](auto& element) {
        element.emplace();
        element->Name = "element" + std::to_string(++number);
        element->Frame = number;
        element->LeftWidth = number + 1;
        element->PressedColour2 = number + 2;
        element->Image = ref;
        return number;
    };
    for (auto* e : {&d.Left, &d.Right, &d.Top, &d.Bottom, &d.Progress, &d.GroupBoxEdge, &d.Toolbars,
                    &d.StatusBarEdges, &d.ComboButton, &d.SunkEdge, &d.ExtraImages, &d.Headerbar,
                    &d.MenuItem, &d.MenuBackground, &d.Scrollbar, &d.HorzScroll, &d.VertScroll,
                    &d.HorzScrollThumb, &d.VertScrollThumb})
        fill(*e);
    for (auto* e : {&d.Tabs, &d.UpDownHorz, &d.UpDownVert}) {
        fill(*e);
        (*e)->Image2 = ref;
    }
    fill(d.Button);
    d.Button->CheckImage = ref;
    d.Button->RadioButtonFrame = 11;
    fill(d.Title);
    d.Title->FontHeight = 9;
    d.Title->InActiveText = RGBColor(1, 1, 1);
    fill(d.MenuBar);
    d.MenuBar->TileRightMenu = 0;
    d.SysButtons.resize(2);
    d.SysButtons[1].Xcoord = 33;
    d.SysButtons[1].Image = ref;

    const TSkinElements e = DecodeSkinElements(d);
    EXPECT_EQ(e.SkinName, "Test");
    EXPECT_EQ(e.Colours.Menu, RGBColor(1, 2, 3));
    ASSERT_EQ(e.ControlColours.size(), 1u);
    EXPECT_EQ(e.ControlColours[0].Color, RGBColor(4, 5, 6));
    EXPECT_EQ(e.BackgroundColour, RGBColor(7, 8, 9));

    int expected = 0;
    // Whether the element is there, with the numbers and image it was given.
    auto check = [&](const auto& element) {
        ++expected;
        EXPECT_TRUE(element.has_value()) << expected;
        if (!element)
            return false;
        EXPECT_EQ(element->Name, "element" + std::to_string(expected));
        EXPECT_EQ(element->Frame, expected);
        EXPECT_EQ(element->LeftWidth, expected + 1);
        EXPECT_EQ(element->PressedColour2, expected + 2);
        EXPECT_EQ(element->Image, red) << element->Name;
        return true;
    };
    for (const auto* element :
         {&e.Left, &e.Right, &e.Top, &e.Bottom, &e.Progress, &e.GroupBoxEdge, &e.Toolbars,
          &e.StatusBarEdges, &e.ComboButton, &e.SunkEdge, &e.ExtraImages, &e.Headerbar, &e.MenuItem,
          &e.MenuBackground, &e.Scrollbar, &e.HorzScroll, &e.VertScroll, &e.HorzScrollThumb,
          &e.VertScrollThumb})
        check(*element);
    for (const auto* element : {&e.Tabs, &e.UpDownHorz, &e.UpDownVert}) {
        if (check(*element)) {
            EXPECT_EQ((*element)->Image2, red);
        }
    }
    if (check(e.Button)) {
        EXPECT_EQ(e.Button->CheckImage, red);
        EXPECT_TRUE(e.Button->RadioImage.isNull());
        EXPECT_EQ(e.Button->RadioButtonFrame, 11);
    }
    if (check(e.Title)) {
        EXPECT_EQ(e.Title->FontHeight, 9);
        EXPECT_EQ(e.Title->InActiveText, RGBColor(1, 1, 1));
    }
    if (check(e.MenuBar)) {
        EXPECT_EQ(e.MenuBar->TileRightMenu, 0);
    }
    ASSERT_EQ(e.SysButtons.size(), 2u);
    EXPECT_TRUE(e.SysButtons[0].Image.isNull());
    EXPECT_EQ(e.SysButtons[1].Xcoord, 33);
    EXPECT_EQ(e.SysButtons[1].Image, red);
}

} // namespace
