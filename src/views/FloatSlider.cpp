#include "views/FloatSlider.h"

#include <algorithm>
#include <cmath>

FloatSlider::FloatSlider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent) {
    QSlider::setRange(0, Steps);
    connect(this, &QSlider::valueChanged, this, [this](int position) {
        if (syncing_) return;
        value_ = min_ + (max_ - min_) * double(position) / Steps;
        emit floatValueChanged(value_);
        emit action(this);
    });
}

void FloatSlider::setRange(double minValue, double maxValue) {
    min_ = minValue;
    max_ = std::max(minValue, maxValue);
    value_ = std::clamp(value_, min_, max_);
    syncPosition();
}

void FloatSlider::setFloatValue(double value) {
    if (std::isnan(value)) value = min_;
    value_ = std::clamp(value, min_, max_);
    syncPosition();
    emit floatValueChanged(value_);
}

void FloatSlider::syncPosition() {
    syncing_ = true;
    double span = max_ - min_;
    int position = span > 0 ? int(std::lround((value_ - min_) / span * Steps)) : 0;
    QSlider::setValue(position);
    syncing_ = false;
}
