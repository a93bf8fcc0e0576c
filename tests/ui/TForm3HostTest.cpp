// The settings dialog over the real main window: closing it rebuilds the table and rows and the
// next probe cycle starts about one second later.
#include "support/FakeModem.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

#include "engine/ProbeCycle.h"
#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"
#include "ui/LogPane.h"
#include "ui/TForm1.h"
#include "ui/TForm3.h"
#include "ui/TListView.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

std::string Status(TForm1& form, int row) {
    return QStringToGbk(form.ListView1->topLevelItem(row)->text(1));
}

TEST(DialogOverMainWindow, ClosingRebuildsTheRowsAndTheCycleStartsAboutOneSecondLater) {
    TempDir dir;
    WorkingDirectory inDir(dir.path());
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
            EXPECT_FALSE(form.Engine().Timer1.isActive()) << "the cycle timer runs while open";
            dialog.BitBtn2->click();
            EXPECT_FALSE(dialog.isVisible());
        }
        ASSERT_EQ(form.ListView1->topLevelItemCount(), 3);
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(Status(form, row), "检测中") << row;
        EXPECT_EQ(QStringToGbk(form.ListView1->topLevelItem(2)->text(0)), "Mail");

        // The next cycle is one second away, whatever the interval field says.
        EXPECT_TRUE(form.Engine().Timer1.isActive());
        EXPECT_EQ(form.Engine().Timer1.interval(), 1000);
        EXPECT_FALSE(form.Memo1->toPlainText().contains(probeLine));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return form.Memo1->toPlainText().contains(probeLine); }, 15000));
    }
}

} // namespace
