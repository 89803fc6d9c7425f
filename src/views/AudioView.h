#pragma once

#include "engine/TrackList.h"

#include <QImage>
#include <QUrl>
#include <QVector>
#include <QWidget>

#include <memory>
#include <vector>

class AudioControllerServices;
class MusicFilter;
class UndoManager;

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

protected:
    void paintEvent(QPaintEvent*) override;

private:
    UndoManager* undoManager_ = nullptr;
};
