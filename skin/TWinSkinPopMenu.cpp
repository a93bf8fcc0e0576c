#include "skin/TWinSkinPopMenu.h"

#include "skin/SkinStyle.h"
#include "skin/TSkinData.h"

TWinSkinPopMenu::TWinSkinPopMenu(QMenu* menu, TSkinData* skin) : menu_(menu), skin_(skin) {
    if (!menu_)
        return;
    style_ = MakeSkinStyle(*skin_);
    keeper_.PutPalette(menu_, style_->Look().menuPalette);
    keeper_.PutStyle(menu_, style_.get());
}

TWinSkinPopMenu::~TWinSkinPopMenu() {
    Finish();
}

void TWinSkinPopMenu::Refresh() {
    if (!menu_ || !style_)
        return;
    std::unique_ptr<SkinStyle> fresh = MakeSkinStyle(*skin_);
    keeper_.PutPalette(menu_, fresh->Look().menuPalette);
    keeper_.Restyle(fresh.get());
    style_ = std::move(fresh);
}

void TWinSkinPopMenu::CompleteRefresh() {
    if (menu_)
        menu_->update();
}

void TWinSkinPopMenu::Finish() {
    keeper_.GiveBack();
    style_.reset();
}
