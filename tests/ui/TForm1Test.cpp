#include "support/FakeModem.h"
#include "support/Pump.h"
#include "support/ScopedSeam.h"
#include "support/TempDir.h"

#include "engine/ProbeCycle.h"
#include "platform/AppInfo.h"
#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"
#include "ui/LogPane.h"
#include "ui/LogSink.h"
#include "ui/TForm1.h"
#include "ui/TForm3.h"
#include "ui/TListView.h"
#include "ui/TRxTrayIcon.h"
#include "ui/TSpinEdit.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every test runs in an empty working directory of its own, with a substitute modem and the
// error reports recorded.
class MainWindowTest : public testing::Test {
protected:
    void WriteServers(const std::string& gbk) {
        std::ofstream("servers.ini", std::ios::binary) << gbk;
    }

    static QStringList LogLines(TForm1& form) {
        return form.Memo1->toPlainText().split('\n', Qt::SkipEmptyParts);
    }

    TempDir dir;
    WorkingDirectory inDir{dir.path()};
    std::vector<std::string> reports;
    ScopedSeam reportSeam{SetErrorReportHandler,
                          [this](const std::string& m) { reports.push_back(m); }};
};

struct ModemCase {
    int setModemTypeResult;
    int initModemResult;
    std::vector<std::string> calls;
    const char* line;
};

class InitSMSModemTest : public MainWindowTest, public testing::WithParamInterface<ModemCase> {};

TEST_P(InitSMSModemTest, InitialisesOnlyAfterTheTypeIsAcceptedAndLogsTheOutcome) {
    const ModemCase& c = GetParam();
    FakeModem modem(c.setModemTypeResult, c.initModemResult);
    TForm1 form;
    EXPECT_EQ(modem.calls(), c.calls);
    EXPECT_EQ(form.ModemReady(), c.setModemTypeResult == 0);
    // With no servers.ini the modem line is the only line.
    EXPECT_EQ(LogLines(form), QStringList{GbkToQString(c.line)});
    EXPECT_EQ(form.ListView1->topLevelItemCount(), 0);
    EXPECT_TRUE(reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    SuccessAndFailure, InitSMSModemTest,
    testing::Values(ModemCase{0, 0, {"SetModemType(0,0)", "InitModem(-1)"}, "初始化短信设备完成！"},
                    ModemCase{
                        0, -1, {"SetModemType(0,0)", "InitModem(-1)"}, "初始化短信设备完成！"},
                    ModemCase{1, 0, {"SetModemType(0,0)"}, "初始化短信设备失败！"},
                    ModemCase{-1, 0, {"SetModemType(0,0)"}, "初始化短信设备失败！"}));

TEST_F(MainWindowTest, ServerRowsArePresentBeforeTheModemLine) {
    WriteServers("[数据库]\r\nIP=127.0.0.1\r\nPort=5432\r\n[网页]\r\nIP=127.0.0.2\r\nPort=80\r\n");
    FakeModem modem(0);
    int rowsAtModem = -1;
    int logLinesAtModem = -1;
    modem.onSetModemType = [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* form = qobject_cast<TForm1*>(w)) {
                rowsAtModem = form->ListView1->topLevelItemCount();
                logLinesAtModem =
                    form->Memo1->blockCount() - (form->Memo1->document()->isEmpty() ? 1 : 0);
            }
        }
    };
    TForm1 form;
    EXPECT_EQ(rowsAtModem, 2);
    EXPECT_EQ(logLinesAtModem, 0);
    ASSERT_EQ(form.ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(form.ListView1->topLevelItem(0)->text(0), GbkToQString("数据库"));
    EXPECT_EQ(form.ListView1->topLevelItem(1)->text(1), GbkToQString("检测中"));
    EXPECT_EQ(LogLines(form), QStringList{GbkToQString("初始化短信设备完成！")});
}

// A regular file that even root cannot open for reading: a write-only attribute of sysfs.
std::string UnreadableRegularFile() {
    for (const char* path :
         {"/sys/bus/pci/rescan", "/sys/bus/cpu/uevent", "/sys/bus/platform/uevent"}) {
        struct stat st {};
        if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            continue;
        }
        return path;
    }
    return {};
}

