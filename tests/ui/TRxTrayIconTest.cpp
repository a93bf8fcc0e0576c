#include "ui/TRxTrayIcon.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Exception.h"
#include "platform/qt/QtText.h"
#include "support/PrivateBus.h"
#include "ui/MainWindowTray.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Reason = QSystemTrayIcon::ActivationReason;

// Installs a clock that stands still and restores the system clock afterwards.
class ClockOverride {
public:
    ClockOverride() : clock_(45000.0) { previous_ = SetClock(&clock_); }
    ~ClockOverride() { SetClock(previous_); }
    void AdvanceMs(double ms) { clock_.advanceSeconds(ms / 1000.0); }

private:
    ManualClock clock_;
    const Clock* previous_;
};

const char* Name(TMouseButton b) {
    switch (b) {
    case TMouseButton::mbLeft:
        return "L";
    case TMouseButton::mbRight:
        return "R";
    case TMouseButton::mbMiddle:
        return "M";
    }
    return "?";
}

// Records the component's events as short words: down/up with the button (and "2" for the
// double-click flag), click, dbl.
class TrayRecorder {
public:
    explicit TrayRecorder(TRxTrayIcon& tray) {
        tray.OnClick = [this] { log.push_back("click"); };
        tray.OnDblClick = [this] { log.push_back("dbl"); };
        tray.OnMouseDown = [this](TMouseButton b, TShiftState s, int, int) {
            log.push_back(std::string("down") + Name(b) + (s.Double ? "2" : ""));
        };
        tray.OnMouseUp = [this](TMouseButton b, TShiftState s, int, int) {
            log.push_back(std::string("up") + Name(b) + (s.Double ? "2" : ""));
        };
        tray.OnMouseMove = [this](TMouseButton, TShiftState, int, int) { log.push_back("move"); };
    }
    std::vector<std::string> log;
};

// Times that depend on the platform's double-click interval, resolved when the test runs.
constexpr double kJustInsideInterval = -1;
constexpr double kJustOutsideInterval = -2;

struct Step {
    Reason reason;
    double msBefore; // time that passes before this activation, or one of the two above
};

double Resolve(double ms) {
    const double interval = QApplication::doubleClickInterval();
    if (ms == kJustInsideInterval)
        return interval - 1;
    if (ms == kJustOutsideInterval)
        return interval + 1;
    return ms;
}

struct MappingCase {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> expected;
};

void PrintTo(const MappingCase& c, std::ostream* os) {
    *os << c.name;
}

class TrayMapping : public testing::TestWithParam<MappingCase> {};

