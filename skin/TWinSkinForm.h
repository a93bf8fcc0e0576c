#pragma once

// The frame painter of one wrapped window: when the manager's apply message arrives it puts the
// skin's style and palette on the window and on every control inside it (except controls whose
// "Tag" property is the component's DisableTag), and gives them back their own when it
// finishes. The title bar stays the window manager's.

#include "skin/StyleKeeper.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class SkinStyle;
class TSkinData;

class TWinSkinForm {
public:
    // `form` is the window itself when it is one of the program's forms, else null.
    TWinSkinForm(QWidget* window, TSkinData* skin, QWidget* form);
    ~TWinSkinForm();
    TWinSkinForm(const TWinSkinForm&) = delete;
    TWinSkinForm& operator=(const TWinSkinForm&) = delete;

    QWidget* Window() const { return window_; }
    QWidget* Form() const { return form_; }
    TSkinData* Skin() const { return skin_; }
    // True once the skin has been put on the window.
    bool Applied() const { return style_ != nullptr; }
    const SkinStyle* Style() const { return style_.get(); }

    // The apply message: builds the style from the component's elements (once) and puts it on
    // the window and its controls.
    void Apply();
    // A control that appeared inside the window after Apply.
    void AdoptChild(QWidget* child);
    // Re-apply, first pass: a new style from the current elements replaces the old one.
    void Refresh();
    // Re-apply, second pass: everything is repainted with the new style.
    void CompleteRefresh();
    // Gives the window and its controls back their own drawing.
    void Finish();

private:
    void PutOnTree(QWidget* widget);
    bool KeepsNormalLook(const QWidget* control) const;

    QPointer<QWidget> window_;
    QPointer<QWidget> form_;
    TSkinData* skin_;
    std::unique_ptr<SkinStyle> style_;
    StyleKeeper keeper_;
};

// True for widgets the frame painter leaves to others: windows of their own and popup menus.
bool SkinnedSeparately(const QWidget* widget);
