#include "skin/TWinSkinForm.h"

#include "skin/SkinStyle.h"
#include "skin/TSkinData.h"

#include <QMenu>

bool SkinnedSeparately(const QWidget* widget) {
    return widget->isWindow() || qobject_cast<const QMenu*>(widget);
}

TWinSkinForm::TWinSkinForm(QWidget* window, TSkinData* skin, QWidget* form)
    : window_(window), form_(form), skin_(skin) {}

TWinSkinForm::~TWinSkinForm() {
    Finish();
}

void TWinSkinForm::Apply() {
    if (!window_ || Applied())
        return;
    style_ = MakeSkinStyle(*skin_);
    keeper_.PutPalette(window_, style_->Look().palette);
    PutOnTree(window_);
    window_->update();
}

bool TWinSkinForm::KeepsNormalLook(const QWidget* control) const {
    // A control tagged with the component's DisableTag keeps the normal look, and so does
    // everything inside it.
    const QVariant tag = control->property("Tag");
    return control != window_ && tag.isValid() && tag.toInt() == skin_->DisableTag();
}

void TWinSkinForm::PutOnTree(QWidget* widget) {
    if (KeepsNormalLook(widget))
        return;
    keeper_.PutStyle(widget, style_.get());
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!SkinnedSeparately(child))
            PutOnTree(child);
    }
}

void TWinSkinForm::AdoptChild(QWidget* child) {
    if (!Applied() || !child || SkinnedSeparately(child) || keeper_.HoldsStyle(child))
        return;
    for (const QWidget* up = child->parentWidget(); up && up != window_; up = up->parentWidget()) {
        if (KeepsNormalLook(up))
            return;
    }
    PutOnTree(child);
}

void TWinSkinForm::Refresh() {
    if (!window_ || !Applied())
        return;
    std::unique_ptr<SkinStyle> fresh = MakeSkinStyle(*skin_);
    keeper_.PutPalette(window_, fresh->Look().palette);
    keeper_.Restyle(fresh.get());
    // The old style is released only after no widget uses it any more.
    style_ = std::move(fresh);
}

void TWinSkinForm::CompleteRefresh() {
    for (QWidget* widget : keeper_.Widgets()) {
        widget->updateGeometry();
        widget->update();
    }
}

void TWinSkinForm::Finish() {
    keeper_.GiveBack();
    if (window_)
        window_->update();
    style_.reset();
}
