#include "platform/midiio/MidiCommands.h"

#include <algorithm>
#include <chrono>

namespace midiio {

uint64_t hostTimeNow() {
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

MidiNoteCommand MidiNoteCommand::noteCommandWithNote(unsigned note, unsigned velocity, unsigned channel,
                                                     bool isNoteOn, uint64_t midiTimestamp) {
    MidiNoteCommand c;
    c.isNoteOn = isNoteOn;
    c.note = uint8_t(std::min(note, 127u));
    c.velocity = uint8_t(std::min(velocity, 127u));
    c.channel = uint8_t(std::min(channel, 15u));
    c.midiTimestamp = midiTimestamp;
    return c;
}

}  // namespace midiio
