#pragma once

#include <QWidget>

class TTimerSpeedButton;

// The pair of arrows at the right end of a TSpinEdit: up above down, each half of the height.
// A press on either arrow moves the keyboard focus to the focus control first.
class TSpinButton : public QWidget {
    Q_OBJECT

public:
    explicit TSpinButton(QWidget* parent = nullptr);

    void SetFocusControl(QWidget* control) { focusControl_ = control; }
    TTimerSpeedButton* UpButton() const { return upButton_; }
    TTimerSpeedButton* DownButton() const { return downButton_; }

signals:
    void UpClick();
    void DownClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ArrowPressed();

    TTimerSpeedButton* upButton_;
    TTimerSpeedButton* downButton_;
    QWidget* focusControl_ = nullptr;
};
