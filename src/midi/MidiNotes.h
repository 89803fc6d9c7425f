#pragma once

// The controller's side of the tracks' MIDI managers, on the main thread:
// the state the MIDI input threads read (MidiInputGate), the timer that
// takes what the renders sent back (live records to keep, key lights) into
// the tracks' lists, and each track's recording snapshot.
//
// The timer runs only while the player plays, a note arrives or a report
// waits; once nothing is left it drains one last time and stops.


#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <memory>
#include <utility>
#include <vector>

class AudioController;
class MusicFilter;
struct MidiInputGate;
struct MidiNoteRecord;
class PlayerItem;

class MidiNotes : public QObject {
    Q_OBJECT
public:
    explicit MidiNotes(AudioController* controller);
    ~MidiNotes() override;

    std::shared_ptr<MidiInputGate> gate() const { return gate_; }
    // Whether managers made from now on connect to the MIDI inputs (tests
    // that feed commands by hand turn it off).
    bool connectsToInputs = true;

    // The key indices (note - 21) sounding on the selected track, kept while
    // the player plays; the panel's keyboard shows them while it can.
    QSet<int> highlightsNotes;

    // The list a recording pass started from, per track; none while the
    // track does not record.
    std::vector<std::pair<std::weak_ptr<MusicFilter>, std::vector<MidiNoteRecord>>> tempMIDINotes;
    std::vector<MidiNoteRecord>* recordingSnapshotOf(const MusicFilter* track);

    // Takes every report of every track now: commits live records, lights
    // keys, republishes and redraws what changed.
    void drainReports();
    // The player started or stopped, its item changed or its status did.
    void refreshGate();
    // Keeps the timer going (any thread: the call is queued).
    void wake();
    // Live input is possible while the notes panel is open or a MIDI device
    // is connected to the selected track's instrument: the player then
    // renders a short way ahead and keeps its output awake. Looked at again
    // when the player, the panel or the selection changes, and about once a
    // second while it holds (devices come and go).
    void refreshLiveInput();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool isDraining() const { return timer_.isActive(); }

private:
    void tick();
    // No key lights: the player stopped.
    void darkenKeys();
    void followPlayerItem();

    AudioController* controller_;
    std::shared_ptr<MidiInputGate> gate_;
    QTimer timer_;
    QTimer liveCheck_;
    QPointer<QWidget> watchedPanel_;
    QPointer<PlayerItem> followedItem_;
    QMetaObject::Connection itemConnection_;
};
