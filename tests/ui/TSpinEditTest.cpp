#include "ui/TSpinEdit.h"
#include "support/ScopedSeam.h"
#include "ui/TSpinButton.h"
#include "ui/TTimerSpeedButton.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// A pointer move with the left button held: the pressed arrow keeps receiving the moves.
void MoveHeld(QWidget* widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(widget->mapToGlobal(pos)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// SpinEdit1's settings in a window of its own, next to a second field to move the focus to.
class SpinEditTest : public testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        spin = new TSpinEdit(&window);
        spin->SetMinValue(5);
        spin->SetMaxValue(600);
        spin->SetIncrement(1);
        spin->SetValue(60);
        spin->setFixedSize(49, 21);
        other = new QLineEdit(&window);
        layout->addWidget(spin);
        layout->addWidget(other);
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 5000));
        other->setFocus(Qt::OtherFocusReason);
    }

    void Leave() {
        spin->setFocus(Qt::TabFocusReason);
        other->setFocus(Qt::TabFocusReason);
    }
    TTimerSpeedButton* Up() const { return spin->Button()->UpButton(); }
    TTimerSpeedButton* Down() const { return spin->Button()->DownButton(); }

    QWidget window;
    TSpinEdit* spin = nullptr;
    QLineEdit* other = nullptr;
    int beeps = 0;
    ScopedSeam beepSeam{TSpinEdit::SetBeepHook, [this] { ++beeps; }};
};

struct ReadCase {
    const char* text;
    int value;        // what Value reads
    const char* left; // the text after leaving the field
};

class SpinEditReading : public SpinEditTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(SpinEditReading, ReadsAsTypedAndClampsOnlyOnLeaving) {
    const ReadCase& c = GetParam();
    spin->setText(QString::fromLatin1(c.text));
    EXPECT_EQ(spin->Value(), c.value);
    Leave();
    EXPECT_EQ(spin->text().toStdString(), c.left);
}

INSTANTIATE_TEST_SUITE_P(IntegerTextAndFallback, SpinEditReading,
                         testing::Values(ReadCase{"", 5, ""}, ReadCase{"+", 5, "+"},
                                         ReadCase{"-", 5, "-"}, ReadCase{"6.5", 5, "6.5"},
                                         ReadCase{"abc", 5, "abc"}, ReadCase{"60 ", 5, "60 "},
                                         ReadCase{"3", 3, "5"}, ReadCase{"900", 900, "600"},
                                         ReadCase{"0060", 60, "0060"}, ReadCase{"0", 0, "5"},
                                         ReadCase{"-5", -5, "5"}, ReadCase{"$10", 16, "$10"},
                                         ReadCase{"  7", 7, "  7"}, ReadCase{"600", 600, "600"},
                                         ReadCase{"601", 601, "600"}));

struct StepCase {
    const char* text;
    Qt::Key key;
    const char* after;
};

class SpinEditStepping : public SpinEditTest, public testing::WithParamInterface<StepCase> {};

TEST_P(SpinEditStepping, ArrowKeysStepFromTheReadValueAndClamp) {
    const StepCase& c = GetParam();
    spin->setFocus(Qt::TabFocusReason);
    spin->setText(QString::fromLatin1(c.text));
    QTest::keyClick(spin, c.key);
    EXPECT_EQ(spin->text().toStdString(), c.after);
    EXPECT_EQ(beeps, 0);
}

INSTANTIATE_TEST_SUITE_P(
    UpAndDown, SpinEditStepping,
    testing::Values(StepCase{"", Qt::Key_Up, "6"}, StepCase{"5", Qt::Key_Down, "5"},
                    StepCase{"60", Qt::Key_Up, "61"}, StepCase{"60", Qt::Key_Down, "59"},
                    StepCase{"600", Qt::Key_Up, "600"}, StepCase{"abc", Qt::Key_Down, "5"},
                    StepCase{"0060", Qt::Key_Up, "61"}, StepCase{"900", Qt::Key_Down, "600"},
                    StepCase{"2147483647", Qt::Key_Up, "600"},
                    StepCase{"-2147483648", Qt::Key_Down, "5"}));

TEST_F(SpinEditTest, ValueWritesClampUnlessTheLimitsAreEqual) {
    spin->SetValue(3);
    EXPECT_EQ(spin->text(), "5");
    spin->SetValue(900);
    EXPECT_EQ(spin->text(), "600");
    spin->SetMaxValue(5);
    spin->SetValue(900);
    EXPECT_EQ(spin->text(), "900");
}

struct KeyCase {
    Qt::Key key;
    const char* typed;
    bool accepted;
};

class SpinEditKeys : public SpinEditTest, public testing::WithParamInterface<KeyCase> {};

