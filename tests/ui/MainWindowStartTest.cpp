// The main window as it starts: with the skin, and plain without it.
#include "support/FakeModem.h"
#include "support/Pump.h"
#include "support/ScopedSeam.h"
#include "support/TempDir.h"

#include "platform/ErrorReport.h"
#include "skin/TSkinData.h"
#include "skin/TSkinManage.h"
#include "ui/TForm1.h"

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
