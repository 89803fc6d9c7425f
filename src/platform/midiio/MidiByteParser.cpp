#include "platform/midiio/MidiByteParser.h"

namespace midiio {

namespace {

// Data bytes after a status byte; -1 for a status that takes none and ends
// what came before (sysex end, tune request, undefined).
int dataLength(uint8_t status) {
    switch (status & 0xF0) {
    case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xE0: return 2;
    case 0xC0: case 0xD0: return 1;
    default: break;
    }
    switch (status) {
    case 0xF1: case 0xF3: return 1;  // time code quarter frame, song select
    case 0xF2: return 2;             // song position
    default: return 0;
    }
}

}  // namespace

void MidiByteParser::reset() {
    status_ = 0;
    running_ = false;
    inSysex_ = false;
    have_ = need_ = 0;
}

void MidiByteParser::parse(const uint8_t* bytes, size_t count, uint64_t timestamp,
                           std::vector<MidiCommand>& out) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (b >= 0xF8) continue;  // real-time: clock, start, stop, sensing, reset
        if (b & 0x80) {
            have_ = 0;
            inSysex_ = b == 0xF0;
            running_ = b < 0xF0;
            need_ = dataLength(b);
            status_ = (need_ > 0 || running_) ? b : 0;
            continue;
        }
        if (inSysex_ || status_ == 0) continue;
        data_[have_++] = b;
        if (have_ < need_) continue;
        complete(timestamp, out);
        have_ = 0;
        if (!running_) status_ = 0;
    }
}

void MidiByteParser::complete(uint64_t timestamp, std::vector<MidiCommand>& out) {
    const uint8_t channel = status_ & 0x0F;
    switch (status_ & 0xF0) {
    case 0x80:
    case 0x90: {
        const bool on = (status_ & 0xF0) == 0x90 && data_[1] != 0;
        out.push_back(MidiNoteCommand::noteCommandWithNote(data_[0], data_[1], channel, on, timestamp));
        break;
    }
    case 0xE0: {
        MidiPitchBendChangeCommand c;
        c.pitchChange = uint16_t(data_[0] | (data_[1] << 7));
        c.channel = channel;
        c.midiTimestamp = timestamp;
        out.push_back(c);
        break;
    }
    default:
        break;
    }
}

}  // namespace midiio
