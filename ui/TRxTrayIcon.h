#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <string>

class QMenu;
class QDBusConnection;
class QDBusServiceWatcher;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// The picture beside a balloon message.
enum class TBalloonIcon { biInfo, biWarning, biError };

// The Shift, Ctrl and Alt states at the moment a notification is handled, and whether the
// notification was a double-click.
struct TShiftState {
    bool Shift = false;
    bool Ctrl = false;
    bool Alt = false;
    bool Double = false;
};

// The notification-area icon of the main window over QSystemTrayIcon, which speaks both the
// StatusNotifierItem (D-Bus) and the XEmbed tray protocols.
//
// What the protocols deliver is mapped onto the component's mouse events as follows; pointer
// position and modifier keys are read when the activation is handled:
//   Trigger (left click)     OnMouseDown(left), OnClick, OnMouseUp(left); a second Trigger
//                            within the double-click interval is a double-click instead
//   DoubleClick (XEmbed)     the double-click: OnDblClick, then OnMouseDown(left, Double),
//                            OnMouseUp(left)
//   Context (right click)    OnMouseDown(right); PopupMenu opened at the pointer, or OnClick
//                            when no menu opens; OnMouseUp(right). On the XEmbed tray Qt
//                            reports it on the press; the component holds it back until the
//                            button is released over the icon. StatusNotifierItem hosts
//                            decide themselves when they report it.
//   MiddleClick              OnMouseDown(middle), OnMouseUp(middle)
// The protocols report no pointer moves, no separate press and release, and no right or
// middle double-clicks; OnMouseMove therefore never fires.
class TRxTrayIcon : public QObject {
public:
    using TNotifyEvent = std::function<void()>;
    using TMouseEvent = std::function<void(TMouseButton, TShiftState, int X, int Y)>;

    explicit TRxTrayIcon(QObject* owner);
    // The same, following the StatusNotifierItem watcher on `bus` instead of the session bus.
    TRxTrayIcon(QObject* owner, const QDBusConnection& bus);
    // Keeps the properties set meanwhile, but creates the platform icon and looks at no bus
    // until Start: the first connection to the session bus can wait for a bus to be launched,
    // and a window should not wait for that before it shows.
    struct Deferred {};
    TRxTrayIcon(QObject* owner, Deferred);
    ~TRxTrayIcon() override;

    // Creates the platform icon, follows the StatusNotifierItem watcher on `bus` and docks the
    // icon when it is active and has an image. Only the first call does anything.
    void Start(const QDBusConnection& bus);
    bool Started() const { return tray_ != nullptr; }

    // The icon is in the notification area while true (the default).
    bool Active() const { return active_; }
    void SetActive(bool value);

    // Notifications are acted on while true (the default).
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }

    // Tooltip text (GBK); only the part before the first "|" is shown, cut to 63 bytes. Empty:
    // no tooltip.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hintGbk);

    const QIcon& Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);

    // The menu opened by a right-click (not owned).
    QMenu* PopupMenu() const;
    void SetPopupMenu(QMenu* menu);

    // A message in a balloon at the icon, for `timeoutMs` at most; shown only while the icon is
    // in the notification area and the platform can show such messages. Texts are GBK.
    void ShowBalloon(const std::string& titleGbk, const std::string& textGbk, TBalloonIcon icon,
                     int timeoutMs);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    // The operator clicked the balloon.
    TNotifyEvent OnBalloonClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    // The last add request went through and no hide followed. Never before Start.
    bool Added() const { return added_; }

    // Whether the desktop has a notification area that can hold the icon: an XEmbed tray or a
    // StatusNotifierItem host that Qt can use, or a StatusNotifierItem watcher on the bus.
    bool NotificationAreaPresent() const;
    // Replaces that check, and the one whether the icon can be docked at all (tests); an empty
    // one restores them.
    void SetAreaProbe(std::function<bool()> probe) { areaProbe_ = std::move(probe); }
    // The StatusNotifierItem watcher left the bus (the panel ended).
    TNotifyEvent OnAreaLost;

    // Handles one activation as the platform reports it. Public so that tests can play the
    // protocols' sequences.
    void HandleActivation(QSystemTrayIcon::ActivationReason reason);

    // The tooltip that Hint gives (GBK): empty, or the part before "|" cut to 63 bytes without
    // splitting a double-byte character.
    static std::string VisibleHint(const std::string& hintGbk);

    // The wrapped platform icon (for tests and the end-to-end checks); only once started.
    QSystemTrayIcon& PlatformIcon() { return *tray_; }

private:
    void ShowIcon();
    bool CanDock() const;
    void HideIcon();
    void DoClick(TMouseButton button);
    void DoDblClick();
    bool PopupAtPointer();
    void FireMouse(const TMouseEvent& event, TMouseButton button, bool isDouble);
    void WatchNotificationArea(const QDBusConnection& bus);
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool IsXEmbedIcon(QObject* watched) const;

    QSystemTrayIcon* tray_ = nullptr;
    QDBusServiceWatcher* sniWatcher_ = nullptr;
    bool sniWatcherPresent_ = false;
    std::function<bool()> areaProbe_;
    // A right-button press on the XEmbed icon whose release opens the menu.
    bool rightPressed_ = false;
    QPointer<QMenu> popupMenu_;
    QIcon icon_;
    std::string hint_;
    bool active_ = true;
    bool enabled_ = true;
    bool added_ = false;
    // Time (days, from Now()) of a Trigger that may become the first half of a double-click;
    // negative when there is none.
    double pendingTrigger_ = -1;
};
