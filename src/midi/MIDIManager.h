#pragma once

// The MIDI side of one track: its connection to the MIDI inputs, the keys
// held on them, its record flag and the scheduler that plays its notes. A
// track gets one when an instrument first enters its chain and keeps it for
// its life, also once the instrument is gone. The note lists stay the
// track's.
//
// Threads.
// - Made and destroyed on the main thread; the destructor stops the input
//   and takes the scheduler off the track (the track's tap is detached by
//   then, so no render is inside it).
// - handleMIDINoteCommand() runs on the connection manager's thread (or a
//   test's): it reads the controller's state only through MidiInputGate's
//   atomics, and asks the main thread to start playback through the gate.
// - recordNotes, isProcessingNoteOn and the held keys are atomics for any
//   thread.

#include "midi/MidiScheduler.h"
#include "platform/midiio/MidiCommands.h"
#include "platform/midiio/MidiConnections.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class MusicFilter;
class PlaybackClock;

// What the MIDI input thread may read of the controller. The main thread
// keeps the flags current.
struct MidiInputGate {
    // The player's current item is ready to play.
    std::atomic<bool> itemReady{false};
    std::atomic<bool> isPlaying{false};
    // The index of the selected track; the controller's own atomic.
    const std::atomic<uint64_t>* selectedTrack = nullptr;
    // Asks the main thread to start playback (never waits for it). Set
    // before the first manager is made; called from the input thread.
    std::function<void()> requestPlayback;
    // Asks the main thread to drain the tracks' reports soon.
    std::function<void()> wakeMainThread;
    // The input devices whose commands are taken, by name; every device
    // when empty. Set before the first manager is made.
    std::function<bool(const QString& device)> acceptsDevice;
    // What the player's output plays, to stamp a key with the time the user
    // heard when it came; none leaves the stamp to the render. Set before
    // the first manager is made.
    std::shared_ptr<const PlaybackClock> clock;
};

class MIDIManager {
public:
    // The name our client has in the MIDI system.
    static const char* const kConnectionName;

    // `connect` false: no connection manager (commands come only through
    // handleMIDINoteCommand()).
    MIDIManager(MusicFilter& track, std::shared_ptr<MidiInputGate> gate, bool connect = true);
    ~MIDIManager();
    MIDIManager(const MIDIManager&) = delete;
    MIDIManager& operator=(const MIDIManager&) = delete;

    MusicFilter& musicFilter() const { return track_; }
    // The connected input devices; empty without connection (any thread).
    std::vector<midiio::MidiDevice> connectedDevices() const;

    // The note numbers held down on the MIDI devices for this track: +1 when
    // a note number's first key goes down, -1 when its last one comes up.
    // Never below 0, and a second release of one key changes nothing.
    std::atomic<int64_t> isProcessingNoteOn{0};
    // While set, live notes are kept in the track's list.
    std::atomic<bool> recordNotes{false};

    // One command from a device (the input thread): queued for the render as
    // a live record. A note-on or pitch bend is dropped before the player's
    // item is ready and for a track that is not the selected one. A note-off
    // goes to the track whose key it releases, whatever is selected or ready
    // now, so that the instrument sounding the note hears its end; a release
    // of a key this track does not hold is dropped.
    void handleMIDINoteCommand(const midiio::MidiCommand& command);
    // Whether a key of this note number is held for this track (any thread).
    bool holdsKey(uint8_t note) const { return heldKeys_[note & 0x7F].load() != 0; }

    MidiScheduler& scheduler() { return *scheduler_; }

private:
    // Marks the key of `note` on `channel` up; answers whether it was down,
    // and in `lastOfNote` whether no key of that note number is left down.
    bool releaseKey(uint8_t note, uint8_t channel, bool* lastOfNote);
    // isProcessingNoteOn - 1, never below 0.
    void countKeyUp();
    // Queues `record` for the render, stamped with the composition time the
    // user heard when `command` arrived; false when the inbox is full.
    bool pushStamped(const midiio::MidiCommand& command, const MidiNoteRecord& record);

    MusicFilter& track_;
    // Per note number, the channels on which a key went down for this track
    // and has not come up yet (bit c for channel c).
    std::array<std::atomic<uint16_t>, 128> heldKeys_{};
    std::shared_ptr<MidiInputGate> gate_;
    std::unique_ptr<MidiScheduler> scheduler_;
    std::unique_ptr<midiio::MidiConnectionManager> connectionManager_;
};
