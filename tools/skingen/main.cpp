// skingen: draws the program's own skin ("Slate") and writes its description.
//
//   skingen <folder>
//
// Writes skin.ini and the bitmaps it names into the folder. Everything is drawn without
// antialiasing on a magenta (255, 0, 255) background, the colour that elements with Trans=1
// treat as transparent, so no blended pink fringe appears around rounded shapes.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygon>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace {

const QColor kKey(255, 0, 255);
const QColor kFace(226, 231, 238);
const QColor kLight(250, 251, 253);
const QColor kWhite(255, 255, 255);
const QColor kShadow(140, 152, 170);
const QColor kDark(70, 82, 100);
const QColor kText(24, 32, 44);
const QColor kAccent(52, 104, 168);
const QColor kAccentLight(96, 150, 214);
const QColor kHot(214, 230, 248);
const QColor kPressed(190, 205, 225);
const QColor kDisabledFace(236, 238, 241);
const QColor kDisabledLine(190, 196, 204);

enum State { Normal, Hot, Pressed, Disabled, Default };

QString g_folder;

// A strip of `frames` frames of w x h, each drawn by `draw` into its own rectangle.
void Strip(const char* name, int w, int h, int frames,
           const std::function<void(QPainter&, const QRect&, int)>& draw) {
    QImage image(w * frames, h, QImage::Format_RGB32);
    image.fill(kKey);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < frames; ++i)
        draw(p, QRect(i * w, 0, w, h), i);
    p.end();
    QString path = g_folder + "/" + name;
    if (!image.save(path, "BMP")) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

void Gradient(QPainter& p, const QRect& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(r, g);
}

// A rectangle with its four corner pixels cut (left in the key colour), filled and outlined.
void RoundBox(QPainter& p, const QRect& r, const QColor& top, const QColor& bottom,
              const QColor& border, int borderWidth = 1) {
    Gradient(p, r.adjusted(1, 1, -1, -1), top, bottom);
    p.setPen(border);
    for (int i = 0; i < borderWidth; ++i) {
        QRect b = r.adjusted(i, i, -i, -i);
        p.drawLine(b.left() + 1, b.top(), b.right() - 1, b.top());
        p.drawLine(b.left() + 1, b.bottom(), b.right() - 1, b.bottom());
        p.drawLine(b.left(), b.top() + 1, b.left(), b.bottom() - 1);
        p.drawLine(b.right(), b.top() + 1, b.right(), b.bottom() - 1);
    }
}

void ButtonFace(QPainter& p, const QRect& r, int state) {
    switch (state) {
    case Normal:
        RoundBox(p, r, kLight, kFace, kShadow);
        break;
    case Hot:
        RoundBox(p, r, kWhite, kHot, kAccentLight);
        break;
    case Pressed:
        RoundBox(p, r, kPressed, kHot, kAccent);
        break;
    case Disabled:
        RoundBox(p, r, kDisabledFace, kDisabledFace, kDisabledLine);
        break;
    default:
        RoundBox(p, r, kLight, kFace, kAccent, 2);
        break;
    }
}

// Check and radio frames: 0..3 unchecked normal, hot, pressed, disabled; 4..7 the same checked.
void Indicator(QPainter& p, const QRect& r, int frame, bool radio) {
    int state = frame % 4;
    bool checked = frame >= 4;
    QColor fill = state == Hot ? kHot : state == Pressed ? kPressed : kWhite;
    QColor border = state == Disabled ? kDisabledLine : state == Normal ? kShadow : kAccent;
    QColor mark = state == Disabled ? kShadow : kAccent;
    if (state == Disabled)
        fill = kDisabledFace;
    QRect box = r.adjusted(0, 0, -1, -1);
    if (radio) {
        p.setPen(border);
        p.setBrush(fill);
        p.drawEllipse(box);
        if (checked) {
            p.setPen(Qt::NoPen);
            p.setBrush(mark);
            p.drawEllipse(box.center(), 2, 2);
        }
        p.setBrush(Qt::NoBrush);
        return;
    }
    p.fillRect(box, fill);
    p.setPen(border);
    p.drawRect(box);
    if (checked) {
        p.setPen(QPen(mark, 2));
        QPoint o = r.topLeft();
        p.drawPolyline(QPolygon({o + QPoint(3, 6), o + QPoint(5, 9), o + QPoint(10, 3)}));
    }
}

// Scroll arrows: 0..3 up, 4..7 down, 8..11 left, 12..15 right (normal, hot, pressed,
// disabled); 16..22 plain buttons.
void ScrollArrow(QPainter& p, const QRect& r, int frame) {
    int state = frame % 4;
    ButtonFace(p, r, frame >= 16 ? Normal : state);
    if (frame >= 16)
        return;
    int direction = frame / 4;
    QPoint c = r.center();
    QPolygon tri;
    switch (direction) {
    case 0:
        tri << c + QPoint(-4, 2) << c + QPoint(4, 2) << c + QPoint(0, -2);
        break;
    case 1:
        tri << c + QPoint(-4, -2) << c + QPoint(4, -2) << c + QPoint(0, 2);
        break;
    case 2:
        tri << c + QPoint(2, -4) << c + QPoint(2, 4) << c + QPoint(-2, 0);
        break;
    default:
        tri << c + QPoint(-2, -4) << c + QPoint(-2, 4) << c + QPoint(2, 0);
        break;
    }
    QColor ink = state == Disabled ? kDisabledLine : kDark;
    p.setPen(ink);
    p.setBrush(ink);
    p.drawPolygon(tri);
    p.setBrush(Qt::NoBrush);
}

