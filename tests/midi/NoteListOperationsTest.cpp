// The operations on a track's whole note list: the stored form, scaling,
// copies and pastes, and the commit of what the render played.

#include "engine/MusicFilter.h"
#include "midi/NoteLists.h"

#include <QCborMap>

#include <gtest/gtest.h>

namespace {

constexpr int32_t kScale = 44100;

MediaTime at(double s) { return MediaTime::fromSeconds(s, kScale); }

MidiNoteRecord onRecord(uint8_t note, std::optional<double> start, std::optional<double> end, uint8_t channel = 0,
                        uint8_t velocity = 100) {
    MidiNoteRecord r;
    r.midiCommand = {uint8_t(0x90 | channel), note, velocity};
    r.midiNote = note;
    r.midiCommandIsRecorded = true;
    if (start) r.midiCommandTime = at(*start);
    if (end) r.midiCommandEndTime = at(*end);
    r.midiNoteOn = !end;  // held while it has no end
    return r;
}

MidiNoteRecord offRecord(uint8_t note, double start, uint8_t channel = 0) {
    MidiNoteRecord r;
    r.midiCommand = {uint8_t(0x80 | channel), note, 0};
    r.midiNote = note;
    r.midiCommandIsRecorded = true;
    r.midiCommandTime = at(start);
    return r;
}

// Two notes, each a note-on and its note-off.
MidiNoteList twoNotes() {
    return {onRecord(60, 1.0, 1.5), offRecord(60, 1.5), onRecord(64, 2.0, 2.25, 3, 77), offRecord(64, 2.25, 3)};
}

}  // namespace

