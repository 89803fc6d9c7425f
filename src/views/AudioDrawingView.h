#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QWidget>

#include "engine/AutomationTypes.h"
#include "engine/EngineConstants.h"

#include <optional>
#include <utility>

class AudioView;
class MusicFilter;
class QMouseEvent;

// A lane's time selection: one point (a position) or two (a range).
using SelectionPathRecord = QList<QPointF>;
// A pasted or inserted range: two points whose x are its ends.
using SelectionPasteRecord = QList<QPointF>;

// ---- Key-point editing: one key point of the curve a lane edits, named by
// its input key and its index in the track's working curve of that key,
// with the value range that places it.
struct KeyPointHitRecord {
    QString key;
    quint64 index = 0;
    double minValue = 0, maxValue = 0;
    bool samePoint(const KeyPointHitRecord& o) const { return key == o.key && index == o.index; }
};

// An edge trim, kept for its undo and redo: the region before the change,
// which edge moved (0 start, 1 end) and the zoom when the record was made.
struct TrimUndoRecord {
    QRectF undoBezierPath;
    int undoBezierPathType = 0;
    double undoFrameWidth = 1.0;
};

// What a lane reads of its owner (the controller) each time it draws.
class AudioDrawingViewOwner {
public:
    virtual ~AudioDrawingViewOwner() = default;
    // The track's selection-parameter ranges as (start, end) fractions of
    // the lane's width, in the owner's order; empty for none.
    virtual QList<QPair<double, double>> laneSelectionParameterRanges(const MusicFilter& track) const = 0;
    // The index of the range whose menu item is highlighted; another value for none.
    virtual quint64 laneHighlightedSelectionParameter() const = 0;

    // The track's curves the lane shows: the working store's entry while the
    // track's needsUpdateParametersWithTempDictionary is set, else the
    // committed one; null when that store has no entry for the track. Valid
    // until the stores change (the lane reads it within one drawing pass).
    virtual const TrackCurves* laneRecordedCurves(const MusicFilter& track) const = 0;
    // The minimum and maximum of the control that records `key`.
    virtual std::pair<double, double> laneValueRange(const QString& key) const = 0;
    // The point an effect control is moving while it records; `fromBandSlider`
    // when that control is one of the equaliser's ten bands.
    struct MovingPoint {
        HighlightedKeyPointRecord point;
        bool fromBandSlider = false;
    };
    virtual std::optional<MovingPoint> laneMovingPoint() const = 0;
    // The key point an open menu highlights.
    virtual std::optional<HighlightedKeyPointRecord> laneHighlightedKeyPoint() const = 0;
    // The input key of the control being moved; empty for none.
    virtual QString laneMovingSliderKey() const = 0;

    // ---- What the lane's gestures call (main thread) ---------------------------
    // The ruler's label opacity, redrawn: 0.3 while a gesture runs, 1.0 after.
    virtual void laneSetRulerAlpha(double) {}
    virtual void laneSetDoNotUpdateNeedsDisplay(bool) {}
    // The track plays notes through a MIDI manager (note selection applies).
    virtual bool laneTrackHasMidiManager(const MusicFilter&) const { return false; }

    // ---- lane selection, note selection and range selection
    // Selects the track at `index` as a click on its lane does: its settings
    // fill the controls, the curves are evaluated at the player's time, the
    // unit panel closes and the track area redraws.
    virtual void laneSelectTrack(quint64 index) { (void)index; }
    // What a selection's edges snap to: the playhead and the play position
    // and the markers' times, all in seconds of composition time.
    struct SnapTargets {
        double playhead = 0, playPosition = 0;
        QList<double> markerTimes;
    };
    virtual SnapTargets laneSnapTargets() const { return {}; }
    // The timeline's zoom; a held note is hit over twice this width.
    virtual double laneZoomValue() const { return 1.0; }

