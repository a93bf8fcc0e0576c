#include "app/ErrorBox.h"

#include "platform/AppInfo.h"
#include "platform/ErrorReport.h"
#include "platform/Exception.h"
#include "platform/qt/QtText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace {

// The box itself, as on a display; the tests run offscreen, where InstallErrorBox would choose
// the line on standard error.
class ErrorBoxTest : public testing::Test {
protected:
    void SetUp() override { SetErrorReportHandler(ShowErrorBox); }
    void TearDown() override {
        SetErrorBoxRunner({});
        SetErrorReportHandler({});
    }
};

TEST_F(ErrorBoxTest, AnExceptionEscapingAHandlerIsShownAndTheProgramGoesOn) {
    std::vector<std::pair<QString, QString>> shown;
    SetErrorBoxRunner(
        [&](const QString& caption, const QString& text) { shown.emplace_back(caption, text); });
    bool laterHandlerRan = false;
    QTimer::singleShot(
        0, [] { RunGuarded([] { throw Exception("Cannot open file ./servers.ini"); }); });
    QTimer::singleShot(0, [&] { laterHandlerRan = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return laterHandlerRan; }, 5000));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, GbkToQString(kDisplayName));
    EXPECT_EQ(shown[0].second, "Cannot open file ./servers.ini");
}

TEST_F(ErrorBoxTest, GbkMessagesAreShownAsTheirCharacters) {
    QString text;
    SetErrorBoxRunner([&](const QString&, const QString& t) { text = t; });
    RunGuarded([] { throw Exception("无法打开文件"); });
    EXPECT_EQ(text, QString::fromUtf8(u8"无法打开文件"));
}

TEST_F(ErrorBoxTest, TheRealBoxIsModalCriticalWithOneOkButton) {
    // Inspect and close the box from inside its modal loop; a safety net closes it regardless.
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        modal = box->isModal();
        box->button(QMessageBox::Ok)->click();
    });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    safety.start(5000);
    ShowErrorReport("boom");
    EXPECT_EQ(caption, GbkToQString(kDisplayName));
    EXPECT_EQ(text, "boom");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(modal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(ErrorReportChoice, OnlyPlatformsNobodySeesGetTheLineOnStandardError) {
    EXPECT_FALSE(ShowsWindows("offscreen"));
    EXPECT_FALSE(ShowsWindows("minimal"));
    EXPECT_TRUE(ShowsWindows("xcb"));
    EXPECT_TRUE(ShowsWindows("wayland"));
}

TEST(ErrorReportChoice, HeadlessTheReportIsOneLineOnStandardErrorAndTheProgramGoesOn) {
    ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
    int capture[2];
    ASSERT_EQ(::pipe(capture), 0);
    const int savedError = ::dup(STDERR_FILENO);
    ::dup2(capture[1], STDERR_FILENO);
    ::close(capture[1]);
    InstallErrorBox();
    // A box would wait for its OK; a safety net closes any that comes.
    QTimer safety;
    bool boxSeen = false;
    QObject::connect(&safety, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            boxSeen = true;
            modal->close();
        }
    });
    safety.start(100);
    RunGuarded([] { throw Exception("Cannot open file ./servers.ini\r\n第二行"); });
    SetErrorReportHandler({});
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedError);
    std::string written(4096, '\0');
    written.resize(static_cast<size_t>(
        std::max<ssize_t>(0, ::read(capture[0], written.data(), written.size()))));
    ::close(capture[0]);
    EXPECT_EQ(written,
              GbkToUtf8(std::string(kDisplayName) + ": Cannot open file ./servers.ini  第二行\n"));
    EXPECT_FALSE(boxSeen);
}

} // namespace
