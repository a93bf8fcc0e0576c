#include "ui/TSpinButton.h"

#include "ui/TTimerSpeedButton.h"

TSpinButton::TSpinButton(QWidget* parent)
    : QWidget(parent), upButton_(new TTimerSpeedButton(TTimerSpeedButton::Direction::Up, this)),
      downButton_(new TTimerSpeedButton(TTimerSpeedButton::Direction::Down, this)) {
    upButton_->setObjectName("FUpButton");
    downButton_->setObjectName("FDownButton");
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    connect(upButton_, &TTimerSpeedButton::Pressed, this, &TSpinButton::ArrowPressed);
    connect(downButton_, &TTimerSpeedButton::Pressed, this, &TSpinButton::ArrowPressed);
    connect(upButton_, &TTimerSpeedButton::Click, this, &TSpinButton::UpClick);
    connect(downButton_, &TTimerSpeedButton::Click, this, &TSpinButton::DownClick);
}

void TSpinButton::ArrowPressed() {
    if (focusControl_ && focusControl_->isEnabled() && !focusControl_->hasFocus())
        focusControl_->setFocus(Qt::OtherFocusReason);
}

void TSpinButton::resizeEvent(QResizeEvent*) {
    const int upHeight = height() / 2;
    upButton_->setGeometry(0, 0, width(), upHeight);
    downButton_->setGeometry(0, upHeight, width(), height() - upHeight);
}
