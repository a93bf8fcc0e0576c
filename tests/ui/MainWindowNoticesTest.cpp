#include "engine/ProbeCycle.h"
#include "platform/qt/QtText.h"
#include "support/FakeModem.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/TempDir.h"
#include "ui/DesktopNotifier.h"
#include "ui/TForm1.h"
#include "ui/TListView.h"
#include "ui/TRxTrayIcon.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

// The main window in a working directory of its own, with an accepting and a refused server.
class MainWindowNoticesTest : public testing::Test {
protected:
    void SetUp() override {
        std::ofstream("servers.ini", std::ios::binary)
            << "[网站]\r\nIP=127.0.0.1\r\nPort=" << server.port()
            << "\r\nSoundAlert=0\r\nSMSAlert=0\r\n"
            << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << refused
            << "\r\nSoundAlert=0\r\nSMSAlert=0\r\n";
        form = std::make_unique<TForm1>();
        // A desktop with a notification area, where 缩成图标 hides the window.
        form->RxTrayIcon1->SetAreaProbe([] { return true; });
        form->Engine().Timer1.stop();
        form->Engine().Timer2.setInterval(20);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    }
    void TearDown() override {
        QToolTip::hideText();
        form.reset();
    }

    // What the list shows when the pointer rests at `at` (viewport coordinates).
    QString TipAt(QPoint at) {
        QWidget* viewport = form->ListView1->viewport();
        QHelpEvent event(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    QString TipOfRow(int row) {
        const QRect rect = form->ListView1->visualItemRect(form->ListView1->topLevelItem(row));
        return TipAt(rect.center());
    }

    TempDir dir;
    WorkingDirectory cwd{dir.path()};
    LoopbackServer server{LoopbackServer::Hold};
    int refused = RefusedPort();
    FakeModem modem;
    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindowNoticesTest, ARowsTooltipShowsItsServersDetailsAsTheyAreWhenShown) {
    const QString port = QString::number(server.port());
    const QString before = TipOfRow(0);
    EXPECT_TRUE(before.startsWith(GbkToQString("地址：127.0.0.1:") + port + "\n"))
        << before.toStdString();
    EXPECT_TRUE(before.contains(GbkToQString("最后检测：尚未检测\n"))) << before.toStdString();
    EXPECT_TRUE(before.contains(GbkToQString("连接耗时：无\n"))) << before.toStdString();

    form->Button1Click();
    const QString up = TipOfRow(0);
    EXPECT_TRUE(up.contains(GbkToQString(" 正常\n"))) << up.toStdString();
    EXPECT_TRUE(up.contains(" ms\n")) << up.toStdString();
    EXPECT_FALSE(up.contains(GbkToQString("连接耗时：无"))) << up.toStdString();
    EXPECT_TRUE(up.contains(GbkToQString("连续失败：0 次\n"))) << up.toStdString();

    const QString down = TipOfRow(1);
    EXPECT_TRUE(down.startsWith(GbkToQString("地址：127.0.0.1:") + QString::number(refused)))
        << down.toStdString();
    EXPECT_TRUE(down.contains(GbkToQString(" 故障\n"))) << down.toStdString();
    EXPECT_TRUE(down.contains(GbkToQString("连接耗时：无\n"))) << down.toStdString();
    EXPECT_TRUE(down.contains(GbkToQString("连续失败：1 次\n"))) << down.toStdString();
    EXPECT_TRUE(down.endsWith(GbkToQString("最后短信：无"))) << down.toStdString();

    // The rows' texts are those of the list, untouched.
    EXPECT_EQ(form->ListView1->topLevelItem(1)->text(1), GbkToQString("故障"));
    EXPECT_EQ(form->ListView1->columnCount(), 2);

    // Below the last row there is nothing to tell: the tip goes (after its short fade).
    const QRect last = form->ListView1->visualItemRect(form->ListView1->topLevelItem(1));
    TipAt(QPoint(last.center().x(), last.bottom() + 40));
    EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); }, 5000));
}

TEST_F(MainWindowNoticesTest, ClickingANotificationOrTheBalloonShowsTheHiddenWindow) {
    form->Button3Click();
    ASSERT_FALSE(form->isVisible());
    ASSERT_TRUE(form->Notifier().OnActivated);
    form->Notifier().OnActivated();
    EXPECT_TRUE(form->isVisible());

    form->Button3Click();
    emit form->RxTrayIcon1->PlatformIcon().messageClicked();
    EXPECT_TRUE(form->isVisible());
}

} // namespace
