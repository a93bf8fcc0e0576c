#pragma once

// The menu painter of one popup menu: the skin's style and menu colours while it is wrapped,
// the menu's own drawing again when it finishes.

#include "skin/StyleKeeper.h"

#include <QMenu>
#include <QPointer>

#include <memory>

class SkinStyle;
class TSkinData;

class TWinSkinPopMenu {
public:
    // Puts the skin on the menu at once: a menu measures its items when it pops up.
    TWinSkinPopMenu(QMenu* menu, TSkinData* skin);
    ~TWinSkinPopMenu();
    TWinSkinPopMenu(const TWinSkinPopMenu&) = delete;
    TWinSkinPopMenu& operator=(const TWinSkinPopMenu&) = delete;

    QMenu* Menu() const { return menu_; }
    TSkinData* Skin() const { return skin_; }
    const SkinStyle* Style() const { return style_.get(); }

    void Refresh();
    void CompleteRefresh();
    void Finish();

private:
    QPointer<QMenu> menu_;
    TSkinData* skin_;
    std::unique_ptr<SkinStyle> style_;
    StyleKeeper keeper_;
};
