#pragma once

#include <QSlider>

// A slider over a range of real numbers. It keeps the exact value it is
// given (clamped into its range); the integer positions of the underlying
// slider only draw it. Setting the value from code sends no action; moving it
// with the mouse or the keyboard does.
class FloatSlider : public QSlider {
    Q_OBJECT
public:
    explicit FloatSlider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

    void setRange(double minValue, double maxValue);
    double minValue() const { return min_; }
    double maxValue() const { return max_; }

    double floatValue() const { return value_; }
    // Stores the value clamped into the range; emits floatValueChanged, not action.
    void setFloatValue(double value);

signals:
    // The user moved the slider.
    void action(FloatSlider* sender);
    // The value changed, from code or from the user.
    void floatValueChanged(double value);

private:
    void syncPosition();
    static constexpr int Steps = 10000;
    double min_ = 0.0;
    double max_ = 1.0;
    double value_ = 0.0;
    bool syncing_ = false;
};
