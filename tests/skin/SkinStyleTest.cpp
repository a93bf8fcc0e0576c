#include "skin/SkinStyle.h"

#include "SkinPaintSupport.h"
#include "skin/StyleKeeper.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

using namespace skintest;

namespace {

QColor PixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class SkinStyleTest : public testing::Test {
protected:
    std::shared_ptr<const SkinLook> look_ = std::make_shared<const SkinLook>(TestLook());
    SkinStyle style_{look_};
};

TEST(SkinPieceTest, FramesAndOutOfRangeIndex) {
    SkinPiece piece;
    EXPECT_TRUE(piece.IsNull());
    piece.image = FramedImage(1, 5, {20, 10}, 2);
    piece.frames = 5;
    EXPECT_FALSE(piece.IsNull());
    EXPECT_EQ(piece.FrameSize(), QSize(20, 10));
    EXPECT_EQ(piece.FrameRect(3), QRect(60, 0, 20, 10));
    EXPECT_EQ(piece.FrameRect(5), QRect(0, 0, 20, 10));
    EXPECT_EQ(piece.FrameRect(-1), QRect(0, 0, 20, 10));
    piece.frames = 200; // more frames than pixels
    EXPECT_TRUE(piece.IsNull());
}

TEST(SkinPieceTest, TransparentColourClearedOnlyWhenAsked) {
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, kSkinTransparentColour);
    image.setPixel(1, 0, qRgb(1, 2, 3));
    const QImage clear = PrepareSkinImage(image, true);
    EXPECT_EQ(qAlpha(clear.pixel(0, 0)), 0);
    EXPECT_EQ(clear.pixel(1, 0), qRgb(1, 2, 3));
    const QImage kept = PrepareSkinImage(image, false);
    EXPECT_EQ(kept.pixel(0, 0), kSkinTransparentColour);
}

struct SliceCase {
    QSize target;
    bool hollow;
    QPoint point;
    bool edge; // true: the edge colour, false: the centre colour, hollow centre: white
};

void PrintTo(const SliceCase& c, std::ostream* out) {
    *out << c.target.width() << "x" << c.target.height() << (c.hollow ? " hollow" : "") << " at "
         << c.point.x() << "," << c.point.y();
}

class NineSliceTest : public testing::TestWithParam<SliceCase> {};

TEST_P(NineSliceTest, CornersKeepTheirSizeAndTheCentreStretches) {
    const SliceCase& c = GetParam();
    SkinPiece piece;
    piece.image = PrepareSkinImage(FramedImage(7, 2, {12, 12}, 3), false);
    piece.frames = 2;
    piece.edges = QMargins(3, 3, 3, 3);
    QImage canvas(c.target, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        DrawSkinPiece(painter, canvas.rect(), piece, 1, c.hollow);
    }
    QColor expected = c.edge ? EdgeColour(7, 1) : CentreColour(7, 1);
    if (!c.edge && c.hollow)
        expected = Qt::white;
    EXPECT_EQ(PixelAt(canvas, c.point.x(), c.point.y()), expected)
        << c.point.x() << "," << c.point.y();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NineSliceTest,
    testing::Values(
        SliceCase{{60, 30}, false, {0, 0}, true}, SliceCase{{60, 30}, false, {2, 15}, true},
        SliceCase{{60, 30}, false, {3, 15}, false}, SliceCase{{60, 30}, false, {56, 15}, false},
        SliceCase{{60, 30}, false, {57, 15}, true}, SliceCase{{60, 30}, false, {30, 27}, true},
        SliceCase{{60, 30}, false, {30, 26}, false}, SliceCase{{60, 30}, true, {30, 15}, false},
        SliceCase{{60, 30}, true, {1, 15}, true},
        // Smaller than both edges: each edge gets half, nothing is left out.
        SliceCase{{4, 4}, false, {0, 0}, true}, SliceCase{{4, 4}, false, {3, 3}, true}));

TEST(SkinPieceTest, TiledCentreRepeatsTheImage) {
    // A centre of 4 columns whose first column is marked.
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < 10; ++y)
        image.setPixel(3, y, qRgb(255, 0, 0));
    SkinPiece piece;
    piece.image = PrepareSkinImage(image, false);
    piece.edges = QMargins(3, 3, 3, 3);
    for (bool tile : {true, false}) {
        piece.tile = tile;
        QImage canvas(23, 10, QImage::Format_RGB32);
        QPainter painter(&canvas);
        DrawSkinPiece(painter, canvas.rect(), piece, 0);
        painter.end();
        EXPECT_EQ(PixelAt(canvas, 7, 5), tile ? QColor(Qt::red) : QColor(Qt::blue)) << tile;
    }
}

struct FrameCase {
    QStyle::State state;
    bool isDefault;
    int frame;
};

