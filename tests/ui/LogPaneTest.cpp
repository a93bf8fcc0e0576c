#include "ui/LogPane.h"

#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

// The pane at Memo1's size, shown so that it wraps at its real width.
class LogPaneTest : public testing::Test {
protected:
    void SetUp() override {
        QFont font;
        font.setFamilies({"WenQuanYi Zen Hei"});
        font.setPixelSize(12);
        pane.setFont(font);
        pane.setFixedSize(219, 77);
        pane.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane, 5000));
    }

    // The shortest line of 'x' that the pane shows on two rows.
    std::string TwoRowLine() {
        std::string line;
        for (int n = 1; n < 400; ++n) {
            line += 'x';
            pane.clear();
            pane.AppendLine(line);
            if (pane.DisplayRowCount() == 2) {
                pane.clear();
                return line;
            }
        }
        ADD_FAILURE() << "no line of up to 400 characters wraps";
        return line;
    }

    void AppendShortLines(int count) {
        for (int i = 0; i < count; ++i)
            pane.AppendLine("line " + std::to_string(i));
    }

    LogPane pane;
};

TEST_F(LogPaneTest, CountsOneRowPerShortLineAndNoneWhenEmpty) {
    EXPECT_EQ(pane.DisplayRowCount(), 0);
    AppendShortLines(3);
    EXPECT_EQ(pane.DisplayRowCount(), 3);
    EXPECT_EQ(pane.blockCount(), 3);
}

TEST_F(LogPaneTest, FiveHundredRowsStayAndTheFiveHundredAndFirstEmptiesThePane) {
    AppendShortLines(500);
    EXPECT_EQ(pane.DisplayRowCount(), 500);
    EXPECT_EQ(pane.blockCount(), 500);
    pane.AppendLine("the 501st");
    EXPECT_EQ(pane.DisplayRowCount(), 0);
    EXPECT_TRUE(pane.toPlainText().isEmpty());
    pane.AppendLine("after");
    EXPECT_EQ(pane.toPlainText(), "after");
}

TEST_F(LogPaneTest, AWrappedLineCountsOncePerRow) {
    const std::string wrapped = TwoRowLine();
    pane.AppendLine(wrapped);
    AppendShortLines(498);
    EXPECT_EQ(pane.DisplayRowCount(), 500);
    EXPECT_EQ(pane.blockCount(), 499);
    pane.AppendLine("one more row");
    EXPECT_TRUE(pane.toPlainText().isEmpty());
}

TEST_F(LogPaneTest, AWrappedLineThatCrossesTheCapEmptiesThePaneWithIt) {
    const std::string wrapped = TwoRowLine();
    AppendShortLines(499);
    pane.AppendLine(wrapped);
    EXPECT_TRUE(pane.toPlainText().isEmpty());
}

TEST_F(LogPaneTest, IsReadOnlyAndShowsGbkText) {
    EXPECT_TRUE(pane.isReadOnly());
    pane.AppendLine("初始化短信设备失败！");
    EXPECT_EQ(pane.toPlainText(), QString::fromUtf8(u8"初始化短信设备失败！"));
}

} // namespace
