#pragma once

// The process-wide skin manager: decides which windows are skinned, with which registered skin
// component, and when skinning is switched on, off or re-applied. It watches the GUI thread's
// windows through an application-wide event filter and wraps each accepted window in a frame
// painter (TWinSkinForm) and each popup menu in a menu painter (TWinSkinPopMenu).

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

class QMenu;
class QWidget;
class TSkinData;
class TWinSkinForm;
class TWinSkinPopMenu;

// The message the manager posts to a window it has just wrapped (13571, parameters 0 and 1000):
// the frame painter (re)applies the skin to the window when it arrives.
class TSkinApplyEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(13571);
    TSkinApplyEvent(int wParam, int lParam) : QEvent(kType), WParam(wParam), LParam(lParam) {}
    const int WParam;
    const int LParam;
};

class TSkinManage : public QObject {
public:
    // The manager skin components register with: the most recently made one that is still
    // alive. Without any, one for the process is made here; it is destroyed when the
    // application object goes away, and a later call creates an inert one that watches nothing.
    static TSkinManage& Instance();
    // True when a manager exists (a skin component's destructor may run after the end).
    static bool Exists();

    // A manager of its own, in the state of a first use: it takes the place of the current one
    // until it is destroyed (a test gets a manager that has seen nothing so). A manager whose
    // place is taken watches nothing and carries out no command meanwhile.
    TSkinManage();
    ~TSkinManage() override;
    TSkinManage(const TSkinManage&) = delete;
    TSkinManage& operator=(const TSkinManage&) = delete;

    // Skin components register when they are created and unregister when destroyed, in
    // registration order. Unregistering unwraps every window and menu painted with it.
    void Register(TSkinData* skin);
    void Unregister(TSkinData* skin);

    // 1 apply, 2 remove, 3 re-apply. Before the first window activation 1 and 2 only switch
    // SkinningOn and 3 waits; afterwards the command is carried out by the command timer.
    void Command(int n);
    // The component whose OnSkinChanged is raised after the next re-apply (command 3).
    void SetReapplyRequester(TSkinData* skin);
    // Rebuilds every painter from its component's current skin elements (two passes: rebuild,
    // then repaint).
    void RefreshPainters();

    // Offers a window for wrapping. It is wrapped when skinning is on and it is not wrapped yet;
    // it is a window, an MDI child or offered by the sweep; it has an area; it is neither a form
    // tagged 99 nor the application's hidden window; the class filter lets it pass; and the
    // component chosen for it holds a skin. Returns true when it was wrapped.
    bool OfferWindow(QWidget* window);
    // Wraps a popup menu when skinning is on and a component holds a skin.
    bool WrapMenu(QMenu* menu);

    // The class name the wrapping checks see for a widget: our own forms keep their class name
    // ("TForm1"), message boxes are "TMessageForm", the toolkit's dialogs "#32770", popup
    // menus "#32768", an MDI area "MDIClient", scroll bars "ScrollBar".
    static std::string WindowClassName(const QWidget* widget);

    // State, for the components and for tests.
    bool SkinningOn() const { return skinningOn_; }
    bool Activated() const { return activated_; }
    bool Sweeping() const { return sweeping_; }
    int PendingCommand() const { return pendingCommand_; }
    const std::vector<TSkinData*>& Skins() const { return skins_; }
    TWinSkinForm* FormPainter(const QWidget* window) const;
    TWinSkinPopMenu* MenuPainter(const QWidget* menu) const;
    std::size_t WrappedWindowCount() const { return forms_.size(); }
    std::size_t WrappedMenuCount() const { return menus_.size(); }
    // The 250 ms single-shot command timer.
    const QTimer& CommandTimer() const { return commandTimer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs from the application object's destructor, while widgets still exist.
    static void Destroy();
    bool Current() const;

    void CarryOutCommand();
    void ApplyAll();
    void RemoveAll();
    void Reapply();
    // The class filter of the first sfMainform component: three preview and calendar classes
    // never, report designers ("Tfr...") not when its controls hold xcFastReport, then its
    // OnFormSkin decides. Every class passes without such a component.
    bool ClassAllowed(const std::string& className) const;
    // The component that paints a window of this class: the sfOnlyThisForm component the window
    // owns, for dialogs and message boxes the first sfDialog one, else the first sfMainform
    // one, else the first registered; null when none is registered.
    TSkinData* ChooseSkin(const QWidget* window, const std::string& className) const;
    void WindowActivated(QWidget* window);
    void ChildPolished(QWidget* widget);
    void UnwrapWindow(const QObject* window);
    void UnwrapMenu(const QObject* menu);

    struct WrappedForm {
        const QObject* key;
        std::unique_ptr<TWinSkinForm> painter;
    };
    struct WrappedMenu {
        const QObject* key;
        std::unique_ptr<TWinSkinPopMenu> painter;
    };

    std::vector<TSkinData*> skins_;
    std::vector<WrappedForm> forms_;
    std::vector<WrappedMenu> menus_;
    bool skinningOn_ = false;
    bool sweeping_ = false;
    bool activated_ = false;
    int pendingCommand_ = 0;
    QTimer commandTimer_;
    TSkinData* reapplyRequester_ = nullptr;
    bool filterInstalled_ = false;
    // The manager whose place this one took.
    TSkinManage* previous_ = nullptr;
};