TEST(SkinFrameTest, PushButtonFramesFollowTheState) {
    using S = QStyle::StateFlag;
    const FrameCase cases[] = {
        {S::State_Enabled, false, kFrameNormal},
        {S::State_Enabled | S::State_MouseOver, false, kFrameHot},
        {S::State_Enabled | S::State_Sunken | S::State_MouseOver, false, kFramePressed},
        {S::State_Enabled | S::State_On, false, kFramePressed},
        {S::State_None, true, kFrameDisabled},
        {S::State_Enabled, true, kFrameDefault},
        {S::State_Enabled | S::State_HasFocus, false, kFrameDefault},
    };
    for (const FrameCase& c : cases)
        EXPECT_EQ(SkinButtonFrame(c.state, c.isDefault), c.frame) << int(c.state);
}

TEST(SkinFrameTest, IndicatorFramesForEightAndFourFrames) {
    using S = QStyle::StateFlag;
    struct Case {
        QStyle::State state;
        int frames;
        int frame;
    } const cases[] = {
        {S::State_Enabled | S::State_Off, 8, 0},
        {S::State_Enabled | S::State_Off | S::State_MouseOver, 8, 1},
        {S::State_Enabled | S::State_Off | S::State_Sunken, 8, 2},
        {S::State_Off, 8, 3},
        {S::State_Enabled | S::State_On, 8, 4},
        {S::State_Enabled | S::State_On | S::State_MouseOver, 8, 5},
        {S::State_On, 8, 7},
        {S::State_Enabled | S::State_NoChange, 8, 4},
        {S::State_Enabled | S::State_Off, 4, 0},
        {S::State_Enabled | S::State_On, 4, 1},
        {S::State_Off, 4, 2},
        {S::State_On, 4, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SkinIndicatorFrame(c.state, c.frames), c.frame)
            << int(c.state) << "/" << c.frames;
}

TEST_F(SkinStyleTest, PushButtonIsDrawnFromTheButtonImage) {
    QWidget host;
    auto* button = new QPushButton(&host);
    button->setStyle(&style_);
    button->resize(80, 30);
    struct Case {
        const char* name;
        std::function<void(QPushButton&)> set;
        int frame;
    } const cases[] = {
        {"normal", [](QPushButton&) {}, kFrameNormal},
        {"pressed", [](QPushButton& b) { b.setDown(true); }, kFramePressed},
        {"disabled", [](QPushButton& b) { b.setEnabled(false); }, kFrameDisabled},
        {"default", [](QPushButton& b) { b.setDefault(true); }, kFrameDefault},
    };
    for (const Case& c : cases) {
        button->setDown(false);
        button->setEnabled(true);
        button->setDefault(false);
        c.set(*button);
        const QImage image = Grab(*button);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PixelAt(image, 0, 0), EdgeColour(kButton, c.frame));
        EXPECT_EQ(PixelAt(image, 79, 29), EdgeColour(kButton, c.frame));
        EXPECT_EQ(PixelAt(image, 2, 15), EdgeColour(kButton, c.frame));
        EXPECT_EQ(PixelAt(image, 40, 15), CentreColour(kButton, c.frame));
        EXPECT_EQ(PixelAt(image, 3, 3), CentreColour(kButton, c.frame));
    }
}

TEST_F(SkinStyleTest, CheckBoxIndicatorShowsTheCheckedFrame) {
    QCheckBox box;
    box.setStyle(&style_);
    box.resize(100, 24);
    QStyleOptionButton option;
    option.initFrom(&box);
    option.rect = box.rect();
    const QRect indicator = style_.subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
    EXPECT_EQ(indicator.size(), QSize(13, 13));
    for (bool checked : {false, true}) {
        box.setChecked(checked);
        const QImage image = Grab(box);
        EXPECT_EQ(PixelAt(image, indicator.center().x(), indicator.center().y()),
                  CentreColour(kCheck, checked ? 4 : 0))
            << checked;
    }
}

TEST_F(SkinStyleTest, ProgressBarFillsFromTheBarFrame) {
    QProgressBar bar;
    bar.setStyle(&style_);
    bar.setTextVisible(false);
    bar.setRange(0, 100);
    bar.setValue(50);
    bar.resize(200, 20);
    const QImage image = Grab(bar);
    EXPECT_EQ(PixelAt(image, 50, 10), CentreColour(kProgress, 1));
    EXPECT_EQ(PixelAt(image, 150, 10), CentreColour(kProgress, 0));
}

TEST_F(SkinStyleTest, GroupBoxDrawsOnlyItsEdge) {
    QGroupBox box;
    box.setStyle(&style_);
    box.resize(120, 80);
    const QImage image = Grab(box);
    EXPECT_EQ(PixelAt(image, 1, 60), EdgeColour(kGroupBox, 0));
    EXPECT_NE(PixelAt(image, 60, 50), CentreColour(kGroupBox, 0));
}