    // ---- key-point editing
    // The input keys of the curve a track shows (its showParameterCurve), one
    // or two, in the order they are tried; empty for none.
    virtual QStringList laneCurveKeys(quint64 curve) const { (void)curve; return {}; }
    // The track's curves in the working store; null when it has no entry for the track.
    virtual const TrackCurves* laneWorkingCurves(const MusicFilter&) const { return nullptr; }
    // Puts `point` in the track's working curve of `key`, in place of the
    // point at `index` or added when `index` is kNoIndex, keeps the curve in
    // time order and publishes the track's curves. Answers where that same
    // point now stands; kNoIndex when there is no such curve or point.
    virtual quint64 laneSetWorkingKeyPoint(MusicFilter&, const QString& key, quint64 index, const KeyPoint& point) {
        (void)key, (void)index, (void)point;
        return kNoIndex;
    }
    // Deletes the named points, and every point equal to one of them, from
    // the working curves; a curve that would keep fewer than two points is
    // left as it is. Publishes and answers true when a curve changed.
    virtual bool laneRemoveWorkingKeyPoints(MusicFilter&, const QList<KeyPointHitRecord>&) { return false; }
    // The working curves become the committed ones, one undo step.
    virtual void laneCommitKeyPoints() {}
    // The track's render and drawing follow the working curves (true) or the
    // committed ones; published at once.
    virtual void laneFollowWorkingCurves(MusicFilter&, bool working) { (void)working; }
    // The key point the mouse moves and its input key; none clears both.
    virtual void laneSetMovingKeyPoint(const std::optional<HighlightedKeyPointRecord>&, const QString& key) {
        (void)key;
    }
    // The selected track's inputs and controls set from the working or the
    // committed curves at `seconds` (none: the player's time).
    virtual void laneEvaluateCurves(bool working, std::optional<double> seconds) { (void)working, (void)seconds; }

    // ---- trims
    // Set while a project's tracks are being restored: the lanes draw
    // nothing of their tracks until they are whole again.
    virtual bool laneSkipsDrawingWhileLoading() const { return false; }
};

