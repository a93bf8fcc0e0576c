// The settings dialog over the real main window: closing it rebuilds the table and rows and the
// next probe cycle starts about one second later.
#include "FakeModem.h"

#include "platform/ErrorReport.h"
#include "platform/QtText.h"
#include "ui/LogPane.h"
#include "ui/TForm1.h"
#include "ui/TForm3.h"
#include "ui/TListView.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback port nobody listens on: bound, noted and closed again.
int RefusedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    close(fd);
    return ntohs(address.sin_port);
}

std::string Status(TForm1& form, int row) {
    return QStringToGbk(form.ListView1->topLevelItem(row)->text(1));
}

TEST(DialogOverMainWindow, ClosingRebuildsTheRowsAndTheCycleStartsAboutOneSecondLater) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previousDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const int port = RefusedPort();
    ASSERT_GT(port, 0);
    std::ofstream("servers.ini", std::ios::binary)
        << "[Web]\r\nIP=127.0.0.1\r\nPort=" << port << "\r\n[Db]\r\nIP=127.0.0.1\r\nPort=" << port
        << "\r\n";

    FakeModem modem;
    {
        TForm1 form;
        ASSERT_EQ(form.ListView1->topLevelItemCount(), 2);
        form.SetRowStatus(0, "故障");
        form.SetRowStatus(1, "正常");
        const QString probeLine = GbkToQString("正在和127.0.0.1建立连接...");
        {
            TForm3 dialog(form, &form); // stops Timer1 before the first cycle could run
            dialog.show();
            // The file changes while the dialog is open; the rebuild reads it.
            dialog.Edit1->setText(QStringLiteral("Mail"));
            dialog.Edit2->setText(QStringLiteral("127.0.0.1"));
            dialog.Edit3->setText(QString::number(port));
            dialog.BitBtn4->click();
            QTest::qWait(1500);
            EXPECT_FALSE(form.Memo1->toPlainText().contains(probeLine)) << "a cycle ran while open";
            dialog.BitBtn2->click();
            EXPECT_FALSE(dialog.isVisible());
        }
        ASSERT_EQ(form.ListView1->topLevelItemCount(), 3);
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(Status(form, row), "检测中") << row;
        EXPECT_EQ(QStringToGbk(form.ListView1->topLevelItem(2)->text(0)), "Mail");

        // Timers never fire early: no cycle within the first 200 ms of the 1000 ms.
        QTest::qWait(200);
        EXPECT_FALSE(form.Memo1->toPlainText().contains(probeLine));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return form.Memo1->toPlainText().contains(probeLine); }, 15000));
    }
    QDir::setCurrent(previousDir);
}

} // namespace
