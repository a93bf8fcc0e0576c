#include "skin/TSkinManage.h"

#include "platform/ErrorReport.h"
#include "skin/TSkinData.h"
#include "skin/TWinSkinForm.h"
#include "skin/TWinSkinPopMenu.h"

#include <QApplication>
#include <QDialog>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <cctype>

namespace {

// The manager components register with; the one Instance() made for the process.
TSkinManage* current = nullptr;
TSkinManage* processManager = nullptr;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// A form of the program: a window of its own that is not a popup, tooltip or the desktop.
bool IsForm(const QWidget* widget) {
    if (!widget->isWindow())
        return false;
    switch (widget->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::Desktop:
        return false;
    default:
        return true;
    }
}

const char* kCommandTimerName = "SkinCommandTimer";
constexpr int kCommandInterval = 250;
constexpr int kDisabledTag = 99;

} // namespace

TSkinManage& TSkinManage::Instance() {
    if (!current) {
        processManager = new TSkinManage;
        if (QCoreApplication::instance())
            qAddPostRoutine(&TSkinManage::Destroy);
    }
    return *current;
}

bool TSkinManage::Exists() {
    return current != nullptr;
}

void TSkinManage::Destroy() {
    delete processManager;
    processManager = nullptr;
}

TSkinManage::TSkinManage() : previous_(current) {
    current = this;
    commandTimer_.setObjectName(QString::fromLatin1(kCommandTimerName));
    commandTimer_.setInterval(kCommandInterval);
    commandTimer_.setSingleShot(true);
    QObject::connect(&commandTimer_, &QTimer::timeout, this, [this] {
        if (Current())
            RunGuarded([this] { CarryOutCommand(); });
    });
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        filterInstalled_ = true;
    }
}

TSkinManage::~TSkinManage() {
    if (filterInstalled_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
    commandTimer_.stop();
    // Painters give their windows back before the lists go.
    while (!forms_.empty())
        forms_.pop_back();
    while (!menus_.empty())
        menus_.pop_back();
    // Out of the chain of managers wherever it stands, so that the one it stood for returns.
    if (current == this) {
        current = previous_;
        return;
    }
    for (TSkinManage* m = current; m; m = m->previous_) {
        if (m->previous_ == this) {
            m->previous_ = previous_;
            return;
        }
    }
}

bool TSkinManage::Current() const {
    return current == this;
}

void TSkinManage::Register(TSkinData* skin) {
    if (skin && std::find(skins_.begin(), skins_.end(), skin) == skins_.end())
        skins_.push_back(skin);
}

void TSkinManage::Unregister(TSkinData* skin) {
    skins_.erase(std::remove(skins_.begin(), skins_.end(), skin), skins_.end());
    if (reapplyRequester_ == skin)
        reapplyRequester_ = nullptr;
    // Painters must not outlive the elements they draw with.
    for (std::size_t i = forms_.size(); i-- > 0;) {
        if (forms_[i].painter->Skin() == skin)
            forms_.erase(forms_.begin() + std::ptrdiff_t(i));
    }
    for (std::size_t i = menus_.size(); i-- > 0;) {
        if (menus_[i].painter->Skin() == skin)
            menus_.erase(menus_.begin() + std::ptrdiff_t(i));
    }
}

void TSkinManage::Command(int n) {
    pendingCommand_ = n;
    if (activated_) {
        commandTimer_.start();
        return;
    }
    if (n == 1)
        skinningOn_ = true;
    else if (n == 2)
        skinningOn_ = false;
}

void TSkinManage::SetReapplyRequester(TSkinData* skin) {
    reapplyRequester_ = skin;
}

void TSkinManage::RefreshPainters() {
    for (auto& form : forms_)
        form.painter->Refresh();
    for (auto& menu : menus_)
        menu.painter->Refresh();
    for (auto& form : forms_)
        form.painter->CompleteRefresh();
    for (auto& menu : menus_)
        menu.painter->CompleteRefresh();
}

void TSkinManage::CarryOutCommand() {
    commandTimer_.stop();
    switch (pendingCommand_) {
    case 1:
        ApplyAll();
        break;
    case 2:
        RemoveAll();
        break;
    case 3:
        Reapply();
        break;
    default:
        break;
    }
}

void TSkinManage::ApplyAll() {
    skinningOn_ = true;
    sweeping_ = true;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (IsForm(*it))
            OfferWindow(*it);
    }
    sweeping_ = false;
}

void TSkinManage::RemoveAll() {
    skinningOn_ = false;
    while (!forms_.empty())
        forms_.pop_back(); // the painter gives the window back its own drawing
    // Menus live on between popups here, so they too return to the normal look at once.
    while (!menus_.empty())
        menus_.pop_back();
}

void TSkinManage::Reapply() {
    RefreshPainters();
    if (TSkinData* requester = reapplyRequester_) {
        reapplyRequester_ = nullptr;
        if (requester->OnSkinChanged)
            requester->OnSkinChanged(requester);
    }
}

std::string TSkinManage::WindowClassName(const QWidget* widget) {
    if (!widget)
        return {};
    if (qobject_cast<const QMessageBox*>(widget))
        return "TMessageForm";
    if (qobject_cast<const QMenu*>(widget))
        return "#32768";
    if (qobject_cast<const QMdiArea*>(widget))
        return "MDIClient";
    // The area's viewport is where its child windows live.
    if (const auto* area = qobject_cast<const QMdiArea*>(widget->parentWidget());
        area && area->viewport() == widget)
        return "MDIClient";
    if (qobject_cast<const QScrollBar*>(widget))
        return "ScrollBar";
    const std::string name = widget->metaObject()->className();
    // The toolkit's own dialogs play the part of the platform's dialog boxes.
    if (qobject_cast<const QDialog*>(widget) && StartsWith(name, "Q"))
        return "#32770";
    return name;
}

