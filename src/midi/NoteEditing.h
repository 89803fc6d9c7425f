#pragma once

// What the note editing commands do to a track's note list, apart from the
// controller: transposing and re-weighting the selected notes, removing
// them, and taking the notes that lie within a time range. A note is its
// note-on record, which carries the end, and its note-off, which
// noteOffIndex() of engine/MidiNote.h finds. Main thread only, like the lists.

#include "engine/MidiNote.h"

#include <optional>
#include <utility>

namespace noteediting {

bool contains(const MidiNoteList& list, const MidiNoteRecord& record);

// Moves every selected note that has its note-off by `semitones`, both
// records; a note that would leave 0 to 127 stays where it is.
void transposeSelectedNotes(MidiNoteList& list, const MidiNoteList& selected, int semitones);
// Adds `change` to the velocity of every selected note-on, kept within 0 to 127.
void changeSelectedVelocities(MidiNoteList& list, const MidiNoteList& selected, int change);
// The selected note-ons and their note-offs, in list order.
MidiNoteList selectedNotesWithNoteOffs(const MidiNoteList& list, const MidiNoteList& selected);
// Removes every record equal to one of `records`.
void removeRecords(MidiNoteList& list, const MidiNoteList& records);

// The track seconds a lane selection stands for: its two x clamped to the
// lane (0 to `laneWidth`) and to the region, as a fraction of the lane
// times the track's length at its speed. None for an empty lane.
std::optional<std::pair<double, double>> selectionSeconds(double x0, double x1, double laneWidth, double regionX,
                                                          double regionWidth, double duration, double speed);
// The records within [from, to] (both included) with their partners, and
// the notes that span the whole range, each once, in the order first taken.
MidiNoteList notesWithinRange(const MidiNoteList& list, double from, double to);

}  // namespace noteediting
