#pragma once

// The main window's effect sliders as a test finds them, and a drag of a
// slider's handle made of the mouse events a user's hand would send. For
// test programs linked with the application (header only: the support
// library itself knows nothing of the main window).

#include "app/MainWindowBuilder.h"
#include "app/EffectControls.h"
#include "views/FloatSlider.h"

#include <QCoreApplication>
#include <QLatin1String>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

namespace testsupport {

// The slider of the effect control whose key is `key`, or null.
inline FloatSlider* effectSlider(const MainWindowUi& ui, const char* key) {
    const auto controls = ui.effectControls();
    for (size_t i = 0; i < controls.size(); ++i)
        if (QLatin1String(effectControlTable[i].key) == QLatin1String(key)) return controls[i].first;
    return nullptr;
}

// Where the handle of `s` stands now, in its own coordinates.
inline QPoint sliderHandleCenter(QSlider* s) {
    QStyleOptionSlider option;
    option.initFrom(s);
    option.orientation = s->orientation();
    option.minimum = s->minimum();
    option.maximum = s->maximum();
    option.sliderPosition = s->sliderPosition();
    option.sliderValue = s->value();
    return s->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, s).center();
}

// A press on the handle, `moves` steps of `step` pixels towards the larger
// values, and a release. `whilePressed` runs between the last move and the
// release.
template <typename F = void (*)()>
void dragSlider(QSlider* s, int moves, int step, F whilePressed = [] {}) {
    QPoint at = sliderHandleCenter(s);
    const QPoint delta = s->orientation() == Qt::Horizontal ? QPoint(step, 0) : QPoint(0, -step);
    QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, at);
    for (int i = 0; i < moves; ++i) {
        at += delta;
        QTest::mouseMove(s, at);
        QCoreApplication::processEvents();
    }
    whilePressed();
    QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, at);
}

}  // namespace testsupport
