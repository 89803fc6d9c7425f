#pragma once

#include "platform/core/BoundedQueue.h"

#include <cstddef>
#include <cstdint>

namespace units {

// A bounded queue of short MIDI messages. Any thread may push (the render
// thread's MIDI scheduler, the main thread's on-screen keyboard, a MIDI input
// thread); the render thread pops. Neither side allocates, locks or waits: a
// push into a full queue drops the message, counts it and says so.
struct MidiMessage {
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    friend bool operator==(const MidiMessage&, const MidiMessage&) = default;
};

// Bytes in a channel message with this status byte (0 for anything else).
inline int midiMessageLength(uint8_t status) {
    switch (status & 0xF0) {
    case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xE0: return 3;
    case 0xC0: case 0xD0: return 2;
    default: return 0;
    }
}

template <size_t Capacity = 512>
class MidiEventQueue : public realtime::BoundedQueue<MidiMessage> {
public:
    MidiEventQueue() : BoundedQueue(Capacity) {}
};

}  // namespace units