TEST_F(MainWindowTest, AServerListThatCannotBeReadIsReportedAndTheModemIsLeftAlone) {
    const std::string unreadable = UnreadableRegularFile();
    if (unreadable.empty())
        GTEST_SKIP() << "no unreadable regular file on this machine";
    ASSERT_EQ(::symlink(unreadable.c_str(), "servers.ini"), 0);
    FakeModem modem(0);
    auto form = std::make_unique<TForm1>();

    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("servers.ini"), std::string::npos) << reports[0];
    EXPECT_TRUE(modem.calls().empty());
    EXPECT_TRUE(LogLines(*form).isEmpty());
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, ControlsHaveTheirNamesPlacesAndTexts) {
    FakeModem modem;
    TForm1 form;
    EXPECT_EQ(form.objectName(), "Form1");
    EXPECT_EQ(form.windowTitle(), GbkToQString(kDisplayName));
    EXPECT_EQ(form.size(), QSize(219, 431));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);

    struct Place {
        const char* name;
        QRect geometry;
    };
    for (const Place& p :
         {Place{"ListView1", {0, 0, 219, 265}}, Place{"SpinEdit1", {88, 274, 49, 21}},
          Place{"Button2", {8, 304, 65, 25}}, Place{"Button1", {78, 304, 61, 25}},
          Place{"Button3", {144, 304, 65, 25}}, Place{"Memo1", {0, 335, 219, 77}},
          Place{"StatusBar1", {0, 412, 219, 19}}}) {
        auto* widget = form.findChild<QWidget*>(p.name);
        ASSERT_NE(widget, nullptr) << p.name;
        EXPECT_EQ(widget->geometry(), p.geometry) << p.name;
    }
    EXPECT_EQ(form.Button2->text(), GbkToQString("设置"));
    EXPECT_EQ(form.Button1->text(), GbkToQString("立即刷新"));
    EXPECT_EQ(form.Button3->text(), GbkToQString("缩成图标"));
    EXPECT_EQ(form.Label4->text(), GbkToQString("检测时间间隔"));
    EXPECT_EQ(form.Label5->text(), GbkToQString("秒(立即生效)"));
    EXPECT_EQ(form.Label4->geometry().center().y(), QRect(8, 278, 72, 12).center().y());
    EXPECT_EQ(form.ListView1->headerItem()->text(0), GbkToQString("服务器名称"));
    EXPECT_EQ(form.ListView1->headerItem()->text(1), GbkToQString("状态"));
    EXPECT_EQ(form.ListView1->header()->sectionSize(0), 130);
    EXPECT_EQ(form.ListView1->header()->sectionSize(1), 70);
    EXPECT_EQ(form.ListView1->palette().color(QPalette::Base), QColor(0xBD, 0xC6, 0x1C));
    EXPECT_EQ(form.Memo1->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(form.Memo1->palette().color(QPalette::Text), QColor(0, 255, 0));
    EXPECT_TRUE(form.Memo1->isReadOnly());
    EXPECT_EQ(form.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(form.Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_FALSE(form.StatusBar1->isSizeGripEnabled());
    auto* panel = form.StatusBar1->findChild<QLabel*>("StatusPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), GbkToQString(TForm1::StatusText()));

    EXPECT_EQ(form.font().families().value(0), GbkToQString("宋体"));
    EXPECT_TRUE(form.font().families().contains("WenQuanYi Zen Hei"));
    EXPECT_EQ(form.font().pixelSize(), 12);
    EXPECT_EQ(form.Button1->font().pixelSize(), 12);
}

TEST_F(MainWindowTest, IntervalFieldStartsAtSixtyWithinFiveToSixHundred) {
    FakeModem modem;
    TForm1 form;
    EXPECT_EQ(form.SpinEdit1->text(), "60");
    EXPECT_EQ(form.IntervalValue(), 60);
    EXPECT_EQ(form.SpinEdit1->MinValue(), 5);
    EXPECT_EQ(form.SpinEdit1->MaxValue(), 600);
    form.SpinEdit1->setText("abc");
    EXPECT_EQ(form.IntervalValue(), 5);
}

TEST_F(MainWindowTest, FocusGoesMemoListRefreshSettingsShrinkInterval) {
    FakeModem modem;
    TForm1 form;
    const QList<QWidget*> order{form.Memo1,   form.ListView1, form.Button1,
                                form.Button2, form.Button3,   form.SpinEdit1};
    QList<QWidget*> seen;
    QWidget* w = form.Memo1;
    do {
        if (order.contains(w) && !seen.contains(w))
            seen.append(w);
        w = w->nextInFocusChain();
    } while (w != form.Memo1);
    EXPECT_EQ(seen, order);
}

TEST_F(MainWindowTest, RowsAreAddedRewrittenAndCleared) {
    FakeModem modem;
    TForm1 form;
    form.AddRow("甲", "检测中");
    form.AddRow("乙", "检测中");
    form.SetRowStatus(1, "正常");
    form.SetRowStatus(2, "故障"); // no such row: ignored
    form.SetRowStatus(-1, "故障");
    ASSERT_EQ(form.ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(form.ListView1->topLevelItem(0)->text(1), GbkToQString("检测中"));
    EXPECT_EQ(form.ListView1->topLevelItem(1)->text(0), GbkToQString("乙"));
    EXPECT_EQ(form.ListView1->topLevelItem(1)->text(1), GbkToQString("正常"));
    form.ClearRows();
    EXPECT_EQ(form.ListView1->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, ButtonsAreEnabledAndDisabledByTheEngine) {
    FakeModem modem;
    TForm1 form;
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_TRUE(form.Button2->isEnabled());
    form.SetButton1Enabled(false);
    form.SetButton2Enabled(false);
    EXPECT_FALSE(form.Button1->isEnabled());
    EXPECT_FALSE(form.Button2->isEnabled());
    EXPECT_TRUE(form.Button3->isEnabled());
}

// Records the showing and restacking of a window.
class ShowEvents : public QObject {
public:
    std::vector<QEvent::Type> seen;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show || e->type() == QEvent::ZOrderChange)
            seen.push_back(e->type());
        return false;
    }
};

TEST_F(MainWindowTest, ShrinkHidesAndTheTrayHandlersShowAgain) {
    FakeModem modem;
    TForm1 form;
    form.RxTrayIcon1->SetAreaProbe([] { return true; });
    ShowEvents events;
    form.installEventFilter(&events);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 5000));
    QTest::mouseClick(form.Button3, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    events.seen.clear();
    form.N1Click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(events.seen.empty());
    form.Button3Click();
    EXPECT_FALSE(form.isVisible());
    events.seen.clear();
    form.RxTrayIcon1DblClick();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(events.seen.empty());

    // Already showing: neither shown again nor raised, even when covered.
    QCoreApplication::processEvents();
    events.seen.clear();
    form.N1Click();
    form.RxTrayIcon1DblClick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(events.seen.empty());
}

TEST_F(MainWindowTest, WithoutANotificationAreaShrinkMinimisesAndALaterStartRestores) {
    FakeModem modem;
    TForm1 form;
    form.RxTrayIcon1->SetAreaProbe([] { return false; });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 5000));
    form.Button3Click();
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(form.isVisible());
    form.BringBack();
    EXPECT_FALSE(form.isMinimized());
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainWindowTest, AHiddenWindowComesBackWhenTheNotificationAreaGoes) {
    FakeModem modem;
    TForm1 form;
    bool area = true;
    form.RxTrayIcon1->SetAreaProbe([&] { return area; });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 5000));

    // The tray ends without a word (XEmbed): the next look finds it gone.
    form.Button3Click();
    ASSERT_FALSE(form.isVisible());
    area = false;
    EXPECT_TRUE(PumpUntil([&] { return form.isVisible(); }, 10000));

    // The StatusNotifierItem watcher leaves the bus: at once.
    area = true;
    form.Button3Click();
    ASSERT_FALSE(form.isVisible());
    area = false;
    form.RxTrayIcon1->OnAreaLost();
    EXPECT_TRUE(form.isVisible());

    // While the area stays, the window stays hidden until asked for.
    area = true;
    form.Button3Click();
    QTest::qWait(1500);
    EXPECT_FALSE(form.isVisible());
    form.BringBack();
    EXPECT_TRUE(form.isVisible());
}

