#pragma once

#include "engine/EngineConstants.h"
#include "engine/TrackList.h"

#include <QImage>
#include <QUrl>
#include <QVector>
#include <QWidget>

#include <memory>
#include <vector>

class AudioControllerServices;
class AudioDrawingView;
class MusicFilter;
class QMouseEvent;
class UndoManager;

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

// What the track area and the lanes' trims call of their owner (the controller).
class AudioViewOwner {
public:
    virtual ~AudioViewOwner() = default;

    // ---- track moves and dragged selections

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
};
