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

void MIDIManager::handleMIDINoteCommand(const midiio::MidiCommand& command) {
    if (!gate_ || !gate_->itemReady.load()) return;
    // Only the selected track takes MIDI input.
    if (!gate_->selectedTrack || gate_->selectedTrack->load() != track_.viewIndex()) return;

    MidiNoteRecord r;
    r.midiCommand = {midiio::statusByte(command), midiio::dataByte1(command), midiio::dataByte2(command)};
    r.midiTimestamp = midiio::midiTimestamp(command);
    if (std::holds_alternative<midiio::MidiPitchBendChangeCommand>(command)) {
        r.midiNoteOn = true;  // played once, never kept
        track_.pushLiveMidiCommand(r);
        return;
    }
    const auto& note = std::get<midiio::MidiNoteCommand>(command);
    r.midiNote = note.note;
    r.midiNoteOn = note.isNoteOn;
    if (note.isNoteOn) {
        isProcessingNoteOn.fetch_add(1);
        if (!gate_->isPlaying.load() && gate_->requestPlayback) gate_->requestPlayback();
    } else {
        int64_t held = isProcessingNoteOn.load();
        while (held > 0 && !isProcessingNoteOn.compare_exchange_weak(held, held - 1)) {
        }
    }
    r.midiCommandIsRecorded = recordNotes.load();
    // Stamped with what the user heard when the key came: the command's own
    // time of arrival when it has one from the input, now otherwise.
    const uint64_t now = PlaybackClock::hostNow();
    uint64_t arrived = midiio::midiTimestamp(command);
    if (arrived == 0 || arrived > now || now - arrived > kMaxInputDelayNs) arrived = now;
    constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
    track_.pushLiveMidiCommand(r, gate_->clock ? gate_->clock->secondsAt(arrived) : kUnknown,
                               gate_->clock ? gate_->clock->outputSecondsAt(arrived) : kUnknown);
    if (gate_->wakeMainThread) gate_->wakeMainThread();
}
