#include "midi/NoteEditing.h"

#include <algorithm>
#include <cmath>

namespace noteediting {

namespace {

double seconds(const MediaTime& t) { return t.seconds(); }

units::MidiMessage withNote(const units::MidiMessage& old, bool noteOn, uint32_t note, int velocity) {
    const uint8_t channel = old.status & 0x0F;
    return {uint8_t((noteOn ? 0x90 : 0x80) | channel), uint8_t(note), uint8_t(velocity)};
}

// The note-on that the note-off or pitch bend `record` ends, if any.
std::optional<size_t> noteOnIndexEndingAt(const MidiNoteList& list, const MidiNoteRecord& record) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].midiCommandEndTime && record.midiCommandTime &&
            *list[i].midiCommandEndTime == *record.midiCommandTime && list[i].midiNote == record.midiNote)
            return i;
    return std::nullopt;
}

}  // namespace

bool contains(const MidiNoteList& list, const MidiNoteRecord& record) {
    return std::find(list.begin(), list.end(), record) != list.end();
}

void transposeSelectedNotes(MidiNoteList& list, const MidiNoteList& selected, int semitones) {
    // The notes to move are found first: moving one must not make another match.
    std::vector<std::pair<size_t, size_t>> notes;
    for (size_t i = 0; i < list.size(); ++i) {
        const MidiNoteRecord& r = list[i];
        if (!r.midiCommandTime || !r.midiCommandEndTime || !contains(selected, r)) continue;
        if (const auto off = noteOffIndex(list, r)) notes.emplace_back(i, *off);
    }
    for (const auto& [on, off] : notes) {
        const int n = int(list[off].midiNote) + semitones;
        if (n < 0 || n > 127) continue;
        for (size_t i : {on, off}) {
            MidiNoteRecord& r = list[i];
            r.midiNote = uint32_t(n);
            r.midiCommand = withNote(r.midiCommand, i == on, uint32_t(n), r.midiCommand.data2);
        }
    }
}

void changeSelectedVelocities(MidiNoteList& list, const MidiNoteList& selected, int change) {
    std::vector<size_t> picked;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].midiCommandTime && contains(selected, list[i])) picked.push_back(i);
    for (size_t i : picked) {
        MidiNoteRecord& r = list[i];
        r.midiCommand = withNote(r.midiCommand, true, r.midiNote, std::clamp(int(r.midiCommand.data2) + change, 0, 127));
    }
}

MidiNoteList selectedNotesWithNoteOffs(const MidiNoteList& list, const MidiNoteList& selected) {
    MidiNoteList out;
    for (const MidiNoteRecord& r : list) {
        if (!r.midiCommandTime || !contains(selected, r)) continue;
        out.push_back(r);
        if (r.midiCommandEndTime)
            if (const auto off = noteOffIndex(list, r)) out.push_back(list[*off]);
    }
    return out;
}

void removeRecords(MidiNoteList& list, const MidiNoteList& records) {
    std::erase_if(list, [&](const MidiNoteRecord& r) { return contains(records, r); });
}

std::optional<std::pair<double, double>> selectionSeconds(double x0, double x1, double laneWidth, double regionX,
                                                          double regionWidth, double duration, double speed) {
    if (!(laneWidth > 0) || !(speed > 0)) return std::nullopt;
    double lo = std::max(std::min(x0, x1), 0.0);
    double hi = std::min(std::max(x0, x1), laneWidth);
    lo = std::max(lo, regionX);
    hi = std::min(hi, regionX + regionWidth);
    const double length = duration / speed;
    return std::make_pair(lo / laneWidth * length, hi / laneWidth * length);
}

MidiNoteList notesWithinRange(const MidiNoteList& list, double from, double to) {
    std::vector<bool> taken(list.size(), false);
    std::vector<size_t> order;
    auto take = [&](std::optional<size_t> i) {
        if (i && !taken[*i]) {
            taken[*i] = true;
            order.push_back(*i);
        }
    };
    for (size_t i = 0; i < list.size(); ++i) {
        const MidiNoteRecord& r = list[i];
        if (!r.midiCommandTime) continue;
        const double start = seconds(*r.midiCommandTime);
        // The note-on and note-off of the note this record belongs to.
        std::optional<size_t> on, off;
        if (r.midiCommandEndTime) {
            on = i;
            off = noteOffIndex(list, r);
        } else {
            on = noteOnIndexEndingAt(list, r);
            off = i;
        }
        const bool inside = from <= start && start <= to;
        bool spans = false;
        if (on) {
            const MidiNoteRecord& n = list[*on];
            spans = seconds(*n.midiCommandTime) <= from && seconds(*n.midiCommandEndTime) >= to;
        }
        if (inside || spans) {
            // Pitch bends and lone records come alone.
            take(i);
            take(i == on ? off : on);
        }
    }
    MidiNoteList out;
    for (size_t i : order) out.push_back(list[i]);
    return out;
}

}  // namespace noteediting
