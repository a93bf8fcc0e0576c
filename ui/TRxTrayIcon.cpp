#include "ui/TRxTrayIcon.h"

#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

#include <utility>

namespace {

// The tooltip field of the platform record this component was first written against holds 63
// bytes and a terminating zero.
constexpr std::size_t kMaxHintBytes = 63;

constexpr double kMsPerDay = 24.0 * 60 * 60 * 1000;

// The registry of StatusNotifierItems; it comes back when the panel restarts.
const char* const kSniWatcherService = "org.kde.StatusNotifierWatcher";

} // namespace

TRxTrayIcon::TRxTrayIcon(QObject* owner) : TRxTrayIcon(owner, QDBusConnection::sessionBus()) {}

TRxTrayIcon::TRxTrayIcon(QObject* owner, const QDBusConnection& bus) : QObject(owner) {
    Start(bus);
}

TRxTrayIcon::TRxTrayIcon(QObject* owner, Deferred) : QObject(owner) {}

void TRxTrayIcon::Start(const QDBusConnection& bus) {
    if (tray_)
        return;
    // Qt's platform icon asks the session bus for a StatusNotifierItem host when it is created.
    tray_ = new QSystemTrayIcon(this);
    // The menu is opened by the component itself and not handed to QSystemTrayIcon: that way
    // both protocols report the right-click as a Context activation and the menu opens at the
    // pointer, instead of the desktop shell drawing an exported copy of it.
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { HandleActivation(reason); });
    connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] {
        RunGuarded([this] {
            if (enabled_ && OnBalloonClick)
                OnBalloonClick();
        });
    });
    WatchNotificationArea(bus);
    // Qt's XEmbed icon is a widget of its own, created and replaced as trays come and go; the
    // application-wide filter finds whichever one is current.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        qApp->installEventFilter(this);
    tray_->setToolTip(GbkToQString(VisibleHint(hint_)));
    if (active_)
        ShowIcon();
}

TRxTrayIcon::~TRxTrayIcon() {
    HideIcon();
}

void TRxTrayIcon::SetActive(bool value) {
    active_ = value;
    if (active_)
        ShowIcon();
    else
        HideIcon();
}

QMenu* TRxTrayIcon::PopupMenu() const {
    return popupMenu_;
}

void TRxTrayIcon::SetPopupMenu(QMenu* menu) {
    popupMenu_ = menu;
}

void TRxTrayIcon::SetHint(const std::string& hintGbk) {
    hint_ = hintGbk;
    if (tray_)
        tray_->setToolTip(GbkToQString(VisibleHint(hint_)));
}

void TRxTrayIcon::SetIcon(const QIcon& icon) {
    icon_ = icon;
    if (added_) {
        if (icon_.isNull())
            HideIcon();
        else
            tray_->setIcon(icon_);
    } else if (active_) {
        ShowIcon();
    }
}

void TRxTrayIcon::ShowBalloon(const std::string& titleGbk, const std::string& textGbk,
                              TBalloonIcon icon, int timeoutMs) {
    if (!added_ || !QSystemTrayIcon::supportsMessages())
        return;
    QSystemTrayIcon::MessageIcon shown = QSystemTrayIcon::Information;
    if (icon == TBalloonIcon::biWarning)
        shown = QSystemTrayIcon::Warning;
    else if (icon == TBalloonIcon::biError)
        shown = QSystemTrayIcon::Critical;
    tray_->showMessage(GbkToQString(titleGbk), GbkToQString(textGbk), shown, timeoutMs);
}

std::string TRxTrayIcon::VisibleHint(const std::string& hintGbk) {
    std::string shown = hintGbk.substr(0, hintGbk.find('|'));
    if (shown.size() <= kMaxHintBytes)
        return shown;
    // Walk whole characters so that the cut never leaves half of a double-byte character.
    std::size_t end = 0;
    while (end < shown.size()) {
        const auto lead = static_cast<unsigned char>(shown[end]);
        const std::size_t width = (lead >= 0x81 && lead <= 0xFE) ? 2 : 1;
        if (end + width > kMaxHintBytes)
            break;
        end += width;
    }
    shown.resize(end);
    return shown;
}

bool TRxTrayIcon::NotificationAreaPresent() const {
    if (areaProbe_)
        return areaProbe_();
    return sniWatcherPresent_ || QSystemTrayIcon::isSystemTrayAvailable();
}

bool TRxTrayIcon::CanDock() const {
    if (areaProbe_)
        return areaProbe_();
    // On X11 Qt docks the icon into an XEmbed tray whenever one appears. Elsewhere it can dock
    // only through a StatusNotifierItem host present when it started; without one, showing
    // would only wire Qt's XEmbed tray watcher to a signal that platform does not have (a
    // warning on standard error, and nothing docked).
    return QGuiApplication::platformName() == QLatin1String("xcb") ||
           QSystemTrayIcon::isSystemTrayAvailable();
}

void TRxTrayIcon::ShowIcon() {
    HideIcon();
    if (!tray_ || icon_.isNull())
        return;
    if (!CanDock())
        return;
    pendingTrigger_ = -1;
    tray_->setIcon(icon_);
    tray_->setToolTip(GbkToQString(VisibleHint(hint_)));
    tray_->show();
    added_ = tray_->isVisible();
}

void TRxTrayIcon::HideIcon() {
    if (tray_)
        tray_->hide();
    added_ = false;
    pendingTrigger_ = -1;
}

