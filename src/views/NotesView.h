#pragma once

#include <QFont>
#include <QRectF>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "engine/MidiNote.h"

class MusicFilter;

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

    // ---- What the mouse asks (main thread; do nothing by default)
    // The player's item is ready: the mouse edits and seeks only then.
    virtual bool notesItemIsReady() const { return true; }
    // The ruler's labels at `alpha` (dimmed while a note gesture runs).
    virtual void notesSetRulerAlpha(double) {}
    // The track's notes changed in place: hand the render the new list and
    // redraw the lane.
    virtual void notesChanged(MusicFilter&) {}
    // The track's selection changed: redraw its lane and the keyboard.
    virtual void notesSelectionChanged(MusicFilter&) {}
    // One undo step that puts `before` back as the track's notes.
    virtual void notesRegisterUndo(MusicFilter&, const std::vector<MidiNoteRecord>&) {}
    // The playhead grabbed, dragged and let go at composition seconds; the
    // release seeks there.
    virtual void notesPlayheadDown(double) {}
    virtual void notesPlayheadDragged(double) {}
    virtual void notesPlayheadUp(double) {}
};

// The piano roll of the notes panel: 88 rows (MIDI notes 21 to 108, bottom to
// top) against the whole track at its speed, one second being `scaleFactor`
// × zoom points wide. It draws the track's notes (held ones red, selected ones
// blue, those outside the trimmed region faded), the name of the note being
// dragged, the selected notes' velocities while they are adjusted, the
// track's end with its length and the playhead with its time.
//
// The mouse does one of three things, by the note mode of the track's lane:
// in adjust mode it drags the start or the end of the note pressed (one undo
// step for the whole drag), in select mode it adds notes to the selection or
// takes the pressed one out, otherwise it drags the playhead and seeks on
// release. A note is hit where it is drawn, grown by 2 points on each side.
// Main thread only, as the note lists themselves.
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
    // The index in the track's list of the first note hit at a point in the
    // view's coordinates (y down); none when no note is there.
    std::optional<size_t> noteAt(const QPointF& point) const;

    // The note edge dragged in adjust mode: the note-on at `index` of the
    // track's list (its value then, to find it again should the list move)
    // and, for its end, the note-off paired with it at the press.
    struct NoteAdjustRecord {
        enum Edge { Start = 0, End = 1 };
        size_t index = 0;
        MidiNoteRecord note;
        Edge noteType = Start;
        std::optional<size_t> noteOffIndex;
    };
    std::vector<NoteAdjustRecord> tempAdjustedNotes;
    // The track's notes before an adjust drag, for its undo.
    std::optional<std::vector<MidiNoteRecord>> tempCopiedMidiArray;
    // A start never comes nearer its end than this, nor an end its start.
    static constexpr double kMinimumNoteSeconds = 0.05;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Gesture { None, Adjust, Select, Playhead };
    Gesture gesture_ = Gesture::None;
    // The track's start in the composition less its source offset at its
    // speed, in seconds: composition time = track time + this.
    double trackOffsetSeconds(const MusicFilter& track) const;
    double compositionSecondsAtFraction(const MusicFilter& track, double fraction) const;
    void setLabelsAlpha(double alpha);
    void adjustTo(MusicFilter& track, double seconds);
    void selectAt(MusicFilter& track, const QPointF& point, bool press);
    void autoscrollTo(const QPoint& point);
    QFont font12_, font11_;
};