TEST_P(TrayMapping, ActivationsBecomeTheComponentsEvents) {
    const MappingCase& c = GetParam();
    ClockOverride clock;
    TRxTrayIcon tray(nullptr);
    TrayRecorder recorder(tray);
    for (const Step& step : c.steps) {
        clock.AdvanceMs(Resolve(step.msBefore));
        tray.HandleActivation(step.reason);
    }
    EXPECT_EQ(recorder.log, c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, TrayMapping,
    testing::Values(
        MappingCase{"single left click", {{Reason::Trigger, 0}}, {"downL", "click", "upL"}},
        MappingCase{"StatusNotifierItem double-click: two triggers within the interval",
                    {{Reason::Trigger, 0}, {Reason::Trigger, 100}},
                    {"downL", "click", "upL", "dbl", "downL2", "upL"}},
        MappingCase{"two triggers just inside the interval pair up",
                    {{Reason::Trigger, 0}, {Reason::Trigger, kJustInsideInterval}},
                    {"downL", "click", "upL", "dbl", "downL2", "upL"}},
        MappingCase{"two triggers further apart are two clicks",
                    {{Reason::Trigger, 0}, {Reason::Trigger, kJustOutsideInterval}},
                    {"downL", "click", "upL", "downL", "click", "upL"}},
        MappingCase{"XEmbed double-click: trigger then DoubleClick",
                    {{Reason::Trigger, 0}, {Reason::DoubleClick, 50}},
                    {"downL", "click", "upL", "dbl", "downL2", "upL"}},
        MappingCase{"a third quick click after a double-click starts over",
                    {{Reason::Trigger, 0}, {Reason::Trigger, 50}, {Reason::Trigger, 50}},
                    {"downL", "click", "upL", "dbl", "downL2", "upL", "downL", "click", "upL"}},
        MappingCase{"XEmbed triple click: the trigger after DoubleClick is a plain click",
                    {{Reason::Trigger, 0}, {Reason::DoubleClick, 50}, {Reason::Trigger, 50}},
                    {"downL", "click", "upL", "dbl", "downL2", "upL", "downL", "click", "upL"}},
        MappingCase{"a right click between two left clicks breaks the pair",
                    {{Reason::Trigger, 0}, {Reason::Context, 10}, {Reason::Trigger, 10}},
                    {"downL", "click", "upL", "downR", "click", "upR", "downL", "click", "upL"}},
        MappingCase{"right click without a menu is a click",
                    {{Reason::Context, 0}},
                    {"downR", "click", "upR"}},
        MappingCase{"middle click gives down and up but no click",
                    {{Reason::MiddleClick, 0}},
                    {"downM", "upM"}},
        MappingCase{"unknown activations are ignored", {{Reason::Unknown, 0}}, {}}),
    [](const testing::TestParamInfo<MappingCase>& info) {
        return "Case" + std::to_string(info.index);
    });

class TrayIconTest : public testing::Test {
protected:
    void SetUp() override {
        previousReport_ =
            SetErrorReportHandler([this](const std::string& m) { reports_.push_back(m); });
    }
    void TearDown() override { SetErrorReportHandler(previousReport_); }

    std::vector<std::string> reports_;

private:
    ErrorReportHandler previousReport_;
};

TEST_F(TrayIconTest, DisabledIconIgnoresEveryNotification) {
    TRxTrayIcon tray(nullptr);
    TrayRecorder recorder(tray);
    tray.SetEnabled(false);
    for (Reason r : {Reason::Trigger, Reason::DoubleClick, Reason::Context, Reason::MiddleClick})
        tray.HandleActivation(r);
    EXPECT_TRUE(recorder.log.empty());
    tray.SetEnabled(true);
    tray.HandleActivation(Reason::DoubleClick);
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"dbl", "downL2", "upL"}));
}

TEST_F(TrayIconTest, RightClickOpensThePopupMenuInsteadOfClicking) {
    QWidget owner;
    QMenu* menu = CreatePopupMenu1(
        &owner, [] {}, [] {});
    TRxTrayIcon tray(&owner);
    TrayRecorder recorder(tray);
    tray.SetPopupMenu(menu);
    tray.HandleActivation(Reason::Context);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"downR", "upR"}));
    menu->hide();
}

TEST_F(TrayIconTest, InactiveIconOpensNoMenu) {
    QWidget owner;
    QMenu* menu = CreatePopupMenu1(
        &owner, [] {}, [] {});
    TRxTrayIcon tray(&owner);
    TrayRecorder recorder(tray);
    tray.SetPopupMenu(menu);
    tray.SetActive(false);
    tray.HandleActivation(Reason::Context);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"downR", "click", "upR"}));
}

TEST_F(TrayIconTest, DoubleClickGoesToTheMenusDefaultItemWhenThereIsOne) {
    QWidget owner;
    int n1 = 0;
    QMenu* menu = CreatePopupMenu1(
        &owner, [&] { ++n1; }, [] {});
    TRxTrayIcon tray(&owner);
    TrayRecorder recorder(tray);
    tray.SetPopupMenu(menu);
    tray.HandleActivation(Reason::DoubleClick);
    EXPECT_EQ(n1, 0); // PopupMenu1 has no default item
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"dbl", "downL2", "upL"}));

    menu->setDefaultAction(menu->actions().front());
    recorder.log.clear();
    tray.HandleActivation(Reason::DoubleClick);
    EXPECT_EQ(n1, 1);
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"downL2", "upL"}));
}

