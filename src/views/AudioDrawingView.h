#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

class AudioView;
class MusicFilter;

// A lane's time selection: one point (a position) or two (a range).
using SelectionPathRecord = QList<QPointF>;
// A pasted or inserted range: two points whose x are its ends.
using SelectionPasteRecord = QList<QPointF>;

// What a lane reads of its owner (the controller) each time it draws.
class AudioDrawingViewOwner {
public:
    virtual ~AudioDrawingViewOwner() = default;
    // The track's selection-parameter ranges as (start, end) fractions of
    // the lane's width, in the owner's order; empty for none.
    virtual QList<QPair<double, double>> laneSelectionParameterRanges(const MusicFilter& track) const = 0;
    // The index of the range whose menu item is highlighted; another value for none.
    virtual quint64 laneHighlightedSelectionParameter() const = 0;
};

// The lane of one track in the track area: 200 points high, as wide as the
// whole source file at the current zoom and speed. The trimmed region
// (`drawingBezierPath`) is the used part of the file. It draws the track's
// waveform picture tinted in the track's colour, the pasted ranges and the
// time selections, and the region's outline; while the waveform is still
// being computed it shows the progress instead.
class AudioDrawingView : public QWidget {
    Q_OBJECT
public:
    explicit AudioDrawingView(QWidget* parent = nullptr);
    ~AudioDrawingView() override;

    quint64 viewIndex = 0;
    QPointer<AudioView> audioView;
    bool viewAcceptsMouseEvents = false;
    // Empty until the creator sets a region; every reader tests for that.
    QPainterPath drawingBezierPath;
    QRect oldBounds;
    double viewWidthRatioAtOneSpeed = 1.0;
    double fadeInPercent = 0, fadeOutPercent = 0;
    QList<SelectionPathRecord> selectionPaths;
    QList<SelectionPasteRecord> selectionPastes;
    bool showSelectionInfo = false;
    bool isMouseDown = false;
    // The waveform's progress while it is computed (0 to 1); negative when
    // there is nothing in progress.
    double loadingProgress = -1.0;

    static double pixelScaling() { return 2.0; }
    // The rounded rectangle of a region, corner radii 8.
    static QPainterPath regionPath(const QRectF& r);
    // Keeps the region inside the lane and the track area.
    void verifyDrawingBezierPath();
    // Rescales the region to the lane's new width.
    void updateDrawingPath();
    // The pitch class of a MIDI note ("C", "C#/Db", ...); empty below 21.
    static QString nameForNote(quint64 note);

    // The track the lane shows, or null.
    MusicFilter* track() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawWaveform(QPainter& painter, const QRect& dirty, const MusicFilter& track);
    void drawSelections(QPainter& painter, const MusicFilter& track, bool selected);
};
