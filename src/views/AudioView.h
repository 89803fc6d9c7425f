#pragma once

#include <QUrl>
#include <QVector>
#include <QWidget>

#include <memory>
#include <vector>

class MusicFilter;
class UndoManager;

// An entry of the track list; its index is the track's number everywhere.
struct TrackRecord {
    QUrl audioURL;                              // the source file
    std::shared_ptr<MusicFilter> audioFilter;   // the track object
    QVector<float> audioFloatData;              // the waveform values
};

// The track area: one row 200 points high per track, as wide as the
// timeline. It holds the track list and ignores the mouse while the player
// is not ready.
class AudioView : public QWidget {
    Q_OBJECT
public:
    explicit AudioView(QWidget* parent = nullptr);

    std::vector<TrackRecord> audioTracks;
    bool viewAcceptsMouseEvents = false;

    // The undo manager of the track area's window: every track-list edit
    // registers its inverse here.
    UndoManager* undoManager() const { return undoManager_; }
    void setUndoManager(UndoManager* manager) { undoManager_ = manager; }

    static constexpr int RowHeight = 200;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    UndoManager* undoManager_ = nullptr;
};
