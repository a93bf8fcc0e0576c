#include "app/ViewerShortcut.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

struct Started {
    QString program;
    QStringList arguments;
};

TEST(ViewerShortcutTest, CtrlHStartsTheViewerOnTheHistoryFileAsItWasWhenAdded) {
    TempDir dir;
    std::vector<Started> started;
    QWidget window;
    {
        WorkingDirectory in(dir.path());
        AddViewerShortcut(window, QStringLiteral("history.db"),
                          [&](const QString& program, const QStringList& arguments) {
                              started.push_back({program, arguments});
                              return true;
                          });
    }
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 5000));

    QTest::keyClick(&window, Qt::Key_H);
    QTest::keyClick(&window, Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(started.empty());

    QTest::keyClick(&window, Qt::Key_H, Qt::ControlModifier);
    ASSERT_EQ(started.size(), 1u);
    // The test program has no viewer beside it: the one on the PATH.
    EXPECT_EQ(started[0].program, QStringLiteral("servermonitor-history"));
    const QString file = QDir(QString::fromStdString(dir.path())).absoluteFilePath("history.db");
    EXPECT_EQ(started[0].arguments,
              QStringList({QStringLiteral("--window"), QStringLiteral("--file"), file}));
}

} // namespace
