#include "skin/SkinLook.h"

#include <QPainter>

#include <algorithm>

QSize SkinPiece::FrameSize() const {
    if (IsNull())
        return {};
    return {image.width() / frames, image.height()};
}

QRect SkinPiece::FrameRect(int index) const {
    if (IsNull())
        return {};
    if (index < 0 || index >= frames)
        index = 0;
    const int width = image.width() / frames;
    return {index * width, 0, width, image.height()};
}

QImage PrepareSkinImage(const QImage& source, bool transparent) {
    if (source.isNull())
        return {};
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    if (transparent) {
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if ((line[x] & 0x00ffffff) == (kSkinTransparentColour & 0x00ffffff))
                    line[x] = 0;
            }
        }
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

namespace {

void DrawPart(QPainter& painter, const QRect& target, const QImage& image, const QRect& source,
              bool tile) {
    if (target.isEmpty() || source.isEmpty())
        return;
    if (!tile) {
        painter.drawImage(target, image, source);
        return;
    }
    painter.save();
    painter.setClipRect(target, Qt::IntersectClip);
    for (int y = target.top(); y <= target.bottom(); y += source.height()) {
        for (int x = target.left(); x <= target.right(); x += source.width())
            painter.drawImage(QPoint(x, y), image, source);
    }
    painter.restore();
}

// Fixed edges that do not fit the target shrink in proportion, so small controls still show
// both of their borders.
void FitEdges(int available, int& first, int& second) {
    const int total = first + second;
    if (total <= available || total <= 0)
        return;
    first = first * available / total;
    second = available - first;
}

} // namespace

void DrawSkinPiece(QPainter& painter, const QRect& target, const SkinPiece& piece, int frame,
                   bool hollow) {
    if (piece.IsNull() || target.isEmpty())
        return;
    const QRect src = piece.FrameRect(frame);
    int sl = std::clamp(piece.edges.left(), 0, src.width());
    int sr = std::clamp(piece.edges.right(), 0, src.width() - sl);
    int st = std::clamp(piece.edges.top(), 0, src.height());
    int sb = std::clamp(piece.edges.bottom(), 0, src.height() - st);
    int dl = sl, dr = sr, dt = st, db = sb;
    FitEdges(target.width(), dl, dr);
    FitEdges(target.height(), dt, db);

    const int srcX[4] = {src.left(), src.left() + sl, src.right() + 1 - sr, src.right() + 1};
    const int srcY[4] = {src.top(), src.top() + st, src.bottom() + 1 - sb, src.bottom() + 1};
    const int dstX[4] = {target.left(), target.left() + dl, target.right() + 1 - dr,
                         target.right() + 1};
    const int dstY[4] = {target.top(), target.top() + dt, target.bottom() + 1 - db,
                         target.bottom() + 1};

    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if (hollow && row == 1 && column == 1)
                continue;
            const QRect s(QPoint(srcX[column], srcY[row]),
                          QPoint(srcX[column + 1] - 1, srcY[row + 1] - 1));
            const QRect d(QPoint(dstX[column], dstY[row]),
                          QPoint(dstX[column + 1] - 1, dstY[row + 1] - 1));
            // Corners are never tiled: they are drawn once at their own size.
            const bool corner = row != 1 && column != 1;
            DrawPart(painter, d, piece.image, s, piece.tile && !corner);
        }
    }
}

