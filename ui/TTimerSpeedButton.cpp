#include "ui/TTimerSpeedButton.h"

#include "platform/ErrorReport.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

TTimerSpeedButton::TTimerSpeedButton(Direction direction, QWidget* parent)
    : QWidget(parent), direction_(direction) {
    setFocusPolicy(Qt::NoFocus);
    repeatTimer_.setSingleShot(false);
    connect(&repeatTimer_, &QTimer::timeout, this,
            [this] { RunGuarded([this] { RepeatTimerTimer(); }); });
}

void TTimerSpeedButton::RepeatTimerTimer() {
    // The first firing ends the initial delay; from then on the timer runs at the repeat rate.
    if (repeatTimer_.interval() != kRepeatMs)
        repeatTimer_.setInterval(kRepeatMs);
    if (held_ && over_)
        emit Click();
}

void TTimerSpeedButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    RunGuarded([&] {
        held_ = true;
        over_ = true;
        update();
        emit Pressed();
        repeatTimer_.start(kFirstDelayMs);
    });
}

void TTimerSpeedButton::mouseMoveEvent(QMouseEvent* event) {
    if (!held_)
        return;
    const bool over = rect().contains(event->position().toPoint());
    if (over != over_) {
        over_ = over;
        update();
    }
}

void TTimerSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !held_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    RunGuarded([&] {
        repeatTimer_.stop();
        const bool over = rect().contains(event->position().toPoint());
        held_ = false;
        over_ = false;
        update();
        if (over)
            emit Click();
    });
}

void TTimerSpeedButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton panel;
    panel.initFrom(this);
    panel.state |= (held_ && over_) ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &panel, &painter, this);

    QStyleOption arrow;
    arrow.initFrom(this);
    const int side = qMin(width(), height()) - 2;
    arrow.rect = QRect(0, 0, side, side);
    arrow.rect.moveCenter(rect().center());
    if (held_ && over_)
        arrow.rect.translate(1, 1);
    style()->drawPrimitive(direction_ == Direction::Up ? QStyle::PE_IndicatorArrowUp
                                                       : QStyle::PE_IndicatorArrowDown,
                           &arrow, &painter, this);
}
