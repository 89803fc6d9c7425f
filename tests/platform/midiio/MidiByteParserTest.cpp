#include "platform/midiio/MidiByteParser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace midiio {
void PrintTo(const MidiNoteCommand& c, std::ostream* os) {
    *os << (c.isNoteOn ? "on(" : "off(") << int(c.note) << ", " << int(c.velocity) << ", ch " << int(c.channel)
        << ")";
}
void PrintTo(const MidiPitchBendChangeCommand& c, std::ostream* os) {
    *os << "bend(" << c.pitchChange << ", ch " << int(c.channel) << ")";
}
}  // namespace midiio

namespace {

using midiio::MidiByteParser;
using midiio::MidiCommand;
using midiio::MidiNoteCommand;
using midiio::MidiPitchBendChangeCommand;

MidiCommand on(int note, int velocity, int channel) {
    return MidiNoteCommand::noteCommandWithNote(note, velocity, channel, true, 7);
}
MidiCommand off(int note, int velocity, int channel) {
    return MidiNoteCommand::noteCommandWithNote(note, velocity, channel, false, 7);
}
MidiCommand bend(int value, int channel) {
    MidiPitchBendChangeCommand c;
    c.pitchChange = uint16_t(value);
    c.channel = uint8_t(channel);
    c.midiTimestamp = 7;
    return c;
}

struct ParseCase {
    std::string name;
    std::vector<std::vector<uint8_t>> chunks;  // fed one parse() call each
    std::vector<MidiCommand> expected;
};

// The bytes of each command, as an instrument is sent them.
std::vector<uint8_t> wire(const std::vector<MidiCommand>& commands) {
    std::vector<uint8_t> bytes;
    for (const auto& c : commands) {
        bytes.push_back(midiio::statusByte(c));
        bytes.push_back(midiio::dataByte1(c));
        bytes.push_back(midiio::dataByte2(c));
    }
    return bytes;
}

TEST(MidiByteParser, ReadsTheTableOfByteStreams) {
    const std::vector<ParseCase> cases = {
        {"note-on with its channel", {{0x93, 60, 100}}, {on(60, 100, 3)}},
        {"note-off keeps its release velocity", {{0x8F, 61, 40}}, {off(61, 40, 15)}},
        {"note-on of velocity 0 is a note-off", {{0x95, 62, 0}}, {off(62, 0, 5)}},
        {"pitch bend: low seven bits, then high", {{0xE2, 0x01, 0x40}}, {bend(0x2001, 2)}},
        {"pitch bend at both ends", {{0xE0, 0, 0, 0xE0, 0x7F, 0x7F}}, {bend(0, 0), bend(16383, 0)}},
        {"running status repeats the note-on, velocity 0 still ends the note",
         {{0x90, 60, 100, 64, 90, 60, 0}},
         {on(60, 100, 0), on(64, 90, 0), off(60, 0, 0)}},
        {"running status of a pitch bend", {{0xE1, 0, 0x40, 0x7F, 0x3F}}, {bend(8192, 1), bend(0x1FFF, 1)}},
        {"a message split across reads", {{0x91}, {60}, {70, 61}, {71}}, {on(60, 70, 1), on(61, 71, 1)}},
        {"real-time bytes inside a message change nothing",
         {{0x90, 0xF8, 60, 0xFE, 100, 0xF8, 62, 101}},
         {on(60, 100, 0), on(62, 101, 0)}},
        {"other channel messages are read and dropped, with their own running status",
         {{0xB0, 7, 100, 10, 64, 0xC0, 5, 0x90, 60, 1, 0xD0, 30, 0xA0, 60, 2}},
         {on(60, 1, 0)}},
        {"system exclusive is stepped over and ends running status",
         {{0x90, 60, 100, 0xF0, 0x7E, 60, 100, 0xF7, 61, 100, 0x80, 60, 0}},
         {on(60, 100, 0), off(60, 0, 0)}},
        {"system common messages end running status",
         {{0x90, 60, 100, 0xF2, 1, 2, 61, 100, 0xF3, 4, 0xE0, 0, 64}},
         {on(60, 100, 0), bend(8192, 0)}},
        {"data bytes before any status are dropped", {{60, 100, 0x90, 60, 100}}, {on(60, 100, 0)}},
        {"a status byte cuts the message before it", {{0x90, 60, 0x80, 60, 0}}, {off(60, 0, 0)}},
        {"a batch keeps its order across kinds and channels",
         {{0x90, 60, 100, 0xE1, 0, 0x40, 0x82, 60, 0, 0x99, 36, 127}},
         {on(60, 100, 0), bend(8192, 1), off(60, 0, 2), on(36, 127, 9)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MidiByteParser parser;
        std::vector<MidiCommand> got;
        for (const auto& chunk : c.chunks) parser.parse(chunk.data(), chunk.size(), 7, got);
        EXPECT_EQ(got, c.expected);
        // What the instruments are sent is what a sender would have written
        // without running status.
        MidiByteParser again;
        std::vector<MidiCommand> reread;
        const std::vector<uint8_t> bytes = wire(got);
        again.parse(bytes.data(), bytes.size(), 7, reread);
        EXPECT_EQ(reread, got);
    }
}

TEST(MidiCommands, NoteCommandHoldsItsFieldsInRange) {
    const MidiNoteCommand c = MidiNoteCommand::noteCommandWithNote(200, 300, 20, true, 42);
    EXPECT_EQ(c.note, 127);
    EXPECT_EQ(c.velocity, 127);
    EXPECT_EQ(c.channel, 15);
    EXPECT_EQ(c.midiTimestamp, 42u);
    EXPECT_EQ(c.statusByte(), 0x9F);
    const MidiNoteCommand k = MidiNoteCommand::noteCommandWithNote(60, 127, 0, false, 0);
    EXPECT_EQ(k.statusByte(), 0x80);
    EXPECT_EQ(k.dataByte1(), 60);
    EXPECT_EQ(k.dataByte2(), 127);
}

}  // namespace