bool TSkinManage::ClassAllowed(const std::string& className) const {
    auto main = std::find_if(skins_.begin(), skins_.end(),
                             [](TSkinData* s) { return s->SkinFormtype() == sfMainform; });
    if (main == skins_.end())
        return true;
    TSkinData* skin = *main;
    if (className == "TQRStandardPreview" || className == "SysMonthCal32" ||
        className == "TppPrintPreview")
        return false;
    if (skin->SkinControls().count(xcFastReport) && StartsWith(className, "Tfr"))
        return false;
    if (skin->OnFormSkin) {
        bool doSkin = true;
        skin->OnFormSkin(skin, className, doSkin);
        return doSkin;
    }
    return true;
}

TSkinData* TSkinManage::ChooseSkin(const QWidget* window, const std::string& className) const {
    for (TSkinData* skin : skins_) {
        if (skin->SkinFormtype() == sfOnlyThisForm && skin->Owner() == window)
            return skin;
    }
    const std::string lower = Lower(className);
    if (lower == "tmessageform" || lower == "#32770") {
        for (TSkinData* skin : skins_) {
            if (skin->SkinFormtype() == sfDialog)
                return skin;
        }
    }
    for (TSkinData* skin : skins_) {
        if (skin->SkinFormtype() == sfMainform)
            return skin;
    }
    return skins_.empty() ? nullptr : skins_.front();
}

bool TSkinManage::OfferWindow(QWidget* window) {
    if (!window)
        return false;
    // Skinning is on and the window is not yet wrapped.
    if (!skinningOn_ || FormPainter(window))
        return false;
    // A plain child window is offered only by the sweep; MDI children always pass.
    if (!sweeping_ && !window->isWindow() &&
        Lower(WindowClassName(window->parentWidget())) != "mdiclient")
        return false;
    // The window has an area.
    const QRect frame = window->frameGeometry();
    if (frame.width() == 0 || frame.height() == 0)
        return false;
    // A form tagged 99 keeps the normal look.
    const QVariant tag = window->property("Tag");
    if (IsForm(window) && tag.isValid() && tag.toInt() == kDisabledTag)
        return false;
    // The application's own hidden window is never skinned.
    const std::string className = WindowClassName(window);
    if (className == "TApplication")
        return false;
    // The class filter.
    if (!ClassAllowed(className))
        return false;
    // The skin component, which must hold a skin.
    TSkinData* skin = ChooseSkin(window, className);
    if (!skin || skin->NoSkin())
        return false;

    forms_.push_back(
        {window, std::make_unique<TWinSkinForm>(window, skin, IsForm(window) ? window : nullptr)});
    QObject::connect(window, &QObject::destroyed, this,
                     [this](QObject* gone) { UnwrapWindow(gone); });
    QCoreApplication::postEvent(window, new TSkinApplyEvent(0, 1000));
    return true;
}

bool TSkinManage::WrapMenu(QMenu* menu) {
    if (!menu || !skinningOn_ || MenuPainter(menu))
        return false;
    TSkinData* skin = ChooseSkin(menu, WindowClassName(menu));
    if (!skin || skin->NoSkin())
        return false;
    menus_.push_back({menu, std::make_unique<TWinSkinPopMenu>(menu, skin)});
    QObject::connect(menu, &QObject::destroyed, this, [this](QObject* gone) { UnwrapMenu(gone); });
    return true;
}

TWinSkinForm* TSkinManage::FormPainter(const QWidget* window) const {
    for (const auto& form : forms_) {
        if (form.key == window)
            return form.painter.get();
    }
    return nullptr;
}

TWinSkinPopMenu* TSkinManage::MenuPainter(const QWidget* menu) const {
    for (const auto& wrapped : menus_) {
        if (wrapped.key == menu)
            return wrapped.painter.get();
    }
    return nullptr;
}

void TSkinManage::UnwrapWindow(const QObject* window) {
    auto it = std::find_if(forms_.begin(), forms_.end(),
                           [window](const WrappedForm& f) { return f.key == window; });
    if (it != forms_.end())
        forms_.erase(it);
}

void TSkinManage::UnwrapMenu(const QObject* menu) {
    auto it = std::find_if(menus_.begin(), menus_.end(),
                           [menu](const WrappedMenu& m) { return m.key == menu; });
    if (it != menus_.end())
        menus_.erase(it);
}

void TSkinManage::WindowActivated(QWidget* window) {
    activated_ = true;
    OfferWindow(window);
}

void TSkinManage::ChildPolished(QWidget* widget) {
    if (forms_.empty() || SkinnedSeparately(widget))
        return;
    if (TWinSkinForm* painter = FormPainter(widget->window()))
        painter->AdoptChild(widget);
}

bool TSkinManage::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::Polish && type != QEvent::Show && type != QEvent::WindowActivate &&
        type != TSkinApplyEvent::kType)
        return false;
    if (!watched->isWidgetType() || !Current())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    bool consumed = false;
    RunGuarded([&] {
        if (type == TSkinApplyEvent::kType) {
            if (TWinSkinForm* painter = FormPainter(widget))
                painter->Apply();
            consumed = true;
        } else if (type == QEvent::WindowActivate) {
            if (widget->isWindow())
                WindowActivated(widget);
        } else if (auto* menu = qobject_cast<QMenu*>(widget)) {
            WrapMenu(menu);
        } else if (type == QEvent::Polish && !widget->isWindow()) {
            ChildPolished(widget);
        } else if (type == QEvent::Show && IsForm(widget)) {
            // Without a window manager, or with one that keeps new windows from taking the
            // focus, a window may never be activated; it is offered when it first appears.
            OfferWindow(widget);
        }
    });
    return consumed;
}