TEST_F(TrayIconTest, HandlerErrorsReachTheDefaultReportAndNotificationsGoOn) {
    TRxTrayIcon tray(nullptr);
    int calls = 0;
    tray.OnDblClick = [&] {
        ++calls;
        throw Exception("boom");
    };
    tray.HandleActivation(Reason::DoubleClick);
    tray.HandleActivation(Reason::DoubleClick);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(reports_, (std::vector<std::string>{"boom", "boom"}));
}

TEST_F(TrayIconTest, IconIsShownOnlyWithAnImageAndWhileActive) {
    TRxTrayIcon tray(nullptr);
    tray.SetAreaProbe([] { return true; });
    EXPECT_FALSE(tray.Added()); // no image yet
    tray.SetActive(true);
    EXPECT_FALSE(tray.Added());

    tray.SetIcon(TrayIconImage());
    EXPECT_TRUE(tray.Added());
    EXPECT_TRUE(tray.PlatformIcon().isVisible());

    tray.SetIcon(QIcon());
    EXPECT_FALSE(tray.Added());
    EXPECT_FALSE(tray.PlatformIcon().isVisible());

    tray.SetIcon(TrayIconImage());
    tray.SetActive(false);
    EXPECT_FALSE(tray.Added());
    EXPECT_FALSE(tray.PlatformIcon().isVisible());
    tray.SetIcon(TrayIconImage()); // an image change does not show an inactive icon
    EXPECT_FALSE(tray.Added());
    tray.SetActive(true);
    EXPECT_TRUE(tray.Added());
}

TEST_F(TrayIconTest, EmptyHintMeansNoTooltip) {
    TRxTrayIcon tray(nullptr);
    tray.SetIcon(TrayIconImage());
    EXPECT_TRUE(tray.PlatformIcon().toolTip().isEmpty());
    tray.SetHint("监视|second part");
    EXPECT_EQ(tray.PlatformIcon().toolTip(), GbkToQString("监视"));
    tray.SetHint("");
    EXPECT_TRUE(tray.PlatformIcon().toolTip().isEmpty());
}

TEST_F(TrayIconTest, ADeferredIconKeepsWhatWasSetAndShowsItWhenStarted) {
    TRxTrayIcon tray(nullptr, TRxTrayIcon::Deferred{});
    tray.SetAreaProbe([] { return true; });
    tray.SetIcon(TrayIconImage());
    tray.SetHint("监视|second part");
    EXPECT_FALSE(tray.Started());
    EXPECT_FALSE(tray.Added());
    // Nowhere to show it yet: nothing happens.
    tray.ShowBalloon("标题", "正文", TBalloonIcon::biInfo, 1000);

    // A connection by a name never opened: not connected, so no watcher is followed.
    tray.Start(QDBusConnection(QStringLiteral("no such connection")));
    ASSERT_TRUE(tray.Started());
    EXPECT_TRUE(tray.Added());
    EXPECT_TRUE(tray.PlatformIcon().isVisible());
    EXPECT_EQ(tray.PlatformIcon().toolTip(), GbkToQString("监视"));
    QSystemTrayIcon* const first = &tray.PlatformIcon();
    tray.Start(QDBusConnection(QStringLiteral("no such connection")));
    EXPECT_EQ(&tray.PlatformIcon(), first);
    EXPECT_TRUE(tray.Added());

    // Inactive before the start: it stays out of the area until made active.
    TRxTrayIcon inactive(nullptr, TRxTrayIcon::Deferred{});
    inactive.SetAreaProbe([] { return true; });
    inactive.SetIcon(TrayIconImage());
    inactive.SetActive(false);
    inactive.Start(QDBusConnection(QStringLiteral("no such connection")));
    EXPECT_FALSE(inactive.Added());
    EXPECT_FALSE(inactive.PlatformIcon().isVisible());
    inactive.SetActive(true);
    EXPECT_TRUE(inactive.Added());
    EXPECT_TRUE(reports_.empty());
}

