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
// - recordNotes and isProcessingNoteOn are atomics for any thread.

#include "midi/MidiScheduler.h"
#include "platform/midiio/MidiCommands.h"
#include "platform/midiio/MidiConnections.h"

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

    // Keys held on the MIDI devices: +1 per note-on, -1 per note-off, never below 0.
    std::atomic<int64_t> isProcessingNoteOn{0};
    // While set, live notes are kept in the track's list.
    std::atomic<bool> recordNotes{false};

    // One command from a device (the input thread): dropped before the
    // player's item is ready and for a track that is not the selected one;
    // otherwise queued for the render as a live record.
    void handleMIDINoteCommand(const midiio::MidiCommand& command);

    MidiScheduler& scheduler() { return *scheduler_; }

private:
    MusicFilter& track_;
    std::shared_ptr<MidiInputGate> gate_;
    std::unique_ptr<MidiScheduler> scheduler_;
    std::unique_ptr<midiio::MidiConnectionManager> connectionManager_;
};
