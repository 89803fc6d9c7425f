#pragma once

#include "platform/units/UnitTypes.h"

#include <QSlider>
#include <QString>

// The slider of a generic unit panel row: a horizontal slider over a
// parameter's floating-point range.
class ParameterSlider : public QSlider {
public:
    static constexpr int kSteps = 10000;

    ParameterSlider(double minValue, double maxValue, QWidget* parent = nullptr);
    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    double doubleValue() const;
    // Sets the position without reporting a change.
    void setDoubleValue(double v);

private:
    double min_, max_;
};

namespace unitviews {
// The value text of a generic panel row for a parameter measured in `unit`.
QString valueText(units::ParameterUnit unit, double value);
}  // namespace unitviews