TEST_F(SkinStyleTest, StatusBarUsesTheBarFrame) {
    QStatusBar bar;
    bar.setStyle(&style_);
    bar.setSizeGripEnabled(false);
    bar.resize(200, 22);
    const QImage image = Grab(bar);
    EXPECT_EQ(PixelAt(image, 1, 1), EdgeColour(kStatusBar, 0));
    EXPECT_EQ(PixelAt(image, 100, 11), CentreColour(kStatusBar, 0));
}

TEST_F(SkinStyleTest, ScrollBarTrackThumbAndArrows) {
    QScrollBar bar(Qt::Horizontal);
    bar.setStyle(&style_);
    bar.setRange(0, 100);
    bar.setPageStep(10);
    bar.setValue(0);
    bar.resize(200, 16);
    EXPECT_EQ(style_.pixelMetric(QStyle::PM_ScrollBarExtent), 16);
    const QImage image = Grab(bar);
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = 100;
    option.pageStep = 10;
    option.sliderPosition = option.sliderValue = 0;
    option.state |= QStyle::State_Horizontal;
    const QRect slider =
        style_.subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, &bar);
    const QRect addLine =
        style_.subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddLine, &bar);
    ASSERT_FALSE(slider.isEmpty());
    EXPECT_EQ(PixelAt(image, slider.center().x(), 8), CentreColour(kHorzThumb, 0));
    EXPECT_EQ(PixelAt(image, (slider.right() + addLine.left()) / 2, 8),
              CentreColour(kHorzScroll, 0));
    EXPECT_EQ(PixelAt(image, addLine.center().x(), 8), CentreColour(kArrows, 12));
}

TEST_F(SkinStyleTest, HeaderSectionsAndMenus) {
    QTreeWidget tree;
    tree.setStyle(&style_);
    tree.header()->setStyle(&style_);
    tree.setHeaderLabels({QString(), QString()});
    tree.resize(200, 100);
    QHeaderView* header = tree.header();
    header->resize(200, 24);
    const QImage headerImage = Grab(*header);
    EXPECT_EQ(PixelAt(headerImage, 1, 1), EdgeColour(kHeader, 0));

    QMenu menu;
    menu.setStyle(&style_);
    menu.addAction(QStringLiteral("one"));
    menu.addAction(QStringLiteral("two"));
    menu.adjustSize();
    const QImage menuImage = Grab(menu);
    EXPECT_EQ(PixelAt(menuImage, 1, 1), EdgeColour(kMenuBackground, 0));
    EXPECT_EQ(PixelAt(menuImage, menuImage.width() - 5, menuImage.height() / 2),
              CentreColour(kMenuBackground, 0));
}

TEST_F(SkinStyleTest, SelectedMenuItemIsDrawnFromTheItemImage) {
    QMenu menu;
    menu.setStyle(&style_);
    QAction* one = menu.addAction(QStringLiteral("one"));
    QAction* two = menu.addAction(QStringLiteral("two"));
    menu.popup(QPoint(10, 10));
    menu.setActiveAction(two);
    const QRect selected = menu.actionGeometry(two);
    const QRect other = menu.actionGeometry(one);
    const QImage image = Grab(menu);
    EXPECT_EQ(PixelAt(image, selected.left() + 1, selected.center().y()), EdgeColour(kMenuItem, 1));
    EXPECT_EQ(PixelAt(image, selected.right() - 4, selected.center().y()),
              CentreColour(kMenuItem, 1));
    EXPECT_EQ(PixelAt(image, other.right() - 4, other.center().y()),
              CentreColour(kMenuBackground, 0));
    menu.hide();
}

TEST_F(SkinStyleTest, KeeperGivesBackTheNormalLook) {
    QWidget window;
    auto* button = new QPushButton(&window);
    auto* own = new QPushButton(&window);
    QPalette ownPalette = own->palette();
    ownPalette.setColor(QPalette::Button, Qt::green);
    own->setPalette(ownPalette);
    button->resize(80, 30);
    const QImage before = Grab(*button);

    StyleKeeper keeper;
    keeper.PutPalette(&window, look_->palette);
    keeper.PutStyle(&window, &style_);
    keeper.PutStyle(button, &style_);
    keeper.PutStyle(own, &style_);
    EXPECT_NE(Grab(*button), before);
    EXPECT_EQ(window.palette().color(QPalette::Window), kButtonFace);

    keeper.GiveBack();
    EXPECT_EQ(Grab(*button), before);
    EXPECT_FALSE(button->testAttribute(Qt::WA_SetStyle));
    EXPECT_FALSE(window.testAttribute(Qt::WA_SetPalette));
    EXPECT_EQ(own->palette().color(QPalette::Button), QColor(Qt::green));
    EXPECT_NE(window.palette().color(QPalette::Window), kButtonFace);
}

} // namespace
