#pragma once

#include <QLineEdit>
#include <QValidator>

// The number formatter of the numeric fields: decimal style, no grouping,
// at most `maximumFractionDigits` fraction digits. As a validator it lets an
// edit through only when the new text reads as a number, negative ones
// included (or is on its way to one: empty, or a trailing decimal point);
// a lone minus sign only when negative numbers are allowed.
class TextFieldNumberFormatter : public QValidator {
    Q_OBJECT
public:
    enum class Kind { Decimal, Integer };
    explicit TextFieldNumberFormatter(Kind kind, QObject* parent = nullptr);

    Kind kind() const { return kind_; }
    bool allowsNegativeNumbers() const { return allowsNegativeNumbers_; }
    void setAllowsNegativeNumbers(bool on) { allowsNegativeNumbers_ = on; }
    int maximumFractionDigits() const { return kind_ == Kind::Integer ? 0 : 2; }

    // The text of a number: rounded to the fraction digits, trailing zeros dropped.
    QString stringFromNumber(double value) const;
    // The number the text reads as, if it reads as one.
    bool numberFromString(const QString& text, double* value) const;

    State validate(QString& input, int& pos) const override;

private:
    Kind kind_;
    bool allowsNegativeNumbers_ = false;
};

// A numeric text field. Return and Tab send its action; leaving it with the
// mouse does not. Its value can follow a slider (see showFollowedValue).
//
// Undo and Redo (Ctrl+Z, Ctrl+Shift+Z) undo the field's own text only while
// it holds typed text not yet sent; otherwise they are left to the window's
// shortcuts, so that a value just sent is undone as the command it became.
// Cut, copy, paste and select all are the field's; every other command key
// is the menus' first.
class NumberTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit NumberTextField(QWidget* parent = nullptr);

    // Takes ownership of the formatter.
    void setFormatter(TextFieldNumberFormatter* formatter);
    TextFieldNumberFormatter* formatter() const { return formatter_; }

    double floatValue() const;
    void setFloatValue(double value);
    // A value the field follows (its slider's): shown unless the user is
    // typing one, whose text stays until Return or Tab sends it or the
    // field loses the focus.
    void showFollowedValue(double value);
    bool isBeingEdited() const { return beingEdited_; }

signals:
    // Return or Tab in the field.
    void action(NumberTextField* sender);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Whether Undo or Redo in `event` is the field's own: typed text not
    // yet sent that has something to undo or redo.
    bool undoesOwnText(const QKeyEvent* event) const;

    TextFieldNumberFormatter* formatter_ = nullptr;
    bool beingEdited_ = false;
    // Text typed since the field last sent or was given a value.
    bool typedSinceSent_ = false;
};