// Records what the window copies of its log.
class RecordingSink : public LogSink {
public:
    void Write(const std::string& lineGbk) override { lines.push_back(lineGbk); }
    void Flush() override { ++flushes; }
    std::vector<std::string> lines;
    int flushes = 0;
};

TEST_F(MainWindowTest, EveryLogLineIsCopiedFromTheFirstOneFormCreateLogs) {
    FakeModem modem;
    RecordingSink sink;
    TForm1 form(&sink);
    EXPECT_EQ(sink.lines, std::vector<std::string>{"初始化短信设备完成！"});
    form.AppendLog("连接127.0.0.1成功!");
    form.AppendLog("");
    EXPECT_EQ(sink.lines,
              (std::vector<std::string>{"初始化短信设备完成！", "连接127.0.0.1成功!", ""}));
    EXPECT_EQ(LogLines(form).size(), 2);
    EXPECT_EQ(sink.flushes, 0) << "only the close path flushes";
}

TEST_F(MainWindowTest, ASkinThatCannotBeReadIsReportedAndTheWindowKeepsTheNormalLook) {
    // A temporary folder that does not exist: the skin's description has nowhere to go.
    const std::string missing = dir.file("missing");
    const QByteArray previousTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(missing));
    FakeModem modem;
    std::unique_ptr<TForm1> form;
    EXPECT_NO_THROW(form = std::make_unique<TForm1>());
    if (previousTmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", previousTmp);
    ASSERT_TRUE(form);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(missing + "/skin-"), std::string::npos) << reports[0];
    EXPECT_TRUE(form->SkinData1->NoSkin());
    EXPECT_FALSE(form->SkinData1->Active());
    // The rest of the creation ran.
    EXPECT_EQ(LogLines(*form), QStringList{GbkToQString("初始化短信设备完成！")});
}

