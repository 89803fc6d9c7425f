#pragma once

// Reads a MIDI 1.0 byte stream into commands, one stream per source.
//
// The parser keeps running status: data bytes that follow a complete channel
// message without a new status byte repeat that status. A note-on of velocity
// 0 is read as a note-off. Real-time bytes (0xF8 to 0xFF) may come anywhere,
// even inside a message, and change nothing; system-exclusive data and system
// common messages are stepped over and end running status. Messages other
// than notes and pitch bends are read and dropped.
//
// A message may be split across calls of parse(): the state carries over.
// One thread uses a parser at a time.

#include "platform/midiio/MidiCommands.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace midiio {

class MidiByteParser {
public:
    // Appends to `out` every command that the bytes complete, in order, each
    // stamped with `timestamp`.
    void parse(const uint8_t* bytes, size_t count, uint64_t timestamp, std::vector<MidiCommand>& out);
    // Forgets running status and any partial message.
    void reset();

private:
    void complete(uint64_t timestamp, std::vector<MidiCommand>& out);

    uint8_t status_ = 0;    // the status the next data bytes belong to, 0 for none
    bool running_ = false;  // whether status_ may repeat (channel messages)
    bool inSysex_ = false;
    uint8_t data_[2] = {0, 0};
    int have_ = 0;
    int need_ = 0;
};

}  // namespace midiio