void Track(QPainter& p, const QRect& r, int state, bool horizontal) {
    QColor a = state == Disabled ? kDisabledFace : state == Pressed ? kPressed : kLight;
    QColor b = state == Hot ? kHot : state == Disabled ? kDisabledFace : QColor(232, 236, 242);
    QLinearGradient g(horizontal ? r.topLeft() : r.topLeft(),
                      horizontal ? r.bottomLeft() : r.topRight());
    g.setColorAt(0, b);
    g.setColorAt(1, a);
    p.fillRect(r, g);
}

void Thumb(QPainter& p, const QRect& r, int state) {
    QColor top = state == Hot ? kAccentLight : state == Pressed ? kAccent : QColor(168, 184, 206);
    QColor bottom = state == Pressed ? kAccent.darker(115) : top.darker(110);
    RoundBox(p, r, top, bottom, kDark);
}

void Edge(QPainter& p, const QRect& r, int state) {
    QColor border = state == 1   ? kAccentLight
                    : state == 2 ? kAccent
                    : state == 3 ? kDisabledLine
                                 : kShadow;
    p.fillRect(r, state == 3 ? kDisabledFace : kWhite);
    p.setPen(border);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (state == 2) {
        p.drawRect(r.adjusted(1, 1, -2, -2));
    }
}

void Glyph(QPainter& p, const QRect& r, int kind, const QColor& ink) {
    p.setPen(QPen(ink, 2));
    QRect g = r.adjusted(r.width() / 4, r.height() / 4, -r.width() / 4, -r.height() / 4);
    switch (kind) {
    case 0: // minimise
        p.drawLine(g.left(), g.bottom(), g.right(), g.bottom());
        break;
    case 1: // restore
        p.drawRect(g.adjusted(0, 1, -1, 0));
        break;
    default: // close
        p.drawLine(g.topLeft(), g.bottomRight());
        p.drawLine(g.bottomLeft(), g.topRight());
        break;
    }
    p.setPen(QPen(ink, 1));
}

