// What the main window tells the operator beyond its rows and its log: desktop notifications of
// alerts and recoveries, and a row's details when the pointer rests on it.
#include "ui/TForm1.h"

#include "engine/ProbeCycle.h"
#include "ui/AlertNotifier.h"
#include "ui/DesktopNotifier.h"
#include "ui/MainWindowTray.h"
#include "ui/ServerDetails.h"
#include "ui/TListView.h"
#include "ui/TRxTrayIcon.h"

#include <QDBusConnection>
#include <QImage>

#include <mutex>

namespace {

// How long a balloon stays when no notification service takes the message.
constexpr int kBalloonMs = 10000;

} // namespace

void TForm1::CreateNotices() {
    RxTrayIcon1->OnBalloonClick = [this] { RxTrayIcon1DblClick(); };
    alertNotifier_ = std::make_unique<AlertNotifier>(
        *engine_, [this](const DesktopNotification& n) { Notifier().Show(n); });

    ListView1->OnInfoTip = [this](int row, std::string& tip) { ListView1InfoTip(row, tip); };
}

void TForm1::StartSessionServices() {
    if (notifier_)
        return;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    RxTrayIcon1->Start(bus);
    // Without a notification service the tray icon's balloon speaks instead; without a tray
    // neither does, and nothing is said.
    notifier_ = new DesktopNotifier(
        bus,
        [this](const DesktopNotification& n) {
            RxTrayIcon1->ShowBalloon(n.summary, n.body,
                                     n.urgency == DesktopNotification::Urgency::Critical
                                         ? TBalloonIcon::biError
                                         : TBalloonIcon::biInfo,
                                     kBalloonMs);
        },
        this);
    notifier_->SetImage(TrayArtwork());
    // Also where there is no notification area and 缩成图标 minimised the window.
    notifier_->OnActivated = [this] { BringBack(); };
}

DesktopNotifier& TForm1::Notifier() {
    StartSessionServices();
    return *notifier_;
}

void TForm1::ListView1InfoTip(int row, std::string& infoTip) {
    for (int slot = 0; slot < kServerSlots && !ServerTable[slot].IP.empty(); ++slot) {
        if (ServerTable[slot].ItemIndex != row)
            continue;
        TServers server;
        {
            std::lock_guard lock(ServerTableLock());
            server = ServerTable[slot];
        }
        infoTip = ServerDetailsText(server, engine_->Record(slot));
        return;
    }
}
