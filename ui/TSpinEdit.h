#pragma once

#include <QLineEdit>

#include <functional>

class TSpinButton;

// A one-line numeric field with a pair of arrow buttons inside its right end. Its value is the
// field's text read as integer text; a text that does not parse reads as MinValue. Writes clamp
// to MinValue..MaxValue (no clamping when the two are equal); reads never clamp.
class TSpinEdit : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int kButtonWidth = 15;

    explicit TSpinEdit(QWidget* parent = nullptr);

    // The range that writes and leaving the field clamp to, and the step of the arrows. Setting
    // them changes neither the text nor the value.
    int MinValue() const { return minValue_; }
    int MaxValue() const { return maxValue_; }
    int Increment() const { return increment_; }
    void SetMinValue(int value) { minValue_ = value; }
    void SetMaxValue(int value) { maxValue_ = value; }
    void SetIncrement(int value) { increment_ = value; }
    // When false the field takes no typing (digits, signs, Backspace are refused with a beep);
    // the arrows still step it.
    bool EditorEnabled() const { return editorEnabled_; }
    void SetEditorEnabled(bool enabled) { editorEnabled_ = enabled; }

    // The text read as integer text, as typed (not clamped); MinValue when it does not parse.
    int Value() const;
    // Writes the value clamped to MinValue..MaxValue (and to the 32-bit range) as decimal text.
    void SetValue(long long value);

    // One step up or down from the current value, clamped; a read-only field beeps instead.
    void UpClick();
    void DownClick();

    // The arrow pair inside the field's right end.
    TSpinButton* Button() const { return button_; }

    // The system's default beep for a rejected keystroke; tests count beeps through this hook.
    // An empty hook restores the platform beep. Returns the previous hook.
    using BeepHook = std::function<void()>;
    static BeepHook SetBeepHook(BeepHook hook);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    long long CheckValue(long long value) const;
    bool IsValidChar(QChar c) const;

    TSpinButton* button_;
    int minValue_ = 0;
    int maxValue_ = 0;
    int increment_ = 1;
    bool editorEnabled_ = true;
};
