#include "ui/TForm1.h"

#include "MainWindowSkin.h"
#include "engine/ProbeCycle.h"
#include "engine/ProbeFlags.h"
#include "platform/ErrorReport.h"
#include "platform/StandardError.h"
#include "platform/qt/QtText.h"
#include "sms/ModemApi.h"
#include "ui/AlertNotifier.h"
#include "ui/LogPane.h"
#include "ui/LogSink.h"
#include "ui/MainWindowTray.h"
#include "ui/TForm3.h"
#include "ui/TListView.h"
#include "ui/TRxTrayIcon.h"
#include "ui/TSpinEdit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <unistd.h>

#include <utility>

namespace {

// The latest the session-bus side starts when the shown window has not been painted by then.
constexpr int kSessionStartLatestMs = 10000;

} // namespace

TForm1::TForm1(LogSink* logCopy, QWidget* parent, Look look) : QWidget(parent), logCopy_(logCopy) {
    CreateControls();
    CreateTrayIcon();
    CreateSkin(look);
    engine_ = std::make_unique<ProbeCycle>(*this);
    CreateNotices();
    // The creation handler runs as the last step of creating the window.
    RunGuarded([this] { FormCreate(); });
    // A window not shown by the first turn of the event loop (a hidden start) starts them
    // there; one that shows but is not painted for a long while (a platform that draws
    // nothing) still gets its tray icon and notifications.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            RunGuarded([this] { StartSessionServices(); });
    });
    QTimer::singleShot(kSessionStartLatestMs, this,
                       [this] { RunGuarded([this] { StartSessionServices(); }); });
}

TForm1::~TForm1() = default;

void TForm1::CreateTrayIcon() {
    PopupMenu1 = CreatePopupMenu1(
        this, [this] { N1Click(); }, [this] { N2Click(); });
    RxTrayIcon1 = new TRxTrayIcon(this, TRxTrayIcon::Deferred{});
    RxTrayIcon1->setObjectName(QStringLiteral("RxTrayIcon1"));
    RxTrayIcon1->SetPopupMenu(PopupMenu1);
    RxTrayIcon1->OnDblClick = [this] { RxTrayIcon1DblClick(); };
    RxTrayIcon1->SetIcon(TrayIconImage());
    RxTrayIcon1->OnAreaLost = [this] { CheckNotificationArea(); };
    areaCheck_ = new QTimer(this);
    // An XEmbed tray that ends says so to no one but Qt's own icon; a look once a second is
    // cheap and covers both protocols.
    areaCheck_->setInterval(1000);
    connect(areaCheck_, &QTimer::timeout, this,
            [this] { RunGuarded([this] { CheckNotificationArea(); }); });
}

void TForm1::CheckNotificationArea() {
    if (isVisible()) {
        areaCheck_->stop();
        return;
    }
    if (RxTrayIcon1->NotificationAreaPresent())
        return;
    areaCheck_->stop();
    ShowNormalIfHidden();
}

void TForm1::CreateSkin(Look look) {
    // The stored skin is read while the window is created; Loaded() then switches skinning on,
    // and each window of the program is wrapped as it appears.
    SkinData1 = std::make_unique<TSkinData>(this);
    SkinData1->SetSkinFormtype(sfMainform);
    if (look == Look::Plain)
        return;
    SkinData1->SetActive(true);
    // What keeps the skin from being read (a temporary folder that is missing, not writable or
    // full) reaches this loading as an exception: it is reported like a damaged package, and the
    // window keeps the normal look.
    RunGuarded([this] { SkinData1->ReadSkinStream(MainWindowSkinStream()); });
    SkinData1->Loaded();
}

const char* TForm1::StatusText() {
    return "实时检测服务器的连通状态";
}

void TForm1::FormCreate() {
    // A server list that cannot be read is reported by the caller's default error report; the
    // modem is then left alone.
    engine_->LoadServers();
    InitSMSModem();
}

void TForm1::InitSMSModem() {
    modemReady_ = Modem().SetModemType(0, 0) == 0;
    if (modemReady_) {
        Modem().InitModem(-1);
        AppendLog("初始化短信设备完成！");
    } else {
        AppendLog("初始化短信设备失败！");
    }
}

void TForm1::FormCloseQuery() {
    ProbeWaiting = false;
    // An alert worker still sending must not open the port again once it is closed.
    SetModemApi(&ClosedModemApi())->CloseModem(-1);
    // Nothing may run after the modem is closed: no timer, no socket event, no log line. So the
    // process ends here instead of unwinding through the event loop.
    if (BeforeExit)
        RunGuarded([this] { BeforeExit(); });
    if (logCopy_)
        logCopy_->Flush();
    FlushStandardError();
    _exit(0);
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->ignore();
    FormCloseQuery();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm1::Button1Click() {
    engine_->Button1Click();
}

void TForm1::Button2Click() {
    // The dialog lives only while this handler runs.
    TForm3::Execute(*this, this);
}

void TForm1::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (std::exchange(painted_, true))
        return;
    // On the next turn of the event loop, once this paint has gone out to the screen.
    QTimer::singleShot(0, this, [this] { RunGuarded([this] { StartSessionServices(); }); });
}

void TForm1::Button3Click() {
    // Whether there is a notification area, and the icon in it, are known only from there on.
    StartSessionServices();
    // With no notification area there would be no icon to bring a hidden window back from: the
    // window goes to the window list instead.
    if (!RxTrayIcon1->NotificationAreaPresent()) {
        showMinimized();
        return;
    }
    hide();
    areaCheck_->start();
}

void TForm1::ShowNormalIfHidden() {
    // A window that is showing stays where it is in the stacking order, even when covered.
    if (isVisible())
        return;
    show();
    raise();
    activateWindow();
}

void TForm1::N1Click() {
    ShowNormalIfHidden();
}

void TForm1::RxTrayIcon1DblClick() {
    ShowNormalIfHidden();
}

void TForm1::BringBack() {
    if (isMinimized()) {
        showNormal();
        raise();
        activateWindow();
        return;
    }
    ShowNormalIfHidden();
}

void TForm1::N2Click() {
    close();
}

void TForm1::ClearRows() {
    ListView1->clear();
}

void TForm1::AddRow(const std::string& caption, const std::string& status) {
    new QTreeWidgetItem(ListView1, {GbkToQString(caption), GbkToQString(status)});
}

void TForm1::SetRowStatus(int index, const std::string& status) {
    if (QTreeWidgetItem* item = ListView1->topLevelItem(index))
        item->setText(1, GbkToQString(status));
}

void TForm1::AppendLog(const std::string& line) {
    Memo1->AppendLine(line);
    if (logCopy_)
        logCopy_->Write(line);
}

int TForm1::IntervalValue() {
    return SpinEdit1->Value();
}

void TForm1::SetButton1Enabled(bool enabled) {
    Button1->setEnabled(enabled);
}

void TForm1::SetButton2Enabled(bool enabled) {
    Button2->setEnabled(enabled);
}

void TForm1::StopCycleTimer() {
    engine_->Timer1.stop();
}

void TForm1::StartCycleTimer(int intervalMs) {
    engine_->Timer1.start(intervalMs);
}

void TForm1::ReloadServers() {
    engine_->LoadServers();
}