TEST_P(SpinEditKeys, FiltersTypedCharactersWithTheDefaultBeep) {
    const KeyCase& c = GetParam();
    spin->setFocus(Qt::TabFocusReason);
    spin->setText("12");
    spin->deselect();
    spin->setCursorPosition(2);
    QTest::sendKeyEvent(QTest::KeyAction::Click, spin, c.key, QString::fromLatin1(c.typed),
                        Qt::NoModifier);
    if (c.accepted) {
        EXPECT_EQ(spin->text().toStdString(), std::string("12") + c.typed);
        EXPECT_EQ(beeps, 0);
    } else {
        EXPECT_EQ(spin->text(), "12");
        EXPECT_EQ(beeps, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    DigitsSignsAndSeparator, SpinEditKeys,
    testing::Values(KeyCase{Qt::Key_7, "7", true}, KeyCase{Qt::Key_0, "0", true},
                    KeyCase{Qt::Key_Plus, "+", true}, KeyCase{Qt::Key_Minus, "-", true},
                    KeyCase{Qt::Key_Period, ".", true}, KeyCase{Qt::Key_A, "a", false},
                    KeyCase{Qt::Key_X, "X", false}, KeyCase{Qt::Key_Space, " ", false},
                    KeyCase{Qt::Key_Dollar, "$", false}, KeyCase{Qt::Key_Return, "\r", false},
                    KeyCase{Qt::Key_Enter, "\r", false}));

TEST_F(SpinEditTest, EditingKeysAndPasteWork) {
    spin->setFocus(Qt::TabFocusReason);
    spin->setText("123");
    spin->deselect();
    spin->setCursorPosition(3);
    QTest::keyClick(spin, Qt::Key_Backspace);
    EXPECT_EQ(spin->text(), "12");
    QTest::keyClick(spin, Qt::Key_Home);
    QTest::keyClick(spin, Qt::Key_Delete);
    EXPECT_EQ(spin->text(), "2");
    QGuiApplication::clipboard()->setText("abc");
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "abc");
    EXPECT_EQ(spin->Value(), 5);
    EXPECT_EQ(beeps, 0);
}

TEST_F(SpinEditTest, TextAnInputMethodCommitsIsFilteredLikeTypedKeys) {
    // With an input method on (a Chinese one, say), typed characters arrive as its commits, not
    // as key presses; they pass the same filter.
    spin->setFocus(Qt::TabFocusReason);
    spin->setText("12");
    spin->deselect();
    spin->setCursorPosition(2);
    const struct {
        QString commit;
        const char* text;
        int beeps;
    } cases[] = {
        {QString::fromUtf16(u"\u516d\u5341"), "12", 1}, // two Chinese numerals
        {"ab", "12", 2},
        {"7", "127", 2},
        {"-a", "127-", 3},
    };
    for (const auto& c : cases) {
        QInputMethodEvent commit;
        commit.setCommitString(c.commit);
        QApplication::sendEvent(spin, &commit);
        EXPECT_EQ(spin->text().toStdString(), c.text) << c.commit.toStdString();
        EXPECT_EQ(beeps, c.beeps) << c.commit.toStdString();
    }
}

TEST_F(SpinEditTest, EnteringByKeyboardSelectsAllButAClickIntoTheTextDoesNot) {
    spin->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(spin->selectedText(), "60");
    other->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(spin, Qt::LeftButton, Qt::NoModifier, QPoint(4, spin->height() / 2));
    EXPECT_TRUE(spin->hasFocus());
    EXPECT_EQ(spin->selectedText(), "");
}

TEST_F(SpinEditTest, PressingAnArrowMovesTheFocusIntoTheText) {
    ASSERT_FALSE(spin->hasFocus());
    QTest::mousePress(Up(), Qt::LeftButton);
    EXPECT_TRUE(spin->hasFocus());
    QTest::mouseRelease(Up(), Qt::LeftButton);
    EXPECT_EQ(spin->text(), "61");
}

TEST_F(SpinEditTest, AShortClickMakesExactlyOneStep) {
    QTest::mouseClick(Down(), Qt::LeftButton);
    EXPECT_EQ(spin->text(), "59");
    EXPECT_FALSE(Down()->RepeatTimer().isActive());
}

TEST_F(SpinEditTest, HeldArrowRepeatsAfterTheFirstDelayWhileThePointerIsOverIt) {
    QTest::mousePress(Up(), Qt::LeftButton);
    EXPECT_EQ(spin->text(), "60");
    ASSERT_TRUE(Up()->RepeatTimer().isActive());
    EXPECT_EQ(Up()->RepeatTimer().interval(), 400);

    Up()->RepeatTimerTimer();
    EXPECT_EQ(spin->text(), "61");
    EXPECT_EQ(Up()->RepeatTimer().interval(), 100);
    Up()->RepeatTimerTimer();
    EXPECT_EQ(spin->text(), "62");

    MoveHeld(Up(), QPoint(-20, -20));
    Up()->RepeatTimerTimer();
    EXPECT_EQ(spin->text(), "62");
    MoveHeld(Up(), QPoint(2, 2));
    Up()->RepeatTimerTimer();
    EXPECT_EQ(spin->text(), "63");

    QTest::mouseRelease(Up(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    EXPECT_EQ(spin->text(), "64");
    EXPECT_FALSE(Up()->RepeatTimer().isActive());
}

TEST_F(SpinEditTest, ReleasingOffTheArrowMakesNoStep) {
    QTest::mousePress(Down(), Qt::LeftButton);
    MoveHeld(Down(), QPoint(-20, -20));
    QTest::mouseRelease(Down(), Qt::LeftButton, Qt::NoModifier, QPoint(-20, -20));
    EXPECT_EQ(spin->text(), "60");
    EXPECT_FALSE(Down()->RepeatTimer().isActive());
}

TEST_F(SpinEditTest, RepeatTimerRunsOnTheEventLoop) {
    // The real timer, with a safety limit: at least one repeat step within five seconds.
    QTest::mousePress(Up(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return spin->text() != "60"; }, 5000));
    QTest::mouseRelease(Up(), Qt::LeftButton);
}

TEST_F(SpinEditTest, ArrowsSitInsideTheRightEndOfTheField) {
    const QRect button = spin->Button()->geometry();
    EXPECT_EQ(button.width(), 15);
    EXPECT_LE(button.right(), spin->width() - 1);
    EXPECT_GE(button.left(), spin->width() - 15 - 3);
    EXPECT_LT(Up()->geometry().top(), Down()->geometry().top());
}

} // namespace
