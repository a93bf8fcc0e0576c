#pragma once

// Puts a style on widgets and gives each back its own style and palette later: what a painter
// needs to skin a window and to return it to its normal look.

#include <QPalette>
#include <QPointer>
#include <QStyle>
#include <QWidget>

#include <vector>

class StyleKeeper {
public:
    StyleKeeper() = default;
    StyleKeeper(const StyleKeeper&) = delete;
    StyleKeeper& operator=(const StyleKeeper&) = delete;
    ~StyleKeeper() { GiveBack(); }

    // Puts `style` on `widget`, remembering the widget's own style the first time.
    void PutStyle(QWidget* widget, QStyle* style);
    // Puts `palette` on `widget`, remembering the widget's own palette the first time.
    void PutPalette(QWidget* widget, const QPalette& palette);
    // Every widget given a style so far switches to `style` (a rebuilt skin).
    void Restyle(QStyle* style);
    // Every widget still alive gets its own style and palette back; the keeper forgets them.
    void GiveBack();
    bool HoldsStyle(const QWidget* widget) const;
    // The widgets given a style that are still alive.
    std::vector<QWidget*> Widgets() const;

private:
    struct KeptStyle {
        QPointer<QWidget> widget;
        QPointer<QStyle> own; // null: the widget followed the application's style
    };
    struct KeptPalette {
        QPointer<QWidget> widget;
        QPalette own;
        bool wasSet; // the widget had a palette of its own
    };
    std::vector<KeptStyle> styles_;
    std::vector<KeptPalette> palettes_;
};
