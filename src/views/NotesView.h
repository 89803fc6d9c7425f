#pragma once

#include <QFont>
#include <QRectF>
#include <QWidget>

#include <memory>
#include <optional>

class MusicFilter;
struct MidiNoteRecord;

// What the piano roll reads of its owner (the controller) when it draws.
class NotesViewOwner {
public:
    virtual ~NotesViewOwner() = default;
    // The track plays notes through a MIDI manager.
    virtual bool notesTrackHasMidiManager(const MusicFilter& track) const = 0;
    // The player's time in seconds (0 without a player).
    virtual double notesPlayerSeconds() const = 0;
    // The notes panel's horizontal zoom (its slider's value).
    virtual double notesHorizontalZoom() const = 0;
};

// The piano roll of the notes panel: 88 rows (MIDI notes 21 to 108, bottom to
// top) against the whole track at its speed, one second being `scaleFactor`
// × zoom points wide. It draws the track's notes (held ones red, selected ones
// blue, those outside the trimmed region faded), the name of the note being
// dragged, the selected notes' velocities while they are adjusted, the
// track's end with its length and the playhead with its time. Main thread.
class NotesView : public QWidget {
    Q_OBJECT
public:
    explicit NotesView(QWidget* parent = nullptr);

    NotesViewOwner* owner = nullptr;
    std::weak_ptr<MusicFilter> viewFilter;
    bool isMouseDown = false;
    double scaleFactor = 13.0;      // points per second at zoom 1
    double noteBaseHeight = 4.0;    // row height at zoom 1
    double horizontalStretch = 1.0;
    double lineAlpha = 1.0;
    bool moveLine = false;          // the playhead is dragged here
    double tempLinePercent = 0.0;   // where it is dragged, as a fraction of the width
    bool hasMovedNote = false;
    bool showVelocityInfo = false;

    static double pixelScaling() { return 2.0; }
    // The track's length at its speed, in seconds (0 without a track).
    double trackLength() const;
    // The rectangle of a note-on record in drawing coordinates (y up); none
    // for records that are not drawn (note-offs, unplayed records).
    std::optional<QRectF> noteRect(const MidiNoteRecord& note) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont font12_, font11_;
};
