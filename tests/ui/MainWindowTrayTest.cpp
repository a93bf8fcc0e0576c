#include "ui/MainWindowTray.h"
#include "platform/ErrorReport.h"
#include "platform/Exception.h"
#include "platform/qt/QtText.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PopupMenu1, HoldsTheTwoItemsAndTheSeparatorInOrder) {
    QWidget owner;
    QMenu* menu = CreatePopupMenu1(
        &owner, [] {}, [] {});
    EXPECT_EQ(menu->objectName(), QStringLiteral("PopupMenu1"));
    EXPECT_EQ(menu->parent(), &owner);
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->objectName(), QStringLiteral("N1"));
    EXPECT_EQ(items[0]->text(), GbkToQString("显示界面"));
    EXPECT_EQ(items[1]->objectName(), QStringLiteral("N3"));
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->objectName(), QStringLiteral("N2"));
    EXPECT_EQ(items[2]->text(), GbkToQString("退出软件"));
    EXPECT_EQ(menu->defaultAction(), nullptr);
    for (QAction* a : items) {
        EXPECT_TRUE(a->isEnabled());
        EXPECT_TRUE(a->shortcut().isEmpty());
    }
}

TEST(PopupMenu1, ItemsRunTheirHandlersGuarded) {
    std::vector<std::string> reports;
    ErrorReportHandler previous =
        SetErrorReportHandler([&](const std::string& m) { reports.push_back(m); });
    QWidget owner;
    std::vector<std::string> calls;
    QMenu* menu = CreatePopupMenu1(
        &owner, [&] { calls.push_back("N1"); },
        [&] {
            calls.push_back("N2");
            throw Exception("quit failed");
        });
    menu->findChild<QAction*>(QStringLiteral("N1"))->trigger();
    menu->findChild<QAction*>(QStringLiteral("N2"))->trigger();
    SetErrorReportHandler(previous);
    EXPECT_EQ(calls, (std::vector<std::string>{"N1", "N2"}));
    EXPECT_EQ(reports, (std::vector<std::string>{"quit failed"}));
}

TEST(TrayImage, IsOurOwn32x32SixteenColourIconFile) {
    QFile file(QStringLiteral(":/icons/tray.ico"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 766);
    // Header: type 1, one image; entry: 32 x 32, 16 colours, 4 bits, 744 bytes at offset 22.
    EXPECT_EQ(bytes.left(6), QByteArray::fromHex("000001000100"));
    EXPECT_EQ(bytes.mid(6, 16), QByteArray::fromHex("2020100001000400e802000016000000"));

    const QImage image = QImage::fromData(bytes, "ICO");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);                       // the corners are transparent
    EXPECT_EQ(image.pixelColor(1, 2), QColor(0x80, 0x80, 0x80));   // bezel outline
    EXPECT_EQ(image.pixelColor(4, 4), QColor(0, 0, 0));            // screen
    EXPECT_EQ(image.pixelColor(4, 13), QColor(0, 0xFF, 0));        // trace
    EXPECT_EQ(image.pixelColor(16, 28), QColor(0xC0, 0xC0, 0xC0)); // foot

    EXPECT_FALSE(TrayIconImage().isNull());
}

} // namespace
