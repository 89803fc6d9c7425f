#pragma once

// MIDI commands as plain values: what a connection manager hands its event
// handler and what the instruments are sent. Only note and pitch-bend
// commands are made; the parser steps over every other message.
//
// The values are trivially copyable and never allocate, so that they may go
// through the lock-free queues to a render thread.

#include <cstdint>
#include <variant>

namespace midiio {

// A host time stamp in nanoseconds on the steady clock: when a command
// reached us. Comparable across sources.
uint64_t hostTimeNow();

// A note-on or note-off. A note-on of velocity 0 on the wire arrives as a
// note-off of velocity 0.
struct MidiNoteCommand {
    bool isNoteOn = false;
    uint8_t note = 0;      // 0 to 127
    uint8_t velocity = 0;  // 0 to 127
    uint8_t channel = 0;   // 0 to 15
    uint64_t midiTimestamp = 0;

    // A command with these fields; note and velocity are held to 0...127 and
    // the channel to 0...15.
    static MidiNoteCommand noteCommandWithNote(unsigned note, unsigned velocity, unsigned channel,
                                               bool isNoteOn, uint64_t midiTimestamp);

    // The three bytes sent to an instrument: note-on (0x90) or note-off (0x80)
    // with the channel, then note and velocity.
    uint8_t statusByte() const { return uint8_t((isNoteOn ? 0x90 : 0x80) | (channel & 0x0F)); }
    uint8_t dataByte1() const { return note & 0x7F; }
    uint8_t dataByte2() const { return velocity & 0x7F; }

    friend bool operator==(const MidiNoteCommand&, const MidiNoteCommand&) = default;
};

// A pitch-bend change: a 14-bit value, 8192 in the middle.
struct MidiPitchBendChangeCommand {
    uint16_t pitchChange = 8192;  // 0 to 16383
    uint8_t channel = 0;          // 0 to 15
    uint64_t midiTimestamp = 0;

    uint8_t statusByte() const { return uint8_t(0xE0 | (channel & 0x0F)); }
    // The low seven bits, then the high seven.
    uint8_t dataByte1() const { return uint8_t(pitchChange & 0x7F); }
    uint8_t dataByte2() const { return uint8_t((pitchChange >> 7) & 0x7F); }

    friend bool operator==(const MidiPitchBendChangeCommand&, const MidiPitchBendChangeCommand&) = default;
};

using MidiCommand = std::variant<MidiNoteCommand, MidiPitchBendChangeCommand>;

// The bytes and time stamp of any command.
inline uint8_t statusByte(const MidiCommand& c) {
    return std::visit([](const auto& v) { return v.statusByte(); }, c);
}
inline uint8_t dataByte1(const MidiCommand& c) {
    return std::visit([](const auto& v) { return v.dataByte1(); }, c);
}
inline uint8_t dataByte2(const MidiCommand& c) {
    return std::visit([](const auto& v) { return v.dataByte2(); }, c);
}
inline uint64_t midiTimestamp(const MidiCommand& c) {
    return std::visit([](const auto& v) { return v.midiTimestamp; }, c);
}

}  // namespace midiio
