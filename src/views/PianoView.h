#pragma once

#include <QList>
#include <QSet>
#include <QWidget>

#include <memory>

class MusicFilter;

// What the keyboard asks of its owner (the controller). Main thread.
class PianoViewOwner {
public:
    virtual ~PianoViewOwner() = default;
    // The keyboard may play `track` now: the player's item is ready, the
    // track is the selected one and it has a MIDI manager.
    virtual bool pianoCanPlay(const MusicFilter& track) const = 0;
    // Starts playback when the player is paused.
    virtual void pianoStartPlayingIfPaused() = 0;
    // Puts a live note-on or note-off of MIDI note `note` (velocity 127) in
    // the track's inbox, to be played by its render and kept when it records.
    virtual void pianoSendNote(MusicFilter& track, int note, bool on) = 0;
    // The MIDI notes of the track's selected notes that are committed.
    virtual QList<int> pianoSelectedNotes(const MusicFilter& track) const = 0;
};

// The on-screen keyboard at the left of the notes panel: 88 rows, bottom to
// top, that line up with the piano roll's rows (row k is MIDI note k + 21).
// It draws and plays the 84 keys from C1 to B7; the lowest and highest rows
// are bands and the two rows above the lowest stay blank. It shows the keys
// that sound and those of the selected notes, and plays the keys the user
// presses and drags over on the bound track. Main thread only.
class PianoView : public QWidget {
    Q_OBJECT
public:
    explicit PianoView(QWidget* parent = nullptr);

    static constexpr int KeyCount = 88;
    static constexpr int FirstPlayableKey = 3;   // C1
    static constexpr int LastPlayableKey = 86;   // B7
    static constexpr quint64 NoKey = quint64(INT64_MAX);

    PianoViewOwner* owner = nullptr;
    std::weak_ptr<MusicFilter> musicFilter;
    // Key indices (MIDI note − 21) sounding now; the owner fills it and redraws.
    QSet<int> highlightsNotes;
    bool isMouseDown = false;
    quint64 currentNote = NoKey;
    // Keys that got a note-on from this view and wait for their note-off.
    QList<quint64> notesToOff;

    // The key under a point in the view's coordinates (y down); NoKey where
    // nothing plays. Beside a black key, the point lies on the white key above
    // or below it.
    quint64 keyAt(const QPointF& point) const;
    static bool isBlackKey(int key);
    // Ends what the view plays on its track (a note-off for every held key)
    // and lets go of the track.
    void letGo();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    MusicFilter* track() const;
    void send(MusicFilter& track, quint64 key, bool on);
    void releaseHeldKeys(MusicFilter& track);
};
