// The program's own skin on its real windows: the main window, the settings dialog and the tray
// menu are painted from the skin's images, and removing the skin gives each back its normal
// look. With SM_SCREENSHOT_DIR set, both looks of each are written there as PNG files.

#include "skin/SkinLook.h"
#include "MainWindowSkin.h"
#include "platform/ErrorReport.h"
#include "skin/TSkinData.h"
#include "skin/TSkinManage.h"
#include "skin/TWinSkinForm.h"
#include "sms/ModemApi.h"
#include "support/Pump.h"
#include "ui/MainWindowTray.h"
#include "ui/TForm1.h"
#include "ui/TForm3.h"
#include "ui/TRxTrayIcon.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>

namespace {

int NoModem(int) {
    return -1;
}
int NoModemType(int, int) {
    return -1;
}
int NoSend(int, const char*, const char*) {
    return -1;
}
const ModemApi kNoModem{NoModemType, NoModem, NoSend, NoModem, NoModem};

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void Keep(const QImage& image, const char* name) {
    const QByteArray dir = qgetenv("SM_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        image.save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name)));
}

class OwnSkinTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previousDir_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
        // Two servers nobody listens on, so the list shows rows.
        std::ofstream("servers.ini", std::ios::binary)
            << "[数据库]\r\nIP=127.0.0.1\r\nPort=1\r\n[网页]\r\nIP=127.0.0.2\r\nPort=1\r\n";
        oldTmp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", dir_.path().toLocal8Bit());
        previousModem_ = SetModemApi(&kNoModem);
        previousReport_ = SetErrorReportHandler([](const std::string& m) { ADD_FAILURE() << m; });
    }
    void TearDown() override {
        SetErrorReportHandler(previousReport_);
        SetModemApi(previousModem_);
        qputenv("TMPDIR", oldTmp_);
        QDir::setCurrent(previousDir_);
    }

    // Gives the command and waits for the command timer to carry it out.
    static void Carry(int command) {
        TSkinManage& manager = TSkinManage::Instance();
        manager.Command(command);
        ASSERT_TRUE(manager.CommandTimer().isActive());
        ASSERT_TRUE(PumpUntil([&] { return !manager.CommandTimer().isActive(); }));
        // The apply messages of the windows just wrapped.
        QCoreApplication::sendPostedEvents(nullptr, TSkinApplyEvent::kType);
    }

    // The windows of a test are skinned by a manager that has seen no other.
    TSkinManage manager_;
    QTemporaryDir dir_;
    QString previousDir_;
    QByteArray oldTmp_;
    const ModemApi* previousModem_ = nullptr;
    ErrorReportHandler previousReport_;
};

TEST_F(OwnSkinTest, MainWindowSettingsDialogAndTrayMenu) {
    TForm1 form;
    TSkinData SkinData1(&form);
    SkinData1.SetActive(true);
    SkinData1.ReadSkinStream(MainWindowSkinStream());
    SkinData1.Loaded();
    ASSERT_FALSE(SkinData1.NoSkin());
    ASSERT_TRUE(TSkinManage::Instance().SkinningOn());
    // No probe cycle may change the buttons between the grabs.
    static_cast<SettingsHost&>(form).StopCycleTimer();

    form.show();
    form.activateWindow();
    ASSERT_TRUE(PumpUntil([] { return TSkinManage::Instance().Activated(); }));
    ASSERT_TRUE(PumpUntil([&] {
        TWinSkinForm* painter = TSkinManage::Instance().FormPainter(&form);
        return painter && painter->Applied();
    }));
    const QImage skinnedMain = Grab(form);
    const QImage skinnedButtons = Grab(*form.Button2);

    TForm3 dialog(form, &form);
    dialog.show();
    QMenu* menu = CreatePopupMenu1(
        &form, [] {}, [] {});
    menu->popup(QPoint(40, 40));
    ASSERT_TRUE(PumpUntil([&] { return dialog.isVisible() && menu->isVisible(); }));
    Carry(1);
    const QImage skinnedDialog = Grab(dialog);
    const QImage skinnedMenu = Grab(*menu);
    ASSERT_NE(TSkinManage::Instance().FormPainter(&dialog), nullptr);
    ASSERT_NE(TSkinManage::Instance().MenuPainter(menu), nullptr);

    // A push button's pixels are the skin's button image, drawn to the button's size.
    const TDataSkinButton& element = *SkinData1.Elements().Button;
    const SkinLook look =
        MakeSkinLook(SkinData1.Elements(), SkinData1.SkinControls(), form.Button1->palette());
    QImage expected(form.Button1->size(), QImage::Format_RGB32);
    expected.fill(form.palette().color(QPalette::Window));
    {
        QPainter painter(&expected);
        DrawSkinPiece(painter, expected.rect(), look.button, 0);
    }
    const QImage button = Grab(*form.Button1);
    const int midY = button.height() / 2;
    // Stretched parts of the image may round one step differently on the window's surface.
    auto close = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
               std::abs(qBlue(a) - qBlue(b)) <= 2;
    };
    const QPoint points[] = {{element.LeftWidth - 1, midY},
                             {2, midY},
                             {button.width() - element.RightWidth, midY},
                             {button.width() / 2, 1},
                             {button.width() / 2, 3}};
    for (const QPoint& p : points)
        EXPECT_TRUE(close(button.pixel(p), expected.pixel(p)))
            << p.x() << "," << p.y() << ": " << QColor(button.pixel(p)).name().toStdString()
            << " drawn, " << QColor(expected.pixel(p)).name().toStdString() << " in the skin";

    Carry(2);
    const QImage plainMain = Grab(form);
    const QImage plainDialog = Grab(dialog);
    const QImage plainMenu = Grab(*menu);
    EXPECT_NE(plainMain, skinnedMain);
    EXPECT_NE(plainDialog, skinnedDialog);
    EXPECT_NE(plainMenu, skinnedMenu);
    EXPECT_EQ(TSkinManage::Instance().WrappedWindowCount(), 0u);

    // And back: the same skinned look again.
    Carry(1);
    EXPECT_EQ(Grab(*form.Button2), skinnedButtons);

    Keep(skinnedMain, "skin-main-window-skinned.png");
    Keep(plainMain, "skin-main-window-unskinned.png");
    Keep(skinnedDialog, "skin-settings-dialog-skinned.png");
    Keep(plainDialog, "skin-settings-dialog-unskinned.png");
    Keep(skinnedMenu, "skin-tray-menu-skinned.png");
    Keep(plainMenu, "skin-tray-menu-unskinned.png");
    menu->hide();
    dialog.hide();
}

} // namespace
