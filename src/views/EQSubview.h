#pragma once

// The equaliser strip that lies behind the band sliders. Main thread only.
// For now it draws its background and, while a band slider is being moved,
// that slider's value beside it; the response line and the live spectrum
// come with the lane commands. The view holds no model: it reads the slider
// on every redraw, and whoever changes what it shows calls update().

#include "views/StyledControls.h"

#include <QPointer>

class FloatSlider;

class EQSubview : public DrawBackgroundView {
    Q_OBJECT
public:
    explicit EQSubview(QWidget* parent = nullptr);

    // Draw the value of `infoSlider` while set.
    bool needsShowInfoValue = false;
    // The slider being moved, or null.
    QPointer<FloatSlider> infoSlider;
    // The value goes to the left of the slider instead of to its right (the
    // rightmost band, whose right side has no room).
    bool leftDrawing = false;

    // Shows `slider`'s value (null hides it) and redraws.
    void showInfoValue(FloatSlider* slider, bool onTheLeft);
    void hideInfoValue();

protected:
    void paintEvent(QPaintEvent* event) override;
};
