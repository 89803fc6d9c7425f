#pragma once

#include "engine/EngineConstants.h"
#include "engine/TrackList.h"

#include <QImage>
#include <QUrl>
#include <QVector>
#include <QWidget>

#include <QPointF>
#include <QPointer>

#include <memory>
#include <optional>
#include <vector>

class AudioControllerServices;
class AudioDrawingView;
class QPainter;
class MusicFilter;
class QMouseEvent;
class UndoManager;
struct MediaTime;

// A dragged time selection or pasted range dropped on a track, kept by the
// controller until the seek the drop starts has completed.
struct DragDropSelectionRecord {
    quint64 targetIndex = 0;     // the row under the drop
    double dropFraction = 0.0;   // where the dropped range begins, 0 to 1 of the timeline
    std::weak_ptr<MusicFilter> source;  // the track the range was dragged from
    bool isPaste = false;        // a pasted range is dragged, not the selection
    quint64 indexOfSelectionPaste = kNoIndex;
    bool option = false;         // Alt held at the drop: replace rather than insert
};

// A track move, kept for its undo and redo: where the lane was, at which
// zoom, and the track itself (a record whose track is gone does nothing).
struct TrackMoveUndoRecord {
    QPointF undoFrameOrigin;
    double undoFrameWidth = 1.0;  // the zoom when the record was made
    std::weak_ptr<MusicFilter> track;
};

// What the track area and the lanes' trims call of their owner (the controller).
class AudioViewOwner {
public:
    virtual ~AudioViewOwner() = default;

    // ---- track moves and dragged selections
    // While set (a project loads) the area draws nothing of its own.
    virtual bool areaDoNotUpdateNeedsDisplay() const { return false; }
    // The composition's length in seconds (0 without one) and the timeline zoom.
    virtual double areaCompositionSeconds() const { return 0.0; }
    virtual double areaZoomValue() const { return 1.0; }
    // The length of the player's current item in seconds; 0 without one.
    virtual double areaPlayerItemSeconds() const { return 0.0; }
    // The markers' times in seconds, in the markers' order.
    virtual std::vector<double> areaMarkerTimes() const { return {}; }
    // False stops the player's time observer from moving the playhead and
    // the position controls until the next completed seek turns it back on.
    virtual void areaSetContinueTimeObserver(bool) {}
    // The position labels and both position sliders show `time`.
    virtual void areaShowPosition(const MediaTime&) {}
    // The ruler's playhead line at `percent` of the timeline, redrawn.
    virtual void areaSetLinePercent(double) {}
    // The ruler's second line (with its time label), redrawn.
    virtual void areaSetAdditionalLine(bool, double) {}
    // Seeks the player; its completion carries out a stored drop.
    virtual void areaUpdateCurrentTime(double) {}
    // A seek made once the player's next item is ready.
    virtual void areaSetSeekTime(double) {}
    virtual void areaAutoscroll(const QPoint&) {}
    virtual void areaSetDragDropSelectionInfo(const std::optional<DragDropSelectionRecord>&) {}
    // Before a moved or trimmed track is put back into the player: the unit
    // panel closes and the track keeps its unit and plug-in settings.
    virtual void areaKeepTrackSettings(MusicFilter&) {}
    // The track's automation follows it by `seconds`.
    virtual void areaUpdateRecordedTimes(MusicFilter&, double) {}
    // The track's "used / whole" time label.
    virtual void areaUpdateAudioTimeLabel(MusicFilter&) {}

    // ---- trims
};

// The track area: one row 200 points high per track, as wide as the
// timeline. It holds the track list and ignores the mouse while the player
// is not ready.
class AudioView : public QWidget {
    Q_OBJECT
public:
    explicit AudioView(QWidget* parent = nullptr);

    // The track list; the area draws from it.
    TrackList audioTracks;
    bool viewAcceptsMouseEvents = false;
    AudioControllerServices* audioController = nullptr;

