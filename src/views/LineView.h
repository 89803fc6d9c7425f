#pragma once

#include "views/MarkerRecord.h"

#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <functional>
#include <vector>

class AudioDrawingView;
class FloatSlider;

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

    // ---- What the layer's gestures call (main thread); each does nothing
    // unless the owner gives it a body ------------------------------------------
    // The lane of the track at `index` in the track list, or null.
    virtual AudioDrawingView* rulerLaneAt(int) const { return nullptr; }
    // Exact seek of the player to `seconds` (bounded by its item); the
    // completion runs on the main thread, false when a later seek interrupted it.
    virtual void rulerSeek(double, std::function<void(bool finished)>) {}
    // The final seek of a drag: the owner seeks, then puts its sliders, labels
    // and the layer's percents where the player is and resumes its time observer.
    virtual void rulerUpdateCurrentTime(double) {}
    virtual void rulerSetContinueTimeObserver(bool) {}
    // The position slider and the elapsed and remaining time texts at `seconds`.
    virtual void rulerShowPosition(double) {}
    // The selected track's effect values and controls as its curves have them at `seconds`.
    virtual void rulerVerifyRecordedInputValues(double) {}
    // Scrolls the track area when `globalPos` lies beyond its visible part.
    virtual void rulerAutoscroll(const QPoint&) {}
    // Busy: an edit or a seek of the owner is in progress.
    virtual bool rulerIsBusy() const { return false; }
    virtual quint64 rulerSelectedTrack() const { return ~quint64(0) >> 1; }
    // Selects the track at `index` and shows its values, as a click on it does.
    virtual void rulerSelectTrack(quint64) {}
    virtual FloatSlider* rulerZoomSlider() const { return nullptr; }
    virtual double rulerZoomValue() const { return 1.0; }
    // Applies the zoom slider's value; with `pinchEnded` the pinch that moved
    // it is over and becomes one undo step back to `magnifyEventStartingZoom`.
    virtual void rulerUpdateZoomValue(bool) {}
    virtual void rulerAddAudioFile(const QUrl&) {}
    virtual void rulerLoadProject(const QUrl&) {}
};

// The ruler layer: a transparent layer over the whole track area, as wide as
// the track area (so its width stands for the whole composition) and never
// scrolled: positions are mapped from fractions of the composition and moved
// left by the scroll offset. It draws, in this order, the markers, the end
// of the composition with its length, the playback line, the playhead and,
// while a track is dragged, a third line. It redraws only when asked.
//
// It also takes the presses, drags, keys, pinches and file drops over the
// tracks, while the player's item is ready: a press inside a lane's trimmed
// region goes to that lane (with its drag and release), a press within 5
// points of the playhead drags the playhead, and whatever it does not use
// goes on to its parent. A playhead drag moves the playhead, the position
// slider and the time labels at every step but seeks only through a gate:
// one seek in flight at a time, the next no sooner than half a second after
// the previous drag seek finished. Main thread only.
class LineView : public QWidget {
    Q_OBJECT
public:
    explicit LineView(QWidget* parent = nullptr);

    // How long after a finished drag seek the next one may start.
    static constexpr int SeekGateDelayMs = 500;
    // Runs `fn` on this layer's thread after `delayMs`, dropped with the layer.
    std::function<void(int delayMs, std::function<void()> fn)> performAfterDelay;

    // The playhead drag driven by a composition time (the notes editor maps
    // its own pointer to one): press, drag and release.
    void lineUpdateDownFromAbsoluteTime(double seconds);
    void lineUpdateDraggedFromAbsoluteTime(double seconds);
    void lineUpdateUpFromAbsoluteTime(double seconds);
    // Opens the seek gate again.
    void updateCanSeekTime();
    // The lane that owns the mouse gesture under way, or null.
    AudioDrawingView* mouseDrawingView() const;

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

signals:
    // A seek of the playhead drag started; it finished (or was interrupted).
    void seekStarted(double seconds);
    void seekFinished(bool finished);

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The composition's length D in seconds (0 without an owner).
    double compositionSeconds() const;
    // The composition time under a point of the layer, clamped to [0, D].
    double pointerTime(const QPointF& position) const;
    // Grabbing the playhead at `currentTime`: time observer off, percents,
    // slider, labels, redraw, then the press seek.
    void grabPlayheadAtCurrentTime();
    // A drag step to `currentTime`: display, curves while paused, gated seek.
    void dragPlayheadToCurrentTime();
    void forwardToLane(QMouseEvent* event);
    void magnify(Qt::NativeGestureType type, double magnification);

    QPointer<AudioDrawingView> mouseDrawingView_;
    int dragOperation_ = 0;  // what a file drag over the layer would do: none (0) or copy (1)
    void drawMarkers(QPainter& painter, double W, double H, double s, double vw, double D);
    // Draws a label centred on x at mid-height; false when its box is not
    // within the visible part (nothing is drawn then).
    bool drawStandardLabel(QPainter& painter, double x, double W, double H, double vw,
                           const QString& text, const QColor& textColor, const QColor& boxColor);
    QFont labelFont_;
    QFont markerFont_;
};
