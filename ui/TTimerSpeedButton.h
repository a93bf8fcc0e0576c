#pragma once

#include <QTimer>
#include <QWidget>

// One arrow of a spin button. A left-button press arms the repeat timer (400 ms, then every
// 100 ms); each firing steps while the button is held over the arrow, and a release over the
// arrow makes the final ordinary click. Dragging off the arrow suspends the steps until the
// pointer comes back; releasing elsewhere makes no step.
class TTimerSpeedButton : public QWidget {
    Q_OBJECT

public:
    enum class Direction { Up, Down };

    static constexpr int kFirstDelayMs = 400;
    static constexpr int kRepeatMs = 100;

    TTimerSpeedButton(Direction direction, QWidget* parent = nullptr);

    Direction ArrowDirection() const { return direction_; }
    bool IsHeld() const { return held_; }
    bool IsPointerOver() const { return over_; }

    // The auto-repeat timer, exposed so tests can check its state and fire it without waiting.
    const QTimer& RepeatTimer() const { return repeatTimer_; }
    void RepeatTimerTimer();

signals:
    // A left-button press landed on the arrow (before any step).
    void Pressed();
    // One step: the ordinary click or an auto-repeat firing.
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Direction direction_;
    QTimer repeatTimer_;
    bool held_ = false;
    bool over_ = false;
};
