#pragma once

#include "views/MarkerRecord.h"

#include <QFont>
#include <QRect>
#include <QWidget>

#include <atomic>
#include <vector>

// What the ruler layer reads from its owner (the controller) each time it draws.
class LineViewOwner {
public:
    virtual ~LineViewOwner() = default;
    // D: the composition's length in seconds.
    virtual double rulerCompositionSeconds() const = 0;
    // The player has a current item that is ready to play.
    virtual bool rulerPlayerItemIsReady() const = 0;
    virtual bool rulerIsPlaying() const = 0;
    // The main window's position slider, in seconds.
    virtual double rulerPositionSliderSeconds() const = 0;
    virtual double rulerPlayerCurrentSeconds() const = 0;
    // The visible rectangle of the track area (its x is the scroll offset).
    virtual QRect rulerVisibleRect() const = 0;
    virtual int rulerTrackCount() const = 0;
    // The width that stands for the whole composition (the track area's).
    // The layer itself may be wider, to cover the visible part of a short
    // composition; a negative answer means the layer's own width.
    virtual double rulerTimelineWidth() const { return -1.0; }
    virtual const std::vector<MarkerRecord>& rulerMarkers() const = 0;
};

// The ruler layer: a transparent layer over the whole track area, as wide as
// the track area (so its width stands for the whole composition) and never
// scrolled: positions are mapped from fractions of the composition and moved
// left by the scroll offset. It draws, in this order, the markers, the end
// of the composition with its length, the playback line, the playhead and,
// while a track is dragged, a third line. It redraws only when asked.
class LineView : public QWidget {
    Q_OBJECT
public:
    explicit LineView(QWidget* parent = nullptr);

    LineViewOwner* audioController = nullptr;

    double linePercent = 0.0;        // playhead, as a fraction of the composition
    double currentLinePercent = 0.0; // the playhead fraction of the last drawing
    double currentTime = 0.0;        // seconds printed in the playhead label
    double globalLinePercent = 0.0;  // playback position, as a fraction
    double globalCurrentLinePercent = 0.0;
    double globalCurrentTime = 0.0;
    double additionalLinePercent = 0.0;
    bool drawAdditionalLinePercent = false;
    double magnifyEventStartingZoom = 1.0;
    bool canMoveLine = false;
    bool canSeekTime = false;
    std::atomic<double> lineAlpha{1.0};  // opacity of every label

    static double pixelScaling() { return 2.0; }
    // "HH:mm:ss:SS" of a number of seconds: hours go on past 24 and negative
    // or undefined times read as zero.
    static QString stringForTime(double seconds);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void drawMarkers(QPainter& painter, double W, double H, double s, double vw, double D);
    // Draws a label centred on x at mid-height; false when its box is not
    // within the visible part (nothing is drawn then).
    bool drawStandardLabel(QPainter& painter, double x, double W, double H, double vw,
                           const QString& text, const QColor& textColor, const QColor& boxColor);
    QFont labelFont_;
    QFont markerFont_;
};
