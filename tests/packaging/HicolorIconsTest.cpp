// The desktop icons drawn at build time show the tray icon's artwork: the committed tray.ico,
// decoded here by Qt's own reader, is the reference for every size and for the SVG.

#include <QColor>
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const QString kIconName = QStringLiteral("com.vormix.ServerMonitor");

QString IconDir() {
    return QStringLiteral(SM_BINARY_DIR "/packaging/hicolor");
}

QImage TrayIcon() {
    QImage image(QStringLiteral(SM_SOURCE_DIR "/assets/icons/tray.ico"), "ICO");
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage Png(int size) {
    const QString path =
        QStringLiteral("%1/%2x%2/apps/%3.png").arg(IconDir()).arg(size).arg(kIconName);
    return QImage(path, "PNG");
}

// The artwork's pixel under a point of an icon of the given size (for whole-number scales).
QRgb ArtworkAt(const QImage& artwork, int size, int x, int y) {
    const QRgb p = artwork.pixel(x * artwork.width() / size, y * artwork.height() / size);
    return qAlpha(p) == 0 ? qRgba(0, 0, 0, 0) : p;
}

// Sum of alpha and of premultiplied colour over an image, as fractions of full coverage, so that
// images of different sizes compare.
struct Coverage {
    double alpha = 0, red = 0, green = 0, blue = 0;
};

Coverage CoverageOf(const QImage& image) {
    Coverage c;
    const double pixels = double(image.width()) * image.height();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const double a = qAlpha(p) / 255.0;
            c.alpha += a / pixels;
            c.red += a * qRed(p) / 255.0 / pixels;
            c.green += a * qGreen(p) / 255.0 / pixels;
            c.blue += a * qBlue(p) / 255.0 / pixels;
        }
    return c;
}

TEST(HicolorIcons, ReferenceDecodes) {
    const QImage tray = TrayIcon();
    ASSERT_FALSE(tray.isNull());
    EXPECT_EQ(tray.width(), 32);
    EXPECT_EQ(tray.height(), 32);
}

class HicolorPng : public testing::TestWithParam<int> {};

TEST_P(HicolorPng, HasItsSizeAndAnAlphaChannel) {
    const int size = GetParam();
    const QImage icon = Png(size);
    ASSERT_FALSE(icon.isNull()) << "no " << size << " px icon in " << IconDir().toStdString();
    EXPECT_EQ(icon.width(), size);
    EXPECT_EQ(icon.height(), size);
    EXPECT_TRUE(icon.hasAlphaChannel());
    // The corners lie outside the monitor's outline.
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(size - 1, size - 1)), 0);
}

TEST_P(HicolorPng, KeepsTheArtworksCoverageAndColour) {
    // Scaling by area keeps how much of the square is covered, and by which colours, at any
    // size; a shifted, cropped or differently drawn picture does not.
    const int size = GetParam();
    const QImage icon = Png(size).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(icon.isNull());
    const Coverage want = CoverageOf(TrayIcon());
    const Coverage got = CoverageOf(icon);
    // Each pixel is rounded to 1/255 at most half a step per channel.
    const double tolerance = 0.5 / 255 + 1e-9;
    EXPECT_NEAR(got.alpha, want.alpha, tolerance);
    EXPECT_NEAR(got.red, want.red, 2 * tolerance);
    EXPECT_NEAR(got.green, want.green, 2 * tolerance);
    EXPECT_NEAR(got.blue, want.blue, 2 * tolerance);
}

INSTANTIATE_TEST_SUITE_P(EverySize, HicolorPng, testing::Values(16, 22, 24, 32, 48, 64, 128, 256));

class WholeScalePng : public testing::TestWithParam<int> {};

TEST_P(WholeScalePng, EveryPixelIsTheArtworksPixel) {
    // At 32 px and its multiples the icon is the tray icon, pixel for pixel.
    const int size = GetParam();
    const QImage tray = TrayIcon();
    const QImage icon = Png(size).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(icon.isNull());
    int wrong = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const QRgb want = ArtworkAt(tray, size, x, y);
            QRgb got = icon.pixel(x, y);
            if (qAlpha(got) == 0)
                got = qRgba(0, 0, 0, 0);
            if (got != want && ++wrong <= 3)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got
                              << " instead of " << want;
        }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Multiples, WholeScalePng, testing::Values(32, 64, 128, 256));

TEST(HicolorIcons, HalfSizePixelsAverageFourArtworkPixels) {
    const QImage tray = TrayIcon();
    const QImage icon = Png(16).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(icon.isNull());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int opaque = 0, red = 0, green = 0, blue = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const QRgb p = tray.pixel(2 * x + dx, 2 * y + dy);
                    if (qAlpha(p) == 0)
                        continue;
                    ++opaque;
                    red += qRed(p), green += qGreen(p), blue += qBlue(p);
                }
            const QRgb got = icon.pixel(x, y);
            ASSERT_EQ(qAlpha(got), (opaque * 255 + 2) / 4) << "at " << x << "," << y;
            if (opaque == 0)
                continue;
            EXPECT_EQ(qRed(got), (2 * red + opaque) / (2 * opaque)) << "at " << x << "," << y;
            EXPECT_EQ(qGreen(got), (2 * green + opaque) / (2 * opaque)) << "at " << x << "," << y;
            EXPECT_EQ(qBlue(got), (2 * blue + opaque) / (2 * opaque)) << "at " << x << "," << y;
        }
}

TEST(HicolorIcons, SvgPaintsTheArtwork) {
    // The scalable icon's rectangles, painted in order on the 32 x 32 view box, give the tray
    // icon's pixels.
    QFile file(QStringLiteral("%1/scalable/apps/%2.svg").arg(IconDir(), kIconName));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    QImage painted(32, 32, QImage::Format_ARGB32);
    painted.fill(qRgba(0, 0, 0, 0));
    QXmlStreamReader xml(&file);
    int rects = 0;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("svg")) {
            EXPECT_EQ(xml.attributes().value("viewBox").toString().toStdString(), "0 0 32 32");
            continue;
        }
        ASSERT_EQ(xml.name().toString().toStdString(), "rect");
        const auto a = xml.attributes();
        const int left = a.value("x").toInt(), top = a.value("y").toInt();
        const int width = a.value("width").toInt(), height = a.value("height").toInt();
        const QColor colour(a.value("fill").toString());
        ASSERT_TRUE(colour.isValid());
        ASSERT_GT(width, 0);
        ASSERT_GT(height, 0);
        ASSERT_LE(left + width, 32);
        ASSERT_LE(top + height, 32);
        for (int y = top; y < top + height; ++y)
            for (int x = left; x < left + width; ++x)
                painted.setPixel(x, y, colour.rgba());
        ++rects;
        xml.skipCurrentElement();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    ASSERT_GT(rects, 0);
    const QImage tray = TrayIcon();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(painted.pixel(x, y), ArtworkAt(tray, 32, x, y)) << "at " << x << "," << y;
}

} // namespace