namespace {

SkinPiece PieceOf(const TDataSkinObject& element) {
    SkinPiece piece;
    piece.image = PrepareSkinImage(element.Image, element.Trans != 0);
    piece.frames = std::max(element.Frame, 1);
    piece.edges =
        QMargins(element.LeftWidth, element.TopHeight, element.RightWidth, element.BottomHeight);
    piece.tile = element.Tile != 0;
    piece.textColours = {ToQColor(element.NormalColour2), ToQColor(element.MouseOverColour2),
                         ToQColor(element.PressedColour2)};
    return piece;
}

template <class Element>
SkinPiece PieceOf(const std::optional<Element>& element, bool wanted = true) {
    if (!element || !wanted)
        return {};
    return PieceOf(static_cast<const TDataSkinObject&>(*element));
}

SkinPiece IndicatorPiece(const TDataSkinButton& button, const QImage& image, int frames) {
    SkinPiece piece;
    piece.image = PrepareSkinImage(image, button.Trans != 0);
    piece.frames = std::max(frames, 1);
    return piece;
}

void SetAllGroups(QPalette& palette, QPalette::ColorRole role, TColor colour) {
    palette.setColor(role, ToQColor(colour));
}

void SetEnabledGroups(QPalette& palette, QPalette::ColorRole role, TColor colour) {
    palette.setColor(QPalette::Active, role, ToQColor(colour));
    palette.setColor(QPalette::Inactive, role, ToQColor(colour));
}

} // namespace

SkinLook MakeSkinLook(const TSkinElements& elements, const TSkinControls& controls,
                      const QPalette& base) {
    auto has = [&controls](TSkinControlType kind) { return controls.count(kind) != 0; };
    const TSkinColours& c = elements.Colours;
    SkinLook look;

    QPalette& p = look.palette;
    p = base;
    SetAllGroups(p, QPalette::Window, c.ButtonFace);
    SetAllGroups(p, QPalette::Button, c.ButtonFace);
    SetAllGroups(p, QPalette::Highlight, c.Hilight);
    SetAllGroups(p, QPalette::HighlightedText, c.HilightText);
    SetAllGroups(p, QPalette::Light, c.ButtonHilight);
    SetAllGroups(p, QPalette::Midlight, c.Buttonlight);
    SetAllGroups(p, QPalette::Mid, c.ButtonShadow);
    SetAllGroups(p, QPalette::Dark, c.ButtonShadow);
    SetAllGroups(p, QPalette::Shadow, c.ButtonDkShadow);
    SetEnabledGroups(p, QPalette::WindowText, c.WindowText);
    SetEnabledGroups(p, QPalette::Text, c.WindowText);
    SetEnabledGroups(p, QPalette::ButtonText, c.ButtonText);
    // Disabled text is drawn in the shadow colour, as grey text is on the classic desktop.
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, ToQColor(c.ButtonShadow));

    QPalette& m = look.menuPalette;
    m = p;
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        SetAllGroups(m, role, c.Menu);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        SetEnabledGroups(m, role, c.MenuText);

    if (elements.Button && has(xcButton)) {
        look.button = PieceOf(*elements.Button);
        look.button.frames = std::max(elements.Button->Frame, 1);
    }
    if (elements.Button && has(xcCheckBox))
        look.checkBox = IndicatorPiece(*elements.Button, elements.Button->CheckImage,
                                       elements.Button->CheckButtonFrame);
    if (elements.Button && has(xcRadioButton))
        look.radioButton = IndicatorPiece(*elements.Button, elements.Button->RadioImage,
                                          elements.Button->RadioButtonFrame);
    look.groupBox = PieceOf(elements.GroupBoxEdge, has(xcGroupBox));
    look.statusBar = PieceOf(elements.StatusBarEdges, has(xcStatusBar));
    const bool scroll = has(xcScrollbar);
    look.scrollArrows = PieceOf(elements.Scrollbar, scroll);
    look.horzScroll = PieceOf(elements.HorzScroll, scroll);
    look.vertScroll = PieceOf(elements.VertScroll, scroll);
    look.horzThumb = PieceOf(elements.HorzScrollThumb, scroll);
    look.vertThumb = PieceOf(elements.VertScrollThumb, scroll);
    look.progress = PieceOf(elements.Progress, has(xcProgress));
    // Header sections belong to the list views, which the skin treats as panels.
    look.header = PieceOf(elements.Headerbar, has(xcPanel));
    look.menuItem = PieceOf(elements.MenuItem, has(xcPopupMenu));
    look.menuBackground = PieceOf(elements.MenuBackground, has(xcPopupMenu));
    look.sunkEdge = PieceOf(elements.SunkEdge, has(xcEdit));
    return look;
}
