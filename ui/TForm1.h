#pragma once

#include "engine/MonitorView.h"
#include "skin/TSkinData.h"
#include "ui/SettingsHost.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class AlertNotifier;
class DesktopNotifier;
class LogPane;
class LogSink;
class ProbeCycle;
class QLabel;
class QPushButton;
class QStatusBar;
class QTimer;
class TListView;
class TRxTrayIcon;
class QMenu;
class TSpinEdit;

// The main window: the server list, the interval field, the three buttons, the log pane and the
// status bar. It implements the engine's view of the window and the settings dialog's host.
// Creating it runs FormCreate; every close request ends the process in FormCloseQuery.
//
// `logCopy` (not owned; may be null) receives every log line the pane gets, from the first one
// FormCreate logs; it must outlive the window.
class TForm1 : public QWidget, public MonitorView, public SettingsHost {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 219;
    static constexpr int kClientHeight = 431;

    // Plain: the skin is not read and the window keeps the normal look (the start-up benchmark
    // compares the two).
    enum class Look { Skinned, Plain };

    explicit TForm1(LogSink* logCopy = nullptr, QWidget* parent = nullptr,
                    Look look = Look::Skinned);
    ~TForm1() override;

    // The fixed status-bar line (GBK).
    static const char* StatusText();

    // The probe cycle with CS1, Timer1 and Timer2.
    ProbeCycle& Engine() { return *engine_; }

    // Runs on the close path after the modem is closed and before the process ends (the history
    // writes what it holds there); must not throw.
    std::function<void()> BeforeExit;

    TListView* ListView1 = nullptr;
    QLabel* Label4 = nullptr;
    TSpinEdit* SpinEdit1 = nullptr;
    QLabel* Label5 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button3 = nullptr;
    LogPane* Memo1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    // The notification-area icon and its menu.
    TRxTrayIcon* RxTrayIcon1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    // The skin engine that repaints this window and every other window of the program.
    std::unique_ptr<TSkinData> SkinData1;

    void FormCreate();
    void InitSMSModem();
    // Whether InitSMSModem found the modem (fnSetModemType returned 0); false until it ran.
    bool ModemReady() const { return modemReady_; }
    // Clears ProbeWaiting, closes the modem, lets the log copy hand on what it still holds and
    // ends the process with exit code 0; never returns.
    [[noreturn]] void FormCloseQuery();

    void Button1Click();
    void Button2Click();
    void Button3Click();
    // The tray icon's menu items and double-click.
    void N1Click();
    void N2Click();
    void RxTrayIcon1DblClick();
    // A later start in the same folder, or a click on a desktop notification, asks for the
    // window: shown as 显示界面 shows it, and restored when it was minimised.
    void BringBack();
    // A row's details as its tooltip.
    void ListView1InfoTip(int row, std::string& infoTip);

    // Desktop notifications of alerts and recoveries; a click on one runs BringBack.
    DesktopNotifier& Notifier();

    // What speaks to the session bus, the tray icon's platform side and the notifications, is
    // started once the window has been painted for the first time: connecting can wait for a
    // bus to be launched, and the window should not. Whatever needs them sooner (an alert, 缩成
    // 图标) starts them at once; a window not shown by the first turn of the event loop starts
    // them there.
    void StartSessionServices();
    bool SessionServicesStarted() const { return notifier_ != nullptr; }

    // MonitorView
    void ClearRows() override;
    void AddRow(const std::string& caption, const std::string& status) override;
    void SetRowStatus(int index, const std::string& status) override;
    void AppendLog(const std::string& line) override;
    int IntervalValue() override;
    void SetButton1Enabled(bool enabled) override;
    void SetButton2Enabled(bool enabled) override;

    // SettingsHost
    void StopCycleTimer() override;
    void StartCycleTimer(int intervalMs) override;
    void ReloadServers() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // MainWindowLayout.cpp: the controls with their positions, colours, texts and focus order.
    void CreateControls();
    void CreateServerList();
    void CreateIntervalRow();
    void CreateButtons();
    void CreateLogAndStatus();
    void SetTabOrder();
    void ConnectHandlers();
    void CreateTrayIcon();
    void CreateSkin(Look look);
    void ShowNormalIfHidden();
    void CheckNotificationArea();
    // MainWindowNotices.cpp: desktop notifications and the rows' tooltips.
    void CreateNotices();

    LogSink* logCopy_;
    std::unique_ptr<ProbeCycle> engine_;
    DesktopNotifier* notifier_ = nullptr;
    // Observes engine_, so it goes first.
    std::unique_ptr<AlertNotifier> alertNotifier_;
    // While the window is hidden: shows it again if the notification area goes away.
    QTimer* areaCheck_ = nullptr;
    bool centred_ = false;
    bool painted_ = false;
    bool modemReady_ = false;
};
