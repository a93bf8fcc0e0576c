// The main window as it starts: the session-bus side (tray icon, notifications) after the
// first paint; with the skin, and plain without it.
#include "support/FakeModem.h"
#include "support/Pump.h"
#include "support/ScopedSeam.h"
#include "support/TempDir.h"

#include "platform/ErrorReport.h"
#include "skin/TSkinData.h"
#include "skin/TSkinManage.h"
#include "ui/DesktopNotifier.h"
#include "ui/TForm1.h"
#include "ui/TRxTrayIcon.h"

#include <QEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class MainWindowStartTest : public testing::Test {
protected:
    TempDir dir;
    WorkingDirectory inDir{dir.path()};
    FakeModem modem;
    std::vector<std::string> reports;
    ScopedSeam reportSeam{SetErrorReportHandler,
                          [this](const std::string& m) { reports.push_back(m); }};
};

// Notes, at the window's first paint, whether the session-bus side had already started.
class FirstPaintWatch : public QObject {
public:
    explicit FirstPaintWatch(TForm1& form) : form_(form) { form.installEventFilter(this); }
    bool painted = false;
    bool startedBeforePaint = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &form_ && event->type() == QEvent::Paint && !painted) {
            painted = true;
            startedBeforePaint = form_.SessionServicesStarted();
        }
        return false;
    }

private:
    TForm1& form_;
};

TEST_F(MainWindowStartTest, TheTrayIconAndTheNotificationsComeRightAfterTheFirstPaint) {
    TForm1 form;
    form.RxTrayIcon1->SetAreaProbe([] { return true; });
    EXPECT_FALSE(form.SessionServicesStarted());
    EXPECT_FALSE(form.RxTrayIcon1->Started());
    EXPECT_FALSE(form.RxTrayIcon1->Added());

    FirstPaintWatch watch(form);
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return watch.painted; }, 20000));
    EXPECT_FALSE(watch.startedBeforePaint);
    // Not the safety net of a window that is never painted: it comes well before that.
    EXPECT_TRUE(PumpUntil([&] { return form.SessionServicesStarted(); }, 5000));
    EXPECT_TRUE(form.RxTrayIcon1->Started());
    EXPECT_TRUE(form.RxTrayIcon1->Added());
    EXPECT_TRUE(form.RxTrayIcon1->PlatformIcon().isVisible());
    EXPECT_TRUE(form.Notifier().OnActivated);
    EXPECT_TRUE(reports.empty());
}

TEST_F(MainWindowStartTest, AWindowThatIsNotShownGetsItsTrayIconOnTheFirstTurnOfTheLoop) {
    TForm1 form;
    form.RxTrayIcon1->SetAreaProbe([] { return true; });
    // Well before the safety net of a shown window that is never painted.
    EXPECT_TRUE(PumpUntil([&] { return form.SessionServicesStarted(); }, 5000));
    EXPECT_TRUE(form.RxTrayIcon1->Added());
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindowStartTest, ShrinkingBeforeTheFirstPaintHidesToAnIconThatIsThere) {
    TForm1 form;
    form.RxTrayIcon1->SetAreaProbe([] { return true; });
    form.show();
    form.Button3Click();
    EXPECT_TRUE(form.SessionServicesStarted());
    EXPECT_TRUE(form.RxTrayIcon1->Added());
    EXPECT_FALSE(form.isVisible());
    // The later paint path finds everything in place and adds nothing twice.
    form.N1Click();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 20000));
    PumpFor(100);
    EXPECT_TRUE(form.RxTrayIcon1->Added());
    EXPECT_TRUE(reports.empty());
}

TEST_F(MainWindowStartTest, ThePlainLookReadsNoSkinAndTheDefaultOneSkinsTheWindow) {
    {
        TForm1 plain(nullptr, nullptr, TForm1::Look::Plain);
        EXPECT_TRUE(plain.SkinData1->NoSkin());
        EXPECT_FALSE(plain.SkinData1->Active());
        plain.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain, 20000));
        PumpFor(50);
        EXPECT_EQ(TSkinManage::Instance().FormPainter(&plain), nullptr);
    }
    TForm1 skinned;
    EXPECT_FALSE(skinned.SkinData1->NoSkin());
    EXPECT_TRUE(skinned.SkinData1->Active());
    skinned.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&skinned, 20000));
    EXPECT_TRUE(
        PumpUntil([&] { return TSkinManage::Instance().FormPainter(&skinned) != nullptr; }, 5000));
    EXPECT_TRUE(reports.empty());
}

} // namespace