    // The undo manager of the track area's window: every track-list edit
    // registers its inverse here.
    UndoManager* undoManager() const { return undoManager_; }
    void setUndoManager(UndoManager* manager) { undoManager_ = manager; }

    // The area's width in points, exact: the whole timeline at the present
    // zoom. Commands compute with it; the widget's width is its whole part.
    // Until it is set, the widget's width.
    double frameWidth() const { return frameWidth_ > 0 ? frameWidth_ : double(width()); }
    void setFrameWidth(double width, int height);

    static constexpr int RowHeight = 200;
    static double pixelScaling() { return 2.0; }

    // ---- waveform pictures
    // A transparent RGBA picture of the given pixel size; with `doSetSize`
    // it measures pixel size × `dpiScaling` in points.
    static QImage createNewBmpImageRep(int pixelWidth, int pixelHeight, double dpiScaling,
                                       bool doSetSize);
    static constexpr int WaveformWidth = 2000;
    static constexpr int WaveformHeight = 400;
    // Paints waveform values (clamped to [0, 1]) over `bitmap` (2000 × 400):
    // lines mirrored about the midline with a soft glow, then brightened.
    // The result keeps only its coverage (an alpha-only image), which the
    // lane tints. Touches nothing else, so worker threads may call it.
    static void paintWaveform(QImage& bitmap, const QVector<float>& values);
    // Paints the waveform of the track at `index` into its current bitmap,
    // making the bitmap when the track has none.
    void createPathImageForIndex(quint64 index);
    void setViewAcceptsMouseEvents(bool accepts);

    // ---- Gestures a lane hands over (TrackMoves.cpp): moving a track and
    // dragging a time selection or pasted range to another place ---------------
    bool mouseDownFromSubview = false;
    bool mouseDownIsPressingCTRL = false;
    bool drawForSelectionPaste = false;
    quint64 indexOfSelectionPaste = kNoIndex;
    void laneMouseDown(AudioDrawingView& lane, QMouseEvent* event);
    void laneMouseDragged(AudioDrawingView& lane, QMouseEvent* event);
    void laneMouseUp(AudioDrawingView& lane, QMouseEvent* event);
    // Scrolls the area's scroll view when the event lies beyond its visible part.
    void autoscroll(QMouseEvent* event);

    // ---- Track moves and dragged selections: the area's gesture state (TrackMoves.cpp)
    AudioViewOwner* owner() const;
    QPointF mouseStart, mousePoint;  // area coordinates, y down
    double startXOrigin = 0.0;
    QPointF pressFrameOrigin;  // the lane's frame origin at the press, for the undo
    bool drawMovingSelectionPath = false;
    bool isMouseDown = false;
    bool isMouseDragged = false;
    QPointer<AudioDrawingView> gestureLane;  // the lane that handed the gesture over
    // Undo and redo of a move.
    void undoFrameOrigin(const TrackMoveUndoRecord& record);

    // ---- file drops: any drag of URLs shows the copy operation; a drop
    // whose first file URL names a media file is handed on by fileDropped,
    // emitted once the drop has returned. Others are refused.
    static bool acceptsDroppedFile(const QUrl& url);

signals:
    void fileDropped(const QUrl& url);

protected:
    void paintEvent(QPaintEvent*) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    UndoManager* undoManager_ = nullptr;
    double frameWidth_ = 0;
    // Track moves and dragged selections (TrackMoves.cpp).
    void moveTrackTo(AudioDrawingView& lane, double x);
    void dragSelection(AudioDrawingView& lane, QMouseEvent* event);
    void dropSelection(AudioDrawingView& lane, QMouseEvent* event);
    void drawDragPicture(QPainter& painter);
    // The picture lies over the lanes on a layer of its own, shown while
    // `drawMovingSelectionPath` holds.
    friend class DragPictureLayer;
    QWidget* dragPictureLayer_ = nullptr;
    void updateDragPicture();
};
