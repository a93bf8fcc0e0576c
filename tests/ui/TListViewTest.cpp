#include "ui/TListView.h"
#include "platform/ErrorReport.h"
#include "platform/Exception.h"
#include "platform/qt/QtText.h"
#include "support/Pump.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

void MovePointer(QWidget* viewport, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(viewport->mapToGlobal(pos)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

class ListViewTest : public testing::Test {
protected:
    void SetUp() override {
        view.setColumnCount(2);
        view.resize(219, 265);
        for (const char* name : {"a", "b", "c"})
            new QTreeWidgetItem(&view, {name, "status"});
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, 5000));
    }

    QFont FontOfRow(int row) {
        QStyleOptionViewItem option;
        option.initFrom(&view);
        const QModelIndex index = view.model()->index(row, 1);
        auto* delegate = dynamic_cast<THotTrackDelegate*>(view.itemDelegate());
        EXPECT_NE(delegate, nullptr);
        if (delegate)
            delegate->initStyleOption(&option, index);
        return option.font;
    }

    TListView view;
};

TEST_F(ListViewTest, PointerOverARowMakesItHotWithAHandAndAnUnderline) {
    const QPoint overB = view.visualItemRect(view.topLevelItem(1)).center();
    MovePointer(view.viewport(), overB);
    EXPECT_EQ(view.HotRow(), 1);
    EXPECT_EQ(view.viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(FontOfRow(1).underline());
    EXPECT_FALSE(FontOfRow(0).underline());

    MovePointer(view.viewport(), QPoint(5, view.viewport()->height() - 2));
    EXPECT_EQ(view.HotRow(), -1);
    EXPECT_NE(view.viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(FontOfRow(1).underline());
}

TEST_F(ListViewTest, LeavingTheRowsEndsTheHotRow) {
    MovePointer(view.viewport(), view.visualItemRect(view.topLevelItem(0)).center());
    ASSERT_EQ(view.HotRow(), 0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view.viewport(), &leave);
    EXPECT_EQ(view.HotRow(), -1);
}

TEST_F(ListViewTest, RowsAreSelectedWholeAndNeverEdited) {
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(view.isSortingEnabled());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier,
                      view.visualItemRect(view.topLevelItem(2)).center());
    ASSERT_EQ(view.selectedItems().size(), 1);
    EXPECT_EQ(view.selectedItems().front(), view.topLevelItem(2));
    EXPECT_EQ(view.selectionModel()->selectedIndexes().size(), 2);
}

TEST_F(ListViewTest, TheInfoTipIsAskedForTheRowUnderThePointerEachTimeItRests) {
    std::vector<int> asked;
    view.OnInfoTip = [&](int row, std::string& tip) {
        asked.push_back(row);
        if (row == 2)
            throw Exception("no details");
        tip = "第" + std::to_string(asked.size()) + "次";
    };
    std::vector<std::string> reports;
    const ErrorReportHandler previous =
        SetErrorReportHandler([&](const std::string& m) { reports.push_back(m); });
    auto rest = [&](int row) {
        const QPoint at = view.visualItemRect(view.topLevelItem(row)).center();
        QHelpEvent event(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.viewport(), &event);
    };
    rest(1);
    EXPECT_EQ(QToolTip::text(), GbkToQString("第1次"));
    rest(0);
    EXPECT_EQ(QToolTip::text(), GbkToQString("第2次"));
    // A handler that fails is reported and shows no tip.
    rest(2);
    EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); }, 5000));
    SetErrorReportHandler(previous);
    EXPECT_EQ(asked, (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(reports, std::vector<std::string>{"no details"});
}

} // namespace
