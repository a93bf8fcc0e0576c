#include "skin/SystemColours.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

namespace {

TColor FromQColor(const QColor& c) {
    return RGBColor(c.red(), c.green(), c.blue());
}

} // namespace

TSystemColours PlatformSystemColours() {
    QPalette p = QGuiApplication::instance() ? QGuiApplication::palette() : QPalette();
    TSystemColours c;
    c.WindowText = FromQColor(p.color(QPalette::Active, QPalette::WindowText));
    c.ButtonFace = FromQColor(p.color(QPalette::Active, QPalette::Button));
    c.Scrollbar = FromQColor(p.color(QPalette::Active, QPalette::Midlight));
    c.HighlightText = FromQColor(p.color(QPalette::Active, QPalette::HighlightedText));
    c.Highlight = FromQColor(p.color(QPalette::Active, QPalette::Highlight));
    c.Menu = FromQColor(p.color(QPalette::Active, QPalette::Window));
    c.MenuText = FromQColor(p.color(QPalette::Active, QPalette::WindowText));
    c.ButtonText = FromQColor(p.color(QPalette::Active, QPalette::ButtonText));
    c.ButtonHighlight = FromQColor(p.color(QPalette::Active, QPalette::Light));
    c.ButtonShadow = FromQColor(p.color(QPalette::Active, QPalette::Dark));
    c.CaptionText = FromQColor(p.color(QPalette::Active, QPalette::HighlightedText));
    c.InactiveCaptionText = FromQColor(p.color(QPalette::Inactive, QPalette::WindowText));
    return c;
}