void TRxTrayIcon::WatchNotificationArea(const QDBusConnection& bus) {
    // XEmbed: Qt's X11 tray code already follows the tray manager selection and docks the icon
    // again when a new tray appears. StatusNotifierItem: an item registered with a watcher that
    // went away is lost, so register again when a watcher shows up.
    if (!bus.isConnected())
        return;
    const QString service = QString::fromLatin1(kSniWatcherService);
    sniWatcher_ = new QDBusServiceWatcher(service, bus,
                                          QDBusServiceWatcher::WatchForRegistration |
                                              QDBusServiceWatcher::WatchForUnregistration,
                                          this);
    if (QDBusConnectionInterface* daemon = bus.interface())
        sniWatcherPresent_ = daemon->isServiceRegistered(service);
    connect(sniWatcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        sniWatcherPresent_ = true;
        RunGuarded([this] {
            if (active_)
                ShowIcon();
        });
    });
    connect(sniWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        sniWatcherPresent_ = false;
        RunGuarded([this] {
            if (OnAreaLost)
                OnAreaLost();
        });
    });
}

bool TRxTrayIcon::IsXEmbedIcon(QObject* watched) const {
    if (!watched->isWidgetType() || watched->objectName() != QLatin1String("QSystemTrayIconSys"))
        return false;
    // The program holds one icon; a hidden component owns none.
    return added_;
}

bool TRxTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton || !IsXEmbedIcon(watched))
        return false;
    if (type != QEvent::MouseButtonRelease) {
        // Qt would report the context request now; it waits for the release instead.
        rightPressed_ = true;
        return true;
    }
    const bool wasPressed = std::exchange(rightPressed_, false);
    // A press that was dragged off the icon before the release is no request.
    auto* widget = static_cast<QWidget*>(watched);
    if (wasPressed && widget->rect().contains(mouse->position().toPoint()))
        HandleActivation(QSystemTrayIcon::Context);
    return true;
}

void TRxTrayIcon::HandleActivation(QSystemTrayIcon::ActivationReason reason) {
    RunGuarded([&] {
        if (!enabled_)
            return;
        switch (reason) {
        case QSystemTrayIcon::Trigger: {
            const double now = Now();
            const double intervalDays = QApplication::doubleClickInterval() / kMsPerDay;
            // StatusNotifierItem hosts report a double-click as two plain activations.
            if (pendingTrigger_ >= 0 && now >= pendingTrigger_ &&
                now - pendingTrigger_ <= intervalDays) {
                pendingTrigger_ = -1;
                DoDblClick();
                FireMouse(OnMouseDown, TMouseButton::mbLeft, true);
                FireMouse(OnMouseUp, TMouseButton::mbLeft, false);
                return;
            }
            pendingTrigger_ = now;
            FireMouse(OnMouseDown, TMouseButton::mbLeft, false);
            DoClick(TMouseButton::mbLeft);
            FireMouse(OnMouseUp, TMouseButton::mbLeft, false);
            return;
        }
        case QSystemTrayIcon::DoubleClick:
            pendingTrigger_ = -1;
            DoDblClick();
            FireMouse(OnMouseDown, TMouseButton::mbLeft, true);
            FireMouse(OnMouseUp, TMouseButton::mbLeft, false);
            return;
        case QSystemTrayIcon::Context:
            pendingTrigger_ = -1;
            FireMouse(OnMouseDown, TMouseButton::mbRight, false);
            DoClick(TMouseButton::mbRight);
            FireMouse(OnMouseUp, TMouseButton::mbRight, false);
            return;
        case QSystemTrayIcon::MiddleClick:
            pendingTrigger_ = -1;
            FireMouse(OnMouseDown, TMouseButton::mbMiddle, false);
            FireMouse(OnMouseUp, TMouseButton::mbMiddle, false);
            return;
        case QSystemTrayIcon::Unknown:
            return;
        }
    });
}

void TRxTrayIcon::DoClick(TMouseButton button) {
    if (button == TMouseButton::mbRight && PopupAtPointer())
        return;
    if (OnClick)
        OnClick();
}

void TRxTrayIcon::DoDblClick() {
    // A default item of the menu, when there is one, takes the double-click.
    if (popupMenu_) {
        QAction* fallback = popupMenu_->defaultAction();
        if (fallback && fallback->isEnabled()) {
            fallback->trigger();
            return;
        }
    }
    if (OnDblClick)
        OnDblClick();
}

bool TRxTrayIcon::PopupAtPointer() {
    if (!active_ || !popupMenu_)
        return false;
    // A drag or capture in progress in one of our windows would swallow the menu's clicks.
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    // popup() keeps the menu on the screen; the chosen item's handler runs once the menu has
    // closed, from the event loop.
    popupMenu_->popup(QCursor::pos());
    return true;
}

void TRxTrayIcon::FireMouse(const TMouseEvent& event, TMouseButton button, bool isDouble) {
    if (!event)
        return;
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    TShiftState shift;
    shift.Shift = keys.testFlag(Qt::ShiftModifier);
    shift.Ctrl = keys.testFlag(Qt::ControlModifier);
    shift.Alt = keys.testFlag(Qt::AltModifier);
    shift.Double = isDouble;
    const QPoint at = QCursor::pos();
    event(button, shift, at.x(), at.y());
}