// Stored and read back, a record keeps its command, flags and (to the time
// scale's resolution) times; a null time is stored as the empty string, and
// whether a note sounds is never stored.
TEST(NoteListOperations, StoredFormRoundTrip) {
    struct Case {
        const char* name;
        MidiNoteRecord record;
    };
    MidiNoteRecord fired = onRecord(61, 0.25, 0.5);
    fired.midiFired = true;
    MidiNoteRecord stamped = offRecord(127, 3.0, 15);
    stamped.midiTimestamp = 123456789012345ull;
    stamped.midiCommandIsRecorded = false;
    const Case cases[] = {
        {"finished note", onRecord(60, 1.0 / 3.0, 2.0 / 3.0, 2, 99)},
        {"held note", onRecord(21, 0.5, std::nullopt)},
        {"live record", onRecord(108, std::nullopt, std::nullopt)},
        {"sounding note", fired},
        {"note-off with stamp", stamped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QCborArray stored = notelists::createACopyOfMidiArrayForExporting(MidiNoteList{c.record});
        ASSERT_EQ(stored.size(), 1);
        const QCborMap m = stored.at(0).toMap();
        EXPECT_FALSE(m.contains(QStringLiteral("midiFired")));
        EXPECT_FALSE(m.contains(QStringLiteral("midiCommand")));
        if (!c.record.midiCommandTime) EXPECT_EQ(m.value(QStringLiteral("midiCommandTime")).toString(), QString());
        if (!c.record.midiCommandEndTime)
            EXPECT_TRUE(m.value(QStringLiteral("midiCommandEndTime")).isString());

        MidiNoteList back;
        ASSERT_TRUE(notelists::readExportedMidiArray(stored, kScale, back));
        ASSERT_EQ(back.size(), 1u);
        MidiNoteRecord expected = c.record;
        expected.midiFired = false;
        EXPECT_EQ(back[0].midiCommand, expected.midiCommand);
        EXPECT_EQ(back[0].midiTimestamp, expected.midiTimestamp);
        EXPECT_EQ(back[0].midiNote, expected.midiNote);
        EXPECT_EQ(back[0].midiNoteOn, expected.midiNoteOn);
        EXPECT_EQ(back[0].midiCommandIsRecorded, expected.midiCommandIsRecorded);
        EXPECT_FALSE(back[0].midiFired);
        ASSERT_EQ(back[0].midiCommandTime.has_value(), expected.midiCommandTime.has_value());
        ASSERT_EQ(back[0].midiCommandEndTime.has_value(), expected.midiCommandEndTime.has_value());
        if (expected.midiCommandTime)
            EXPECT_NEAR(back[0].midiCommandTime->seconds(), expected.midiCommandTime->seconds(), 1.0 / kScale);
        if (expected.midiCommandEndTime)
            EXPECT_NEAR(back[0].midiCommandEndTime->seconds(), expected.midiCommandEndTime->seconds(), 1.0 / kScale);
    }
}

// A stored array with a record of the wrong shape is refused whole and the
// track keeps its notes; an empty array empties the list.
TEST(NoteListOperations, ImportRefusesBadRecordsAndEmptiesOnEmpty) {
    auto track = MusicFilter::filterWithName("MusicFilter");
    track->timeScale = kScale;
    track->midiArray = twoNotes();
    QCborArray stored = notelists::createACopyOfMidiArrayForExporting(*track);
    const struct {
        const char* key;
        QCborValue value;
    } bad[] = {{"commandNote", 128}, {"commandChannel", QStringLiteral("1")}, {"midiNoteOn", 1},
               {"midiCommandTime", QCborValue(QCborValue::Null)}, {"midiNote", -1}};
    for (const auto& b : bad) {
        SCOPED_TRACE(b.key);
        QCborArray broken = stored;
        QCborMap m = broken.at(1).toMap();
        m.insert(QLatin1String(b.key), b.value);
        broken[1] = m;
        QString error;
        EXPECT_FALSE(notelists::importACopyOfMidiArrayFromExporting(*track, broken, &error));
        EXPECT_TRUE(error.contains(QLatin1String(b.key))) << error.toStdString();
        EXPECT_EQ(track->midiArray, twoNotes());
    }
    EXPECT_TRUE(notelists::importACopyOfMidiArrayFromExporting(*track, QCborArray{}));
    EXPECT_TRUE(track->midiArray.empty());
    EXPECT_TRUE(track->rt_committedNotes()->empty());
}

// Notes on a track that never had an instrument are copied, saved and read
// back like any others.
TEST(NoteListOperations, TrackWithoutManagerKeepsItsNotes) {
    auto loaded = MusicFilter::filterWithName("MusicFilter");
    loaded->timeScale = kScale;
    ASSERT_FALSE(loaded->midiManager);
    ASSERT_TRUE(notelists::importACopyOfMidiArrayFromExporting(
        *loaded, notelists::createACopyOfMidiArrayForExporting(twoNotes())));
    EXPECT_EQ(notelists::createACopyOfMidiArray(*loaded), twoNotes());
    auto saved = MusicFilter::filterWithName("MusicFilter");
    saved->timeScale = kScale;
    ASSERT_TRUE(notelists::importACopyOfMidiArrayFromExporting(
        *saved, notelists::createACopyOfMidiArrayForExporting(*loaded)));
    EXPECT_EQ(saved->midiArray, twoNotes());
    EXPECT_EQ(*saved->rt_committedNotes(), twoNotes());
}

TEST(NoteListOperations, ScalingMultipliesEveryTimeAndKeepsNullTimes) {
    MidiNoteList list = twoNotes();
    list.push_back(onRecord(70, std::nullopt, std::nullopt));
    notelists::scaleMidiArray(list, 0.5);
    const MidiNoteList original = twoNotes();
    for (size_t i = 0; i < original.size(); ++i) {
        EXPECT_NEAR(list[i].midiCommandTime->seconds(), original[i].midiCommandTime->seconds() * 0.5, 1.0 / kScale);
        if (original[i].midiCommandEndTime)
            EXPECT_NEAR(list[i].midiCommandEndTime->seconds(), original[i].midiCommandEndTime->seconds() * 0.5, 1.0 / kScale);
        else
            EXPECT_FALSE(list[i].midiCommandEndTime);
    }
    EXPECT_FALSE(list.back().midiCommandTime);
    EXPECT_FALSE(list.back().midiCommandEndTime);
}

// The copy takes each selected note with its note-off; the paste at the
// playhead moves the first copied note there, keeps distances and lengths,
// gives a negative length 0 and leaves out note-offs of no copied note.
TEST(NoteListOperations, CopyAndPasteAtThePlayhead) {
    const MidiNoteList list = twoNotes();
    EXPECT_TRUE(notelists::copySelectedNotes(list, {}).empty());
    MidiNoteList copied = notelists::copySelectedNotes(list, {list[0], list[2]});
    ASSERT_EQ(copied, list);

    MidiNoteRecord backwards = onRecord(50, 2.5, 2.0);  // ends before it starts
    copied.push_back(backwards);
    copied.push_back(offRecord(50, 2.0));
    copied.push_back(offRecord(90, 2.1));  // belongs to no copied note
    copied[0].midiFired = true;

    MidiNoteList pasted;
    notelists::pasteNotesAtTime(pasted, copied, 10.0, kScale);
    struct Expected {
        uint32_t note;
        bool isOn;
        double start;
    };
    const Expected expected[] = {{60, true, 10.0}, {60, false, 10.5}, {64, true, 11.0},
                                 {64, false, 11.25}, {50, true, 11.5}, {50, false, 11.5}};
    ASSERT_EQ(pasted.size(), std::size(expected));
    for (size_t i = 0; i < pasted.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(pasted[i].midiNote, expected[i].note);
        EXPECT_EQ(bool(pasted[i].midiCommandEndTime), expected[i].isOn);
        EXPECT_NEAR(pasted[i].midiCommandTime->seconds(), expected[i].start, 1e-9);
        EXPECT_FALSE(pasted[i].midiFired);
    }
    EXPECT_NEAR(pasted[4].midiCommandEndTime->seconds(), 11.5, 1e-9);  // length 0

    // At the copied times everything comes back, note-offs and all, twice
    // when pasted twice.
    MidiNoteList again = list;
    notelists::pasteNotes(again, copied);
    EXPECT_EQ(again.size(), list.size() + copied.size());
    for (size_t i = 1; i < again.size(); ++i) EXPECT_LE(notelists::compareNoteTimes(again[i - 1], again[i]), 0);
}

// A live note-off closes the first held note of its number, never before
// its start; only records made while recording are kept.
TEST(NoteListOperations, CommittingLiveRecords) {
    MidiNoteList list;
    MidiNoteRecord on = onRecord(60, 1.0, std::nullopt);
    MidiNoteRecord off = offRecord(60, 0.5);  // stamped before its note-on
    EXPECT_TRUE(notelists::commitLiveRecord(list, on));
    EXPECT_TRUE(list[0].midiNoteOn);
    EXPECT_TRUE(notelists::commitLiveRecord(list, off));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list[0].midiNoteOn);
    EXPECT_EQ(list[0].midiCommandEndTime, at(1.0));
    EXPECT_EQ(list[1].midiCommandTime, at(1.0));

    MidiNoteRecord notKept = offRecord(61, 2.0);
    notKept.midiCommandIsRecorded = false;
    EXPECT_FALSE(notelists::commitLiveRecord(list, notKept));
    EXPECT_EQ(list.size(), 2u);
}
