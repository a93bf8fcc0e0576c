#include "skin/StyleKeeper.h"

#include <algorithm>

void StyleKeeper::PutStyle(QWidget* widget, QStyle* style) {
    if (!widget)
        return;
    if (!HoldsStyle(widget)) {
        QStyle* own = widget->testAttribute(Qt::WA_SetStyle) ? widget->style() : nullptr;
        styles_.push_back({widget, own});
    }
    if (widget->style() != style)
        widget->setStyle(style);
}

void StyleKeeper::PutPalette(QWidget* widget, const QPalette& palette) {
    if (!widget)
        return;
    const bool known = std::any_of(palettes_.begin(), palettes_.end(),
                                   [widget](const KeptPalette& k) { return k.widget == widget; });
    if (!known)
        palettes_.push_back({widget, widget->palette(), widget->testAttribute(Qt::WA_SetPalette)});
    widget->setPalette(palette);
}

void StyleKeeper::Restyle(QStyle* style) {
    for (const KeptStyle& kept : styles_) {
        if (kept.widget && kept.widget->style() != style)
            kept.widget->setStyle(style);
    }
}

void StyleKeeper::GiveBack() {
    // Last in, first out, so that a widget kept twice ends with what it had first.
    for (auto it = palettes_.rbegin(); it != palettes_.rend(); ++it) {
        if (!it->widget)
            continue;
        // A default palette resolves nothing: the widget follows its parent again.
        it->widget->setPalette(it->wasSet ? it->own : QPalette());
    }
    palettes_.clear();
    for (auto it = styles_.rbegin(); it != styles_.rend(); ++it) {
        if (it->widget)
            it->widget->setStyle(it->own.data());
    }
    styles_.clear();
}

bool StyleKeeper::HoldsStyle(const QWidget* widget) const {
    return std::any_of(styles_.begin(), styles_.end(),
                       [widget](const KeptStyle& k) { return k.widget == widget; });
}

std::vector<QWidget*> StyleKeeper::Widgets() const {
    std::vector<QWidget*> alive;
    for (const KeptStyle& kept : styles_) {
        if (kept.widget)
            alive.push_back(kept.widget);
    }
    return alive;
}