void WriteDescription() {
    const char* text = R"([TitlebarSkin]
SkinName=Slate

[Personality]

[Colours]
WindowText=24,32,44
ButtonFace=226,231,238
Scrollbar=236,239,244
HilightText=255,255,255
Hilight=52,104,168
Menubar=226,231,238
Menu=250,251,253
MenuText=24,32,44
ButtonText=24,32,44
ButtonHilight=255,255,255
Buttonlight=240,243,247
ButtonShadow=140,152,170
ButtonDkShadow=70,82,100
MenuBarText=24,32,44
TitleTextActive=255,255,255

[ButtonClose]
Action=0
Align=1
Xcoord=22
Ycoord=5
ButtonImage=close.bmp

[MDICONTROLS]
Image=mdi.bmp

[Buttons]
Bitmap=button.bmp
CheckButton=check.bmp
RadioButton=radio.bmp
LeftWidth=4
RightWidth=4
TopHeight=4
BottomHeight=4
Trans=1
CheckButtonFrame=8
RadioButtonFrame=8
NormalColour2=24,32,44
MouseOverColour2=20,60,110
PressedColour2=10,40,80

[Progress]
Bitmap=progress.bmp
LeftWidth=3
RightWidth=3
TopHeight=3
BottomHeight=3

[GroupBoxEdge]
Image=groupbox.bmp
LeftWidth=4
RightWidth=4
TopHeight=4
BottomHeight=4
Trans=1

[StatusBarEdges]
Image=statusbar.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2

[SunkEdge]
Image=sunkedge.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2

[Headerbar]
Image=header.bmp
LeftWidth=3
RightWidth=3
TopHeight=3
BottomHeight=3

[MenuItem]
Image=menuitem.bmp
LeftWidth=3
RightWidth=3
TopHeight=3
BottomHeight=3
Trans=1
NormalColour2=24,32,44
MouseOverColour2=255,255,255
PressedColour2=255,255,255

[MenuBackground]
Image=menubg.bmp
LeftWidth=2
RightWidth=2
TopHeight=2
BottomHeight=2

[Scrollbar]
Image=scrollbar.bmp
Trans=1

[HorzScroll]
Image=hscroll.bmp

[VertScroll]
Image=vscroll.bmp

[HorzScrollThumb]
Image=hthumb.bmp
LeftWidth=4
RightWidth=4
TopHeight=4
BottomHeight=4
Trans=1
FrameCount=3

[VertScrollThumb]
Image=vthumb.bmp
LeftWidth=4
RightWidth=4
TopHeight=4
BottomHeight=4
Trans=1
FrameCount=3
)";
    std::string crlf;
    for (const char* c = text; *c; ++c) {
        if (*c == '\n')
            crlf += '\r';
        crlf += *c;
    }
    std::ofstream out((g_folder + "/skin.ini").toStdString(), std::ios::binary | std::ios::trunc);
    out << crlf;
    if (!out) {
        std::fprintf(stderr, "skingen: cannot write skin.ini\n");
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen <folder>\n");
        return 2;
    }
    g_folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(g_folder)) {
        std::fprintf(stderr, "skingen: cannot create %s\n", argv[1]);
        return 1;
    }

    Strip("button.bmp", 32, 24, 5, [](QPainter& p, const QRect& r, int i) { ButtonFace(p, r, i); });
    Strip("check.bmp", 13, 13, 8,
          [](QPainter& p, const QRect& r, int i) { Indicator(p, r, i, false); });
    Strip("radio.bmp", 13, 13, 8,
          [](QPainter& p, const QRect& r, int i) { Indicator(p, r, i, true); });
    Strip("groupbox.bmp", 16, 16, 2, [](QPainter& p, const QRect& r, int i) {
        RoundBox(p, r, kFace, kFace, i == 0 ? kShadow : kDisabledLine);
    });
    Strip("statusbar.bmp", 16, 16, 3, [](QPainter& p, const QRect& r, int i) {
        Gradient(p, r, kFace, kFace.darker(106));
        if (i == 0) {
            p.setPen(kLight);
            p.drawLine(r.topLeft(), r.topRight());
        } else if (i == 1) {
            p.setPen(kShadow);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(kWhite);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
        } else {
            for (int d = 0; d < 3; ++d)
                for (int k = 0; k <= d; ++k) {
                    QPoint at = r.bottomRight() - QPoint(3 + 4 * k, 3 + 4 * (d - k));
                    p.fillRect(QRect(at, QSize(2, 2)), kShadow);
                }
        }
    });
    Strip("scrollbar.bmp", 16, 16, 23,
          [](QPainter& p, const QRect& r, int i) { ScrollArrow(p, r, i); });
    Strip("hscroll.bmp", 16, 16, 4,
          [](QPainter& p, const QRect& r, int i) { Track(p, r, i, true); });
    Strip("vscroll.bmp", 16, 16, 4,
          [](QPainter& p, const QRect& r, int i) { Track(p, r, i, false); });
    Strip("hthumb.bmp", 16, 16, 3, [](QPainter& p, const QRect& r, int i) { Thumb(p, r, i); });
    Strip("vthumb.bmp", 16, 16, 3, [](QPainter& p, const QRect& r, int i) { Thumb(p, r, i); });
    Strip("progress.bmp", 16, 16, 2, [](QPainter& p, const QRect& r, int i) {
        if (i == 0) {
            Edge(p, r, 0);
        } else {
            Gradient(p, r, kAccentLight, kAccent);
            p.setPen(kAccent.darker(120));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
    });
    Strip("header.bmp", 16, 20, 5, [](QPainter& p, const QRect& r, int i) {
        QColor top = i == Hot ? kWhite : i == Pressed ? kPressed : kLight;
        QColor bottom = i == Hot ? kHot : i == Disabled ? kDisabledFace : kFace;
        Gradient(p, r, top, bottom);
        p.setPen(i == Default ? kAccent : kShadow);
        p.drawLine(r.topRight(), r.bottomRight());
        p.drawLine(r.bottomLeft(), r.bottomRight());
    });
    Strip("menuitem.bmp", 16, 20, 5, [](QPainter& p, const QRect& r, int i) {
        if (i == 4) {
            RoundBox(p, r, kDisabledFace, kDisabledFace, kDisabledLine);
            return;
        }
        RoundBox(p, r, i == 0 ? kLight : kAccentLight, i == 0 ? kLight : kAccent,
                 i == 0 ? kLight : kAccent.darker(110));
    });
    Strip("menubg.bmp", 16, 16, 1, [](QPainter& p, const QRect& r, int) {
        p.fillRect(r, kLight);
        p.setPen(kShadow);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    });
    Strip("sunkedge.bmp", 12, 12, 4, [](QPainter& p, const QRect& r, int i) { Edge(p, r, i); });
    Strip("close.bmp", 18, 16, 3, [](QPainter& p, const QRect& r, int i) {
        RoundBox(p, r, i == 1 ? QColor(232, 96, 80) : kAccentLight,
                 i == 2 ? QColor(170, 50, 40) : kAccent, kDark);
        Glyph(p, r, 2, kWhite);
    });
    // MDI buttons: one image of three buttons (minimise, restore, close) of four frames each.
    Strip("mdi.bmp", 12, 12, 12, [](QPainter& p, const QRect& r, int i) {
        ButtonFace(p, r, i % 4);
        Glyph(p, r, i / 4, i % 4 == Disabled ? kDisabledLine : kDark);
    });

    WriteDescription();
    return 0;
}
