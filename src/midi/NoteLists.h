#pragma once

// The operations on a track's whole note list (MusicFilter::midiArray) and
// the time base of note times. Main thread only, like the lists themselves;
// none needs a MIDI manager, so that notes a project or a preset put on a
// track without an instrument are kept, copied and saved like any others.
//
// A note is two records: its note-on, which carries the end time, and its
// note-off, whose start equals that end and whose note number is the same.

#include "engine/MidiNote.h"

#include <QCborArray>
#include <QCborMap>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class MusicFilter;

namespace notelists {

// ---- track time
// Note times are track times: t = T - start of the track in the composition
// + start of the used source / speed. Only the source offset is divided by
// the speed: t = 0 is where the source's first sample would sound.
double trackSecondsForCompositionSeconds(double T, double animationStart, double sourceStart, double speed);
double compositionSecondsForTrackSeconds(double t, double animationStart, double sourceStart, double speed);
// The same with the track's own values (any thread: they are atomics).
double trackSecondsForCompositionSeconds(const MusicFilter& track, double T);
// Seconds as a time at the track's time scale (at 600 when it has none).
MediaTime trackTime(const MusicFilter& track, double seconds);

// ---- order
// -1, 0 or +1 as a's start is earlier than, equal to or later than b's; a
// record without start counts as 0 seconds.
int compareNoteTimes(const MidiNoteRecord& a, const MidiNoteRecord& b);
// Sorts by start time, keeping the order of equal starts.
void sortByStartTime(MidiNoteList& list);

// ---- whole-list copies
// The list's records, in order (records are values: a copy shares nothing).
MidiNoteList createACopyOfMidiArray(const MusicFilter& track);
// Replaces the list by `notes` as they are (not sorted again) and hands the
// render the new list.
void updateMIDIArrayFromArray(MusicFilter& track, const MidiNoteList& notes);
// Drops from the track's selections (current and last) every record that
// its list no longer holds.
void keepSelectionWithin(MusicFilter& track);
// Every start and end time multiplied by `factor` (> 0); null times stay null.
void scaleMidiArray(MidiNoteList& list, double factor);

// ---- the stored form
// One record as projects, preset files and the clipboard keep it: a map of
// plain numbers with the keys "commandNote", "commandVelocity",
// "commandChannel", "commandIsNoteOn", "commandMidiTimeStamp" (unsigned
// 64-bit), "midiCommandTime" and "midiCommandEndTime" (seconds of track
// time, the empty string for a null time), "midiCommandIsRecorded",
// "midiNote" and "midiNoteOn". Whether a note sounds is not stored.
// Held as values here: the times stay seconds until a track's time scale
// makes them times.
struct ExportedNote {
    MidiNoteRecord record;  // its times and midiFired unused
    std::optional<double> start, end;
    friend bool operator==(const ExportedNote&, const ExportedNote&) = default;
};
ExportedNote exportedNote(const MidiNoteRecord& record);
MidiNoteRecord importedNote(const ExportedNote& note, int32_t timeScale);
QCborMap exportedNoteValue(const ExportedNote& note);
// The note a stored value holds; nothing, with `error` naming the field,
// when a field is missing, of the wrong kind or out of range. A stored time
// that is a string (of any content) stands for a null time.
std::optional<ExportedNote> exportedNoteFromValue(const QCborValue& value, QString* error = nullptr);

// The whole list in its stored form, in list order.
QCborArray createACopyOfMidiArrayForExporting(const MidiNoteList& list);
QCborArray createACopyOfMidiArrayForExporting(const MusicFilter& track);
// The records of a stored array, times at `timeScale`. An array with a
// record of the wrong shape is refused whole: false, `error` says why and
// `out` is left as it was.
bool readExportedMidiArray(const QCborArray& stored, int32_t timeScale, MidiNoteList& out, QString* error = nullptr);
// Replaces the track's list by the stored one (not sorted again); false,
// the list unchanged, when the array is refused.
bool importACopyOfMidiArrayFromExporting(MusicFilter& track, const QCborArray& stored, QString* error = nullptr);
// The same from notes already read, times at the track's time scale.
void importACopyOfMidiArrayFromExporting(MusicFilter& track, const std::vector<ExportedNote>& notes);

// ---- commands' building blocks
// The selected note-on records that have a start, each followed by every
// record that starts at its end with its note number (its note-offs), in
// list order; `selected` is matched by value.
MidiNoteList copySelectedNotes(const MidiNoteList& list, const MidiNoteList& selected);
// Appends the copied records at their own times, not sounding, then sorts.
void pasteNotes(MidiNoteList& list, const MidiNoteList& copied);
// Appends the copied notes so that the first starts at `playhead` (track
// seconds) and each keeps its distance from it and its length (a negative
// length becomes 0), each with its note-offs at its new end; note-offs of
// no copied note are left out. Then sorts.
void pasteNotesAtTime(MidiNoteList& list, const MidiNoteList& copied, double playhead, int32_t timeScale);

// ---- committing live records (what the render played)
// A stamped live record joins the list: a note-off closes the first held
// note of its number (its end becomes the note-off's start), and a record
// made while recording is appended. True when the list changed.
bool commitLiveRecord(MidiNoteList& list, const MidiNoteRecord& record);

}  // namespace notelists
