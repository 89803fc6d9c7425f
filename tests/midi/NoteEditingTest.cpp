// The note editing operations on a note list: transposing, velocities,
// removing the selected notes and taking the notes within a range.
#include "midi/NoteEditing.h"

#include <gtest/gtest.h>

namespace {

using namespace noteediting;

MediaTime at(double s) { return MediaTime::fromSeconds(s, 44100); }

MidiNoteRecord noteOn(uint32_t note, double start, double end, uint8_t velocity = 100) {
    MidiNoteRecord r;
    r.midiCommand = {uint8_t(0x93), uint8_t(note), velocity};  // channel 3
    r.midiNote = note;
    r.midiCommandTime = at(start);
    r.midiCommandEndTime = at(end);
    return r;
}
MidiNoteRecord noteOff(uint32_t note, double time) {
    MidiNoteRecord r;
    r.midiCommand = {uint8_t(0x83), uint8_t(note), 0};
    r.midiNote = note;
    r.midiCommandTime = at(time);
    return r;
}
MidiNoteList note(uint32_t n, double start, double end) { return {noteOn(n, start, end), noteOff(n, end)}; }
MidiNoteList join(std::initializer_list<MidiNoteList> parts) {
    MidiNoteList out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
std::vector<uint32_t> pitches(const MidiNoteList& l) {
    std::vector<uint32_t> out;
    for (const auto& r : l) out.push_back(r.midiNote);
    return out;
}

TEST(NoteEditingTest, TranspositionMovesBothRecordsOrLeavesTheNoteWhereItIs) {
    struct Case { uint32_t pitch; int semitones; uint32_t expected; } cases[] = {
        {60, 12, 72}, {115, 12, 127}, {120, 12, 120}, {5, -12, 5}, {127, 1, 127}, {60, -60, 0},
    };
    for (const auto& k : cases) {
        MidiNoteList list = join({note(k.pitch, 1, 2), note(40, 3, 4)});
        transposeSelectedNotes(list, {list[0]}, k.semitones);
        EXPECT_EQ(pitches(list), (std::vector<uint32_t>{k.expected, k.expected, 40, 40})) << k.pitch;
        EXPECT_EQ(list[0].midiCommand.data1, k.expected);
        EXPECT_EQ(list[0].midiCommand.status, 0x93) << "a note-on on its own channel";
        EXPECT_EQ(list[1].midiCommand.status, 0x83);
        EXPECT_EQ(list[0].midiCommand.data2, 100) << "the velocity stays";
    }
    // A note whose note-off is missing is left alone, and so is everything else.
    MidiNoteList orphan = {noteOn(60, 1, 2), noteOff(61, 2), noteOn(60, 2, 3), noteOff(60, 3)};
    const MidiNoteList before = orphan;
    transposeSelectedNotes(orphan, {orphan[0]}, 5);
    EXPECT_EQ(orphan, before) << "a note-on starting at the end is not a note-off";
}

TEST(NoteEditingTest, VelocitiesStayWithinRangeAndRecordsStayNoteOns) {
    struct Case { uint8_t velocity; int change; uint8_t expected; } cases[] = {
        {120, 10, 127}, {5, -10, 0}, {64, 32, 96},
    };
    for (const auto& k : cases) {
        MidiNoteList list = {noteOn(60, 1, 2, k.velocity), noteOff(60, 2)};
        changeSelectedVelocities(list, {list[0]}, k.change);
        EXPECT_EQ(list[0].midiCommand.data2, k.expected);
        EXPECT_EQ(list[0].midiCommand.status, 0x93);
        EXPECT_EQ(list[1].midiCommand.data2, 0) << "note-offs are not changed";
    }
}

TEST(NoteEditingTest, RemovingSelectedNotesTakesTheirNoteOffs) {
    MidiNoteList list = join({note(60, 1, 2), note(62, 3, 4)});
    removeRecords(list, selectedNotesWithNoteOffs(list, {list[2]}));
    EXPECT_EQ(list, note(60, 1, 2));
}

TEST(NoteEditingTest, NotesWithinARange) {
    MidiNoteRecord bend;
    bend.midiCommand = {uint8_t(0xE0), 0, 64};
    bend.midiNoteOn = true;
    bend.midiCommandTime = at(5.5);
    const MidiNoteList list = join({
        note(60, 1, 2),    // before
        note(61, 3, 9),    // spans the range
        note(62, 5, 8),    // starts inside, ends after
        note(63, 2, 5),    // starts before, ends inside
        note(64, 7, 7.5),  // starts exactly at the range's end
        {bend},
    });
    const auto range = selectionSeconds(130, 65, 260, 0, 260, 20, 1);  // x 65 to 130 of 20 s over 260 points
    ASSERT_TRUE(range);
    EXPECT_DOUBLE_EQ(range->first, 5.0);
    EXPECT_DOUBLE_EQ(range->second, 10.0);
    const MidiNoteList taken = notesWithinRange(list, 5.0, 7.0);
    EXPECT_EQ(pitches(taken), (std::vector<uint32_t>{61, 61, 62, 62, 63, 63, 64, 64, 0}));
    EXPECT_TRUE(notesWithinRange(list, 10, 11).empty());
    // A selection past the region is cut at its edge first; an empty lane has no range.
    EXPECT_DOUBLE_EQ(selectionSeconds(0, 400, 260, 26, 130, 20, 2)->second, 156.0 / 260 * 10);
    EXPECT_FALSE(selectionSeconds(0, 10, 0, 0, 0, 20, 1));
}

}  // namespace
