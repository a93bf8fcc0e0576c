#include "ui/TSpinEdit.h"

#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"
#include "storage/IntegerText.h"
#include "ui/TSpinButton.h"

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QStyle>

#include <algorithm>
#include <cstdint>

namespace {

TSpinEdit::BeepHook& InstalledBeep() {
    static TSpinEdit::BeepHook hook;
    return hook;
}

void DefaultBeep() {
    if (InstalledBeep())
        InstalledBeep()();
    else
        QApplication::beep();
}

} // namespace

TSpinEdit::BeepHook TSpinEdit::SetBeepHook(BeepHook hook) {
    BeepHook previous = std::move(InstalledBeep());
    InstalledBeep() = std::move(hook);
    return previous;
}

TSpinEdit::TSpinEdit(QWidget* parent) : QLineEdit(parent), button_(new TSpinButton(this)) {
    button_->setObjectName("Button");
    button_->SetFocusControl(this);
    setTextMargins(0, 0, kButtonWidth, 0);
    setText("0");
    connect(button_, &TSpinButton::UpClick, this, [this] { RunGuarded([this] { UpClick(); }); });
    connect(button_, &TSpinButton::DownClick, this,
            [this] { RunGuarded([this] { DownClick(); }); });
}

int TSpinEdit::Value() const {
    return ParseIntegerText(QStringToGbk(text())).value_or(minValue_);
}

long long TSpinEdit::CheckValue(long long value) const {
    if (maxValue_ == minValue_)
        return value;
    if (value < minValue_)
        return minValue_;
    if (value > maxValue_)
        return maxValue_;
    return value;
}

void TSpinEdit::SetValue(long long value) {
    // Stepping past the ends of the 32-bit range clamps instead of wrapping round.
    long long checked = CheckValue(value);
    checked = std::clamp<long long>(checked, INT32_MIN, INT32_MAX);
    setText(QString::number(checked));
}

void TSpinEdit::UpClick() {
    if (isReadOnly())
        DefaultBeep();
    else
        SetValue(static_cast<long long>(Value()) + increment_);
}

void TSpinEdit::DownClick() {
    if (isReadOnly())
        DefaultBeep();
    else
        SetValue(static_cast<long long>(Value()) - increment_);
}

bool TSpinEdit::IsValidChar(QChar c) const {
    const bool control = c.unicode() < 0x20;
    bool valid = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' ||
                 QLocale().decimalPoint() == QString(c) || (control && c != u'\r');
    if (!editorEnabled_ && valid && (!control || c == u'\b'))
        valid = false;
    return valid;
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    RunGuarded([&] {
        switch (event->key()) {
        case Qt::Key_Up:
            UpClick();
            event->accept();
            return;
        case Qt::Key_Down:
            DownClick();
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            DefaultBeep();
            event->accept();
            return;
        default:
            break;
        }
        // Keys that type nothing (movement, Delete, the clipboard chords, which X reports as
        // control characters) reach the editor unfiltered; typed characters are filtered.
        const QString typed = event->text();
        const bool chord = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
        const bool typesCharacter = !chord && !typed.isEmpty() && typed.front().unicode() >= 0x20 &&
                                    typed.front().unicode() != 0x7F;
        if (typesCharacter && !IsValidChar(typed.front())) {
            DefaultBeep();
            event->accept();
            return;
        }
        if (!editorEnabled_ && event->key() == Qt::Key_Backspace) {
            DefaultBeep();
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    });
}

void TSpinEdit::inputMethodEvent(QInputMethodEvent* event) {
    RunGuarded([&] {
        // An input method hands over typed characters as its commit rather than as key
        // presses; they pass the same filter, and a commit with a rejected character beeps.
        QString accepted;
        bool rejected = false;
        for (QChar c : event->commitString()) {
            if (IsValidChar(c))
                accepted += c;
            else
                rejected = true;
        }
        if (!rejected) {
            QLineEdit::inputMethodEvent(event);
            return;
        }
        DefaultBeep();
        QInputMethodEvent filtered(event->preeditString(), event->attributes());
        filtered.setCommitString(accepted, event->replacementStart(), event->replacementLength());
        QLineEdit::inputMethodEvent(&filtered);
    });
}

void TSpinEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // Entering by keyboard or from code selects everything; a click into the text places the
    // caret where it landed. Window activation and closing popups return focus, not enter it.
    switch (event->reason()) {
    case Qt::MouseFocusReason:
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
        break;
    default:
        selectAll();
        break;
    }
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    // Another window taking the activation, or a popup opening, is not leaving the field.
    const bool leaving =
        event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
    if (leaving)
        RunGuarded([this] {
            const int value = Value();
            if (CheckValue(value) != value)
                SetValue(value);
        });
    QLineEdit::focusOutEvent(event);
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    // The arrows sit inside the frame, as tall as the text area.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const QRect inner = rect().adjusted(frame, frame, -frame, -frame);
    button_->setGeometry(inner.right() + 1 - kButtonWidth, inner.top(), kButtonWidth,
                         inner.height());
}