TEST_F(MainWindowTest, TheCycleTimerIsTheSettingsHostsTimer) {
    FakeModem modem;
    TForm1 form;
    EXPECT_TRUE(form.Engine().Timer1.isActive());
    EXPECT_EQ(form.Engine().Timer1.interval(), 1000);
    EXPECT_FALSE(form.Engine().Timer2.isActive());
    EXPECT_EQ(form.Engine().Timer2.interval(), 2000);
    form.StopCycleTimer();
    EXPECT_FALSE(form.Engine().Timer1.isActive());
    form.StartCycleTimer(1000);
    EXPECT_TRUE(form.Engine().Timer1.isActive());

    WriteServers("[新]\r\nIP=127.0.0.1\r\n");
    form.ReloadServers();
    ASSERT_EQ(form.ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(form.ListView1->topLevelItem(0)->text(0), GbkToQString("新"));
}

TEST_F(MainWindowTest, SettingsOpensTheDialogModallyAndDestroysItWhenItCloses) {
    FakeModem modem;
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 5000));
    bool sawDialog = false;
    bool timerStoppedWhileOpen = false;
    // Close the dialog from inside its modal loop; a safety net closes whatever is modal.
    QTimer::singleShot(0, &form, [&] {
        auto* dialog = qobject_cast<TForm3*>(QApplication::activeModalWidget());
        sawDialog = dialog != nullptr;
        timerStoppedWhileOpen = !form.Engine().Timer1.isActive();
        if (dialog)
            dialog->close();
    });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    safety.start(5000);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(timerStoppedWhileOpen);
    EXPECT_EQ(form.findChild<TForm3*>(), nullptr);
    EXPECT_TRUE(form.Engine().Timer1.isActive());
    EXPECT_EQ(form.Engine().Timer1.interval(), 1000);
}

} // namespace
