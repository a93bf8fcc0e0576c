#include "HicolorIcons.h"

#include <QDir>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

// Length of the overlap of [a0, a1) and [b0, b1).
int Overlap(int a0, int a1, int b0, int b1) {
    return std::max(0, std::min(a1, b1) - std::max(a0, b0));
}

// Rounded quotient of non-negative integers.
int Divide(long long numerator, long long denominator) {
    return static_cast<int>((2 * numerator + denominator) / (2 * denominator));
}

} // namespace

QImage Scaled(const Picture& picture, int size) {
    // Lengths are counted in units of 1/(32 * size) of the icon's side: a grid cell is `size`
    // units wide and an output pixel 32, so all overlaps are whole numbers.
    constexpr int n = kArtworkSize;
    QImage image(size, size, QImage::Format_ARGB32);
    for (int oy = 0; oy < size; ++oy) {
        for (int ox = 0; ox < size; ++ox) {
            long long covered = 0, red = 0, green = 0, blue = 0;
            for (int sy = oy * n / size; sy < n && sy * size < (oy + 1) * n; ++sy) {
                const int h = Overlap(sy * size, (sy + 1) * size, oy * n, (oy + 1) * n);
                for (int sx = ox * n / size; sx < n && sx * size < (ox + 1) * n; ++sx) {
                    const int colour = picture[sy][sx];
                    if (colour == kTransparent)
                        continue;
                    const long long area =
                        static_cast<long long>(h) *
                        Overlap(sx * size, (sx + 1) * size, ox * n, (ox + 1) * n);
                    covered += area;
                    red += area * kPalette[colour][0];
                    green += area * kPalette[colour][1];
                    blue += area * kPalette[colour][2];
                }
            }
            QRgb pixel = qRgba(0, 0, 0, 0);
            if (covered > 0)
                pixel = qRgba(Divide(red, covered), Divide(green, covered), Divide(blue, covered),
                              Divide(covered * 255, n * n));
            image.setPixel(ox, oy, pixel);
        }
    }
    return image;
}

std::string Svg(const std::vector<Box>& boxes) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
                      "viewBox=\"0 0 32 32\" shape-rendering=\"crispEdges\">\n";
    for (const Box& b : boxes) {
        char rect[128];
        std::snprintf(
            rect, sizeof rect,
            "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#%02x%02x%02x\"/>\n", b.left,
            b.top, b.right - b.left + 1, b.bottom - b.top + 1, kPalette[b.colour][0],
            kPalette[b.colour][1], kPalette[b.colour][2]);
        out += rect;
    }
    out += "</svg>\n";
    return out;
}

bool WriteHicolor(const QString& folder, const QString& name) {
    const std::vector<Box> boxes = ArtworkBoxes();
    const Picture picture = Paint(boxes);
    for (int size : kHicolorSizes) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QString path = dir + "/" + name + ".png";
        if (!QDir().mkpath(dir) || !Scaled(picture, size).save(path, "PNG")) {
            std::fprintf(stderr, "iconmaker: cannot write %s\n", qPrintable(path));
            return false;
        }
    }
    const QString dir = folder + "/scalable/apps";
    const QString path = dir + "/" + name + ".svg";
    const std::string svg = Svg(boxes);
    std::ofstream file;
    if (QDir().mkpath(dir))
        file.open(path.toStdString(), std::ios::binary | std::ios::trunc);
    if (!file || !file.write(svg.data(), static_cast<std::streamsize>(svg.size())) ||
        !file.flush()) {
        std::fprintf(stderr, "iconmaker: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}