TEST(TrayNotificationArea, NoIconIsDockedWhereThePlatformHasNoArea) {
    // Offscreen: no XEmbed tray, no StatusNotifierItem host.
    TRxTrayIcon tray(nullptr);
    tray.SetIcon(TrayIconImage());
    EXPECT_FALSE(tray.Added());
    EXPECT_FALSE(tray.PlatformIcon().isVisible());
    EXPECT_FALSE(tray.NotificationAreaPresent());
}

TEST(TrayNotificationArea, AWatcherOnTheBusIsAnAreaAndItsLeavingIsReported) {
    PrivateBus bus;
    if (!bus.Running())
        GTEST_SKIP() << "dbus-daemon is not available";
    QDBusConnection panel = bus.Connect(QStringLiteral("panel"));
    ASSERT_TRUE(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    QDBusConnection trayBus = bus.Connect(QStringLiteral("tray"));
    TRxTrayIcon tray(nullptr, trayBus);
    EXPECT_TRUE(tray.NotificationAreaPresent());
    int lost = 0;
    tray.OnAreaLost = [&] { ++lost; };
    ASSERT_TRUE(panel.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return lost == 1; }, 10000));
    EXPECT_FALSE(tray.NotificationAreaPresent());
}

TEST(TrayNotificationArea, ShowsTheIconAgainWhenAStatusNotifierWatcherAppears) {
    PrivateBus bus;
    if (!bus.Running())
        GTEST_SKIP() << "dbus-daemon is not available";
    QDBusConnection trayBus = bus.Connect(QStringLiteral("tray"));
    ASSERT_TRUE(trayBus.isConnected());
    ClockOverride clock;
    TRxTrayIcon tray(nullptr, trayBus);
    tray.SetAreaProbe([] { return true; });
    TrayRecorder recorder(tray);
    tray.SetIcon(TrayIconImage());

    // Watching the same name on the same connection after the tray: when this one has heard
    // of the watcher, the tray has too.
    QDBusServiceWatcher seen(QStringLiteral("org.kde.StatusNotifierWatcher"), trayBus,
                             QDBusServiceWatcher::WatchForRegistration);
    int registrations = 0;
    QObject::connect(&seen, &QDBusServiceWatcher::serviceRegistered, [&] { ++registrations; });

    // Showing the icon again forgets a pending first click: the next click is a click, not the
    // second half of a double-click.
    tray.HandleActivation(Reason::Trigger);
    QDBusConnection panel = bus.Connect(QStringLiteral("panel"));
    ASSERT_TRUE(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return registrations == 1; }, 10000));
    clock.AdvanceMs(10);
    tray.HandleActivation(Reason::Trigger);
    EXPECT_EQ(recorder.log,
              (std::vector<std::string>{"downL", "click", "upL", "downL", "click", "upL"}));
    EXPECT_TRUE(tray.Added());

    // An inactive icon stays hidden when the watcher comes back.
    tray.SetActive(false);
    ASSERT_TRUE(panel.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return registrations == 2; }, 10000));
    EXPECT_FALSE(tray.Added());
    EXPECT_FALSE(tray.PlatformIcon().isVisible());
}

struct HintCase {
    std::string hint;
    std::string shown;
};

void PrintTo(const HintCase& c, std::ostream* os) {
    *os << '"' << c.hint << '"';
}

class VisibleHintTest : public testing::TestWithParam<HintCase> {};

TEST_P(VisibleHintTest, CutsAtTheBarAndAt63Bytes) {
    EXPECT_EQ(TRxTrayIcon::VisibleHint(GetParam().hint), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Hints, VisibleHintTest,
    testing::Values(HintCase{"", ""}, HintCase{"|tail", ""}, HintCase{"abc|def|ghi", "abc"},
                    HintCase{std::string(63, 'a'), std::string(63, 'a')},
                    HintCase{std::string(70, 'a'), std::string(63, 'a')},
                    // 62 bytes and then a double-byte character: it does not fit whole
                    HintCase{std::string(62, 'a') + "监视", std::string(62, 'a')},
                    HintCase{std::string(61, 'a') + "监视", std::string(61, 'a') + "监"},
                    HintCase{std::string(40, 'a') + "|" + std::string(40, 'b'),
                             std::string(40, 'a')}));

} // namespace
