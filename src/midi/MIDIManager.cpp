#include "midi/MIDIManager.h"

#include "engine/MusicFilter.h"
#include "platform/media/Player.h"
#include "platform/midiio/MidiConnections.h"

#include <QString>

#include <limits>

const char* const MIDIManager::kConnectionName = "Trevalune MIDI input";

namespace {
// A time stamp further back than this is not one of the input's own.
constexpr uint64_t kMaxInputDelayNs = 1'000'000'000;
}  // namespace

MIDIManager::MIDIManager(MusicFilter& track, std::shared_ptr<MidiInputGate> gate, bool connect)
    : track_(track), gate_(std::move(gate)), scheduler_(std::make_unique<MidiScheduler>(track)) {
    track_.notesPublished = [this](MusicFilter& t) { scheduler_->publishNotes(t.midiArray); };
    track_.setMidiScheduler(scheduler_.get());
    if (connect)
        connectionManager_ = std::make_unique<midiio::MidiConnectionManager>(
            QString::fromLatin1(kConnectionName),
            [this](const midiio::MidiDevice& source, const std::vector<midiio::MidiCommand>& commands) {
                if (gate_ && gate_->acceptsDevice && !gate_->acceptsDevice(source.name)) return;
                for (const midiio::MidiCommand& c : commands) handleMIDINoteCommand(c);
            });
}

MIDIManager::~MIDIManager() {
    // The input first: its thread calls into this object.
    connectionManager_.reset();
    if (track_.midiScheduler() == scheduler_.get()) track_.setMidiScheduler(nullptr);
    track_.notesPublished = nullptr;
}

std::vector<midiio::MidiDevice> MIDIManager::connectedDevices() const {
    return connectionManager_ ? connectionManager_->connectedDevices() : std::vector<midiio::MidiDevice>{};
}

void MIDIManager::countKeyUp() {
    int64_t held = isProcessingNoteOn.load();
    while (held > 0 && !isProcessingNoteOn.compare_exchange_weak(held, held - 1)) {
    }
}

bool MIDIManager::releaseKey(uint8_t note, uint8_t channel, bool* lastOfNote) {
    const auto bit = uint16_t(1u << (channel & 0x0F));
    const uint16_t before = heldKeys_[note & 0x7F].fetch_and(uint16_t(~bit));
    *lastOfNote = before == bit;
    return (before & bit) != 0;
}

bool MIDIManager::pushStamped(const midiio::MidiCommand& command, const MidiNoteRecord& r) {
    // Stamped with what the user heard when the key came: the command's own
    // time of arrival when it has one from the input, now otherwise.
    const uint64_t now = PlaybackClock::hostNow();
    uint64_t arrived = midiio::midiTimestamp(command);
    if (arrived == 0 || arrived > now || now - arrived > kMaxInputDelayNs) arrived = now;
    constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
    return track_.pushLiveMidiCommand(r, gate_->clock ? gate_->clock->secondsAt(arrived) : kUnknown,
                                      gate_->clock ? gate_->clock->outputSecondsAt(arrived) : kUnknown);
}

void MIDIManager::handleMIDINoteCommand(const midiio::MidiCommand& command) {
    if (!gate_) return;
    MidiNoteRecord r;
    r.midiCommand = {midiio::statusByte(command), midiio::dataByte1(command), midiio::dataByte2(command)};
    r.midiTimestamp = midiio::midiTimestamp(command);

    const auto* note = std::get_if<midiio::MidiNoteCommand>(&command);
    if (note && !note->isNoteOn) {
        // A release is not the selected track's but the one that took the
        // key: the track may have been deselected, or the player's item be
        // in the middle of a rebuild, since the key went down, and the note
        // still sounds in this track's instrument. A release of a key not
        // held here (a second release, a key another track took) is dropped.
        bool last = false;
        if (!releaseKey(note->note, note->channel, &last)) return;
        r.midiNote = note->note;
        r.midiNoteOn = false;
        r.midiCommandIsRecorded = recordNotes.load();
        pushStamped(command, r);
        // Counted down once the release is queued, so that a recording pass
        // the count lets start or stop next finds it there.
        if (last) countKeyUp();
        if (gate_->wakeMainThread) gate_->wakeMainThread();
        return;
    }

    if (!gate_->itemReady.load()) return;
    // Only the selected track takes new MIDI input.
    if (!gate_->selectedTrack || gate_->selectedTrack->load() != track_.viewIndex()) return;
    if (!note) {
        r.midiNoteOn = true;  // a pitch bend: played once, never kept
        pushStamped(command, r);
        return;
    }
    r.midiNote = note->note;
    r.midiNoteOn = true;
    // Counted before the record flag is read: a pass cannot start or stop
    // between the two.
    const auto bit = uint16_t(1u << (note->channel & 0x0F));
    const uint16_t before = heldKeys_[note->note & 0x7F].fetch_or(bit);
    if (before == 0) isProcessingNoteOn.fetch_add(1);
    if (!gate_->isPlaying.load() && gate_->requestPlayback) gate_->requestPlayback();
    r.midiCommandIsRecorded = recordNotes.load();
    if (!pushStamped(command, r) && !(before & bit)) {
        // The full inbox dropped it: the note sounds nowhere, its key is not
        // held here.
        bool last = false;
        if (releaseKey(note->note, note->channel, &last) && last) countKeyUp();
        return;
    }
    if (gate_->wakeMainThread) gate_->wakeMainThread();
}
