#pragma once

// The note records of a track, shared by the engine (the render plays them),
// the views that draw them and the controller that records and edits them.

#include "platform/core/MediaTime.h"
#include "platform/units/MidiEventQueue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

// One MIDI command of a track: a note-on, a note-off or a pitch bend. A note
// is two records, its note-on (which carries the end time) and its note-off
// (whose start equals that end time and which has the same note number).
//
// Times are track times at the track's time scale. A time that has not been
// set is null, which is not the same as a time of zero: a live record has
// null times until the render plays it.
struct MidiNoteRecord {
    // The status byte and two data bytes sent to the instruments.
    units::MidiMessage midiCommand;
    // The command's host time stamp (see midiio::hostTimeNow()); 0 for
    // commands that did not come from a device.
    uint64_t midiTimestamp = 0;
    // The command's start; null until played.
    std::optional<MediaTime> midiCommandTime;
    // On a note-on: the note's end, null while its key is held. Null on
    // note-offs and pitch bends.
    std::optional<MediaTime> midiCommandEndTime;
    // Whether the track recorded notes when the command came in; only
    // recorded commands are kept. Never set on pitch bends.
    bool midiCommandIsRecorded = false;
    // The note number (0 to 127); 0 on pitch bends.
    uint32_t midiNote = 0;
    // Set on note-ons (cleared once the note has ended) and pitch bends.
    bool midiNoteOn = false;
    // Set while the note sounds.
    bool midiFired = false;

    friend bool operator==(const MidiNoteRecord&, const MidiNoteRecord&) = default;
};
// Records travel through the lock-free queues as plain bytes.
static_assert(std::is_trivially_copyable_v<MidiNoteRecord>);

using MidiNoteList = std::vector<MidiNoteRecord>;

// A command on its way from the input to the render: the record, the
// composition time in seconds the user heard when it came, and the time it
// came at in seconds of a steady clock (both NaN when unknown).
struct LiveMidiCommand : MidiNoteRecord {
    double heardSeconds = 0;
    double arrivedSeconds = 0;
};
static_assert(std::is_trivially_copyable_v<LiveMidiCommand>);

// Whether `record` is the note-off of the note that `noteOn` starts: a
// note-off (no end, not on) of the same number that starts at the note's end.
// A note-on of the same number that starts where this one ends is not it.
inline bool isNoteOffOf(const MidiNoteRecord& record, const MidiNoteRecord& noteOn) {
    return record.midiCommandTime && !record.midiCommandEndTime && !record.midiNoteOn && noteOn.midiCommandEndTime &&
           *record.midiCommandTime == *noteOn.midiCommandEndTime && record.midiNote == noteOn.midiNote;
}

// The index in `list` of the first note-off of `noteOn`; none when it is missing.
inline std::optional<size_t> noteOffIndex(const MidiNoteList& list, const MidiNoteRecord& noteOn) {
    for (size_t i = 0; i < list.size(); ++i)
        if (isNoteOffOf(list[i], noteOn)) return i;
    return std::nullopt;
}
