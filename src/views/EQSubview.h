#pragma once

// The equaliser strip: a fixed grid, the live spectrum of the selected track
// while the composition plays, the response line through the ten band gains
// tinted in the track's colour, a stem and a knob per band, the two end dots,
// and, while a band slider is being moved, its value. Main thread only.
//
// It draws in a design space 240 points high with y growing upwards, scaled
// to the strip's height; the ten band columns stand at fixed x there. The
// view holds no model: it reads its owner on every redraw, and takes a copy
// of the published spectrum, so the render thread never waits for it.

#include "engine/TrackSpectrum.h"
#include "views/StyledControls.h"

#include <QColor>
#include <QImage>
#include <QPointer>

#include <array>
#include <optional>

class FloatSlider;
class QPainter;

// What the strip reads of the controller.
class EQSubviewOwner {
public:
    virtual ~EQSubviewOwner() = default;
    // The ten band sliders, 32 Hz to 16 kHz; any may be null.
    virtual std::array<FloatSlider*, 10> eqBandSliders() const = 0;
    virtual int eqTrackCount() const = 0;
    // The selected track's colour; none when no track is selected.
    virtual std::optional<QColor> eqSelectedTrackColor() const = 0;
    // Whether the spectrum is wanted now (the preference is on and the
    // composition plays).
    virtual bool eqShowsSpectrum() const = 0;
    virtual const EQSpectrum* eqSpectrum() const = 0;
};

class EQSubview : public DrawBackgroundView {
    Q_OBJECT
public:
    explicit EQSubview(QWidget* parent = nullptr);

    static constexpr double kDesignHeight = 240.0;
    static double pixelScaling() { return 2.0; }
    // The accent colour of the grid, the end dots and the value label.
    static QColor accentColor(double alpha);

    EQSubviewOwner* audioController = nullptr;

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

    // While running, the strip redraws whenever a new spectrum is published;
    // stopping redraws once more, without it.
    void follow(bool running);

    // Design-space geometry: the column of band k, the height of a gain.
    static double bandX(int k);
    static double gainY(double gain);
    // The spectrum's outline points for a frame (design space, sorted by x,
    // both end points at height 0); `height` is the design height.
    static QList<QPointF> spectrumPoints(const EQSpectrum::Frame& frame, double height);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // The grid lines and dashed ticks, in design space.
    static void drawGrid(QPainter& p, double W, double H, double s);
    // The grid as drawn for the strip's current size.
    QImage gridLayer_;
    // The response line, stems, knobs, end dots and value label, in design space.
    void drawBands(QPainter& p, const std::array<double, 10>& gains, const QList<QPointF>& response, int tracks,
                   double scale);
    int timer_ = 0;
    uint64_t lastGeneration_ = 0;
};