// The lane of one track in the track area: 200 points high, as wide as the
// whole source file at the current zoom and speed. The trimmed region
// (`drawingBezierPath`) is the used part of the file. It draws the track's
// waveform picture tinted in the track's colour, the pasted ranges and the
// time selections, the automation curve the track shows with its highlighted
// points, the region's outline and the fade lines; while the waveform is still
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
    // The lane's bounds at its last layout (its frame width, exact), from
    // which the region rescales when the width changes.
    QRectF oldBounds;
    double viewWidthRatioAtOneSpeed = 1.0;
    double fadeInPercent = 0, fadeOutPercent = 0;
    // The fade lines last drawn, in lane coordinates (y up).
    QPainterPath fadeInBezierPath, fadeOutBezierPath;
    // The key points being edited, the last one with its value label; they
    // show in the deleting colour while isDeletingRecordedParameter is set.
    QList<HighlightedKeyPointRecord> currentModifiedHighlightedKeyTimes;
    bool isDeletingRecordedParameter = false;
    // The lane is the target row of a dragged selection.
    bool tempStrokeForDragDrop = false;
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
    // ---- The lane's frame in the track area, exact. It lives in the track's
    // record (MusicFilter::laneFrame); the widget's whole-point geometry
    // follows it for drawing and hit tests, and is never read back into it.
    // A lane without a track answers its widget geometry.
    double frameX() const;
    double frameWidth() const;
    // The lane's bounds at its exact width, and its exact frame in the area.
    QRectF frameRect() const { return QRectF(0, 0, frameWidth(), height()); }
    QRectF laneFrame() const { return QRectF(frameX(), y(), frameWidth(), height()); }
    // How far the exact frame lies right of the widget's whole-point origin
    // (under half a point either way). The lane paints shifted by it, and a
    // point of the widget (a mouse position) lies at the widget point less
    // it in the lane.
    double frameOffset() const { return frameX() - x(); }
    QPointF framePoint(const QPointF& widgetPoint) const {
        return {widgetPoint.x() - frameOffset(), widgetPoint.y()};
    }
    // Sets the frame (origin and width), and the widget's geometry from it.
    void setFrame(double x, double width);
    void setFrameX(double x) { setFrame(x, frameWidth()); }

    // Keeps the region inside the lane and the track area.
    void verifyDrawingBezierPath();
    // Rescales the region to the lane's new width.
    void updateDrawingPath();
    // The pitch class of a MIDI note ("C", "C#/Db", ...); empty below 21.
    static QString nameForNote(quint64 note);

    // The track the lane shows, or null.
    MusicFilter* track() const;

    // ---- Mouse gestures -----------------------------------------------------------
    // A press picks one gesture; the drags and the release that follow reach
    // the lane (through the ruler layer's routing) after the press has
    // returned, and go where that gesture's routing says (`gestureRouting`).
    bool isMouseDragged = false;
    bool mouseEventToSuperview = false;  // the press moves the whole track
    bool isPressingCTRL = false;         // Ctrl was down at the press
    bool mouseInsideSelectionPaste = false;
    bool isMovingSelectionPath = false;
    bool isSelectingNotes = false;       // note-selection mode, set by the controller
    bool isAdjustingNotes = false;       // note-adjust mode, read by the notes editor
    bool isPressingCTRLForRecordedParameter = false;
    bool isMovingRecordedParameter = false;
    // ---- Key-point editing: the point last hit or being moved, and the points
    // a deleting gesture has marked.
    std::optional<KeyPointHitRecord> parameterInfo;
    QList<KeyPointHitRecord> toRemoveKeyPoints;

    // ---- Trims (LaneTrim.cpp): the state of an edge drag, kept until the next press
    QRectF bezierPathAtPress;  // the region at the press, for the undo
    double startOrigin = 0.0, startWidth = 0.0;
    QPointF startPoint, mousePoint;
    quint64 movingSide = 0;  // 0 the start edge, 1 the end edge
    // Undo and redo of an edge trim.
    void undoBezierPath(const TrimUndoRecord& record);

    // Where the drags and the release of the gesture under way go.
    enum class GestureRouting {
        None,        // no gesture (a lane selection runs none)
        Lane,        // drags and release to the lane
        TrackArea,   // drags to the track area, release to the lane (Ctrl hand-off, paste pick)
        TrimOrMove,  // drags to the track area while moving, else to the lane; release to the lane
    };
    GestureRouting gestureRouting = GestureRouting::None;

    void mouseDown(QMouseEvent* event);
    void mouseDragged(QMouseEvent* event);
    void mouseUp(QMouseEvent* event);
    // The point of a mouse event in the lane's drawing coordinates (y up),
    // measured from the exact frame.
    QPointF lanePoint(const QMouseEvent* event) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    AudioDrawingViewOwner* owner() const;
    // The track whose lane this is (its record holds the frame); null for none.
    MusicFilter* frameOwner() const;
    // A note selection's press has been taken and not yet released.
    bool notesGestureUnderWay() const;
    // Starts the routing of a gesture: the ruler dims its labels.
    void beginGesture(GestureRouting routing);

    // Lane selection, note selection, the Ctrl hand-off, the paste pick and
    // range selection (LaneGestures.cpp).
    void selectLaneTrack();
    void noteSelectionPress(const QPointF& p);
    void noteSelectionDrag(const QPointF& p);
    void noteSelectionRelease();
    void handOffToTrackArea(QMouseEvent* event);
    // Picks the pasted range under `p`; false when none is picked.
    bool pickSelectionPaste(const QPointF& p);
    void rangeSelectionPress(const QPointF& p);
    void rangeSelectionDrag(QMouseEvent* event, const QPointF& p);
    void rangeSelectionRelease(const QPointF& p);

    // Key-point editing (KeyPointEditing.cpp).
    // Forgets the key-point gesture's state (every press).
    void resetKeyPointGesture();
    // A press while the track shows and records a curve that has working
    // points; false hands the press on to the range selection, trims and moves.
    bool keyPointMouseDown(QMouseEvent* event, const QPointF& p);
    // A drag while deleting or moving key points.
    void keyPointMouseDragged(QMouseEvent* event, const QPointF& p);
    void keyPointDeletionUp(QMouseEvent* event, const QPointF& p);
    void keyPointMoveUp(QMouseEvent* event, const QPointF& p);

    // Trims and moves (LaneTrim.cpp).
    // A press in trim-or-move mode: near an edge it trims, elsewhere it moves the track.
    void trimOrMovePress(QMouseEvent* event, const QPointF& p);
    void trimDragged(QMouseEvent* event, const QPointF& p);
    // Commits the trim; the flags are the press's state before the release cleared it.
    void trimRelease(QMouseEvent* event, const QPointF& p, bool wasMouseDown, bool wasDragged);
    // The region after the moved edge went `dx` from where it was at the press.
    QRectF trimmedRegion(double dx) const;
    // Sets the track's composition time and fractions for the moved edge of
    // `region`; returns the source time range request for that edge.
    QVariantList applyTrimToTrack(MusicFilter& track, const QRectF& region, quint64 side) const;

    void drawWaveform(QPainter& painter, const QRect& dirty, const MusicFilter& track);
    void drawSelections(QPainter& painter, const MusicFilter& track, bool selected);
    void drawCurves(QPainter& painter, const MusicFilter& track, bool selected);
    void drawOutlineAndFades(QPainter& painter, bool selected);
    // The track's notes and the picked note's name (AudioDrawingViewNotes.cpp).
    void drawNotes(QPainter& painter, const MusicFilter& track);
};
