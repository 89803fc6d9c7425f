#include "midi/NoteLists.h"

#include "engine/MusicFilter.h"
#include "platform/core/Archive.h"

#include <QCborMap>
#include <QCborValue>

#include <algorithm>
#include <cmath>

namespace notelists {

namespace {

double seconds(const std::optional<MediaTime>& t) { return t ? t->seconds() : 0.0; }

// The track's speed; 1 when it holds nothing usable.
double speedOf(const MusicFilter& track) {
    const double v = track.value(EffectInput::Speed);
    return v > 0 && std::isfinite(v) ? v : 1.0;
}

int32_t scaleOf(int32_t timeScale) { return timeScale > 0 ? timeScale : MediaTime::DefaultTimeScale; }

bool sameStart(const MidiNoteRecord& r, const MediaTime& at) { return r.midiCommandTime && *r.midiCommandTime == at; }

// Stored seconds, the empty string for no time.
QCborValue storedSeconds(const std::optional<double>& s) { return s ? QCborValue(*s) : QCborValue(QString()); }

}  // namespace

double trackSecondsForCompositionSeconds(double T, double animationStart, double sourceStart, double speed) {
    return T - animationStart + sourceStart / (speed > 0 ? speed : 1.0);
}

double compositionSecondsForTrackSeconds(double t, double animationStart, double sourceStart, double speed) {
    return t + animationStart - sourceStart / (speed > 0 ? speed : 1.0);
}

double trackSecondsForCompositionSeconds(const MusicFilter& track, double T) {
    // A track not yet laid out starts at 0 and uses its source from 0.
    auto finiteOrZero = [](double s) { return std::isfinite(s) ? s : 0.0; };
    return trackSecondsForCompositionSeconds(T, finiteOrZero(track.animationStart().seconds()),
                                             finiteOrZero(track.currentTimeRange().start.seconds()), speedOf(track));
}

MediaTime trackTime(const MusicFilter& track, double s) { return MediaTime::fromSeconds(s, scaleOf(track.timeScale)); }

int compareNoteTimes(const MidiNoteRecord& a, const MidiNoteRecord& b) {
    const double x = seconds(a.midiCommandTime), y = seconds(b.midiCommandTime);
    return x < y ? -1 : (x > y ? 1 : 0);
}

void sortByStartTime(MidiNoteList& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const MidiNoteRecord& a, const MidiNoteRecord& b) { return compareNoteTimes(a, b) < 0; });
}

MidiNoteList createACopyOfMidiArray(const MusicFilter& track) { return track.midiArray; }

void updateMIDIArrayFromArray(MusicFilter& track, const MidiNoteList& notes) {
    track.midiArray = notes;
    track.publishNotes();
}

void keepSelectionWithin(MusicFilter& track) {
    const MidiNoteList& list = track.midiArray;
    for (MidiNoteList* selection : {&track.currentSelectedNotes, &track.lastSelectedNotes})
        std::erase_if(*selection, [&list](const MidiNoteRecord& r) {
            return std::find(list.begin(), list.end(), r) == list.end();
        });
}

void scaleMidiArray(MidiNoteList& list, double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) return;
    for (MidiNoteRecord& r : list) {
        if (r.midiCommandTime) r.midiCommandTime = r.midiCommandTime->multipliedBy(factor);
        if (r.midiCommandEndTime) r.midiCommandEndTime = r.midiCommandEndTime->multipliedBy(factor);
    }
}

ExportedNote exportedNote(const MidiNoteRecord& record) {
    ExportedNote n{record, std::nullopt, std::nullopt};
    if (record.midiCommandTime && record.midiCommandTime->isValid()) n.start = record.midiCommandTime->seconds();
    if (record.midiCommandEndTime && record.midiCommandEndTime->isValid()) n.end = record.midiCommandEndTime->seconds();
    n.record.midiCommandTime.reset();
    n.record.midiCommandEndTime.reset();
    n.record.midiFired = false;
    return n;
}

MidiNoteRecord importedNote(const ExportedNote& note, int32_t timeScale) {
    MidiNoteRecord r = note.record;
    const int32_t scale = scaleOf(timeScale);
    r.midiCommandTime = note.start ? std::optional(MediaTime::fromSeconds(*note.start, scale)) : std::nullopt;
    r.midiCommandEndTime = note.end ? std::optional(MediaTime::fromSeconds(*note.end, scale)) : std::nullopt;
    r.midiFired = false;
    return r;
}

QCborMap exportedNoteValue(const ExportedNote& n) {
    const units::MidiMessage& command = n.record.midiCommand;
    QCborMap m;
    m.insert(QStringLiteral("commandNote"), archive::unsignedValue(command.data1 & 0x7F));
    m.insert(QStringLiteral("commandVelocity"), archive::unsignedValue(command.data2 & 0x7F));
    m.insert(QStringLiteral("commandChannel"), archive::unsignedValue(command.status & 0x0F));
    m.insert(QStringLiteral("commandIsNoteOn"), (command.status & 0xF0) == 0x90);
    m.insert(QStringLiteral("commandMidiTimeStamp"), archive::unsignedValue(n.record.midiTimestamp));
    m.insert(QStringLiteral("midiCommandTime"), storedSeconds(n.start));
    m.insert(QStringLiteral("midiCommandEndTime"), storedSeconds(n.end));
    m.insert(QStringLiteral("midiCommandIsRecorded"), n.record.midiCommandIsRecorded);
    m.insert(QStringLiteral("midiNote"), archive::unsignedValue(n.record.midiNote));
    m.insert(QStringLiteral("midiNoteOn"), n.record.midiNoteOn);
    return m;
}

std::optional<ExportedNote> exportedNoteFromValue(const QCborValue& value, QString* error) {
    archive::MapReader r(value.toMap(), QStringLiteral("MIDI note"));
    if (!value.isMap()) r.fail(QStringLiteral("a note should be a map."));
    auto ranged = [&r](const char* key, quint64 most) {
        const QString k = QLatin1String(key);
        const quint64 v = r.unsignedInteger(k);
        if (r.ok() && v > most) r.fail(QStringLiteral("the field \"%1\" is out of range (%2).").arg(k).arg(v));
        return v;
    };
    auto time = [&r](const char* key) -> std::optional<double> {
        const QString k = QLatin1String(key);
        if (!r.ok()) return std::nullopt;
        const QCborValue t = r.map().value(k);
        if (t.isString()) return std::nullopt;  // any string stands for no time
        if ((t.isDouble() || t.isInteger()) && std::isfinite(t.toDouble())) return t.toDouble();
        r.fail(QStringLiteral("the field \"%1\" should be a finite number of seconds or a string, not %2.")
                   .arg(k, archive::kindName(t)));
        return std::nullopt;
    };
    ExportedNote n;
    const quint64 note = ranged("commandNote", 127);
    const quint64 velocity = ranged("commandVelocity", 127);
    const quint64 channel = ranged("commandChannel", 15);
    const bool isNoteOn = r.boolean(QStringLiteral("commandIsNoteOn"));
    n.record.midiTimestamp = r.unsignedInteger(QStringLiteral("commandMidiTimeStamp"));
    n.start = time("midiCommandTime");
    n.end = time("midiCommandEndTime");
    n.record.midiCommandIsRecorded = r.boolean(QStringLiteral("midiCommandIsRecorded"));
    n.record.midiNote = uint32_t(ranged("midiNote", 127));
    n.record.midiNoteOn = r.boolean(QStringLiteral("midiNoteOn"));
    if (!r.ok()) {
        if (error) *error = r.error();
        return std::nullopt;
    }
    n.record.midiCommand = {uint8_t((isNoteOn ? 0x90 : 0x80) | channel), uint8_t(note), uint8_t(velocity)};
    return n;
}

QCborArray createACopyOfMidiArrayForExporting(const MidiNoteList& list) {
    QCborArray out;
    for (const MidiNoteRecord& r : list) out.append(exportedNoteValue(exportedNote(r)));
    return out;
}

QCborArray createACopyOfMidiArrayForExporting(const MusicFilter& track) {
    return createACopyOfMidiArrayForExporting(track.midiArray);
}

bool readExportedMidiArray(const QCborArray& stored, int32_t timeScale, MidiNoteList& out, QString* error) {
    MidiNoteList read;
    read.reserve(size_t(stored.size()));
    for (qsizetype i = 0; i < stored.size(); ++i) {
        QString why;
        const auto note = exportedNoteFromValue(stored.at(i), &why);
        if (!note) {
            if (error) *error = QStringLiteral("Note %1: %2").arg(i).arg(why);
            return false;
        }
        read.push_back(importedNote(*note, timeScale));
    }
    out = std::move(read);
    return true;
}

bool importACopyOfMidiArrayFromExporting(MusicFilter& track, const QCborArray& stored, QString* error) {
    if (!readExportedMidiArray(stored, track.timeScale, track.midiArray, error)) return false;
    track.publishNotes();
    return true;
}

void importACopyOfMidiArrayFromExporting(MusicFilter& track, const std::vector<ExportedNote>& notes) {
    MidiNoteList list;
    list.reserve(notes.size());
    for (const ExportedNote& n : notes) list.push_back(importedNote(n, track.timeScale));
    track.midiArray = std::move(list);
    track.publishNotes();
}

MidiNoteList copySelectedNotes(const MidiNoteList& list, const MidiNoteList& selected) {
    MidiNoteList copied;
    if (list.empty() || selected.empty()) return copied;
    for (const MidiNoteRecord& r : list) {
        if (!r.midiCommandTime || std::find(selected.begin(), selected.end(), r) == selected.end()) continue;
        copied.push_back(r);
        if (!r.midiCommandEndTime) continue;
        for (const MidiNoteRecord& x : list)
            if (sameStart(x, *r.midiCommandEndTime) && x.midiNote == r.midiNote) copied.push_back(x);
    }
    return copied;
}

void pasteNotes(MidiNoteList& list, const MidiNoteList& copied) {
    for (MidiNoteRecord r : copied) {
        r.midiFired = false;
        list.push_back(r);
    }
    sortByStartTime(list);
}

void pasteNotesAtTime(MidiNoteList& list, const MidiNoteList& copied, double playhead, int32_t timeScale) {
    const int32_t scale = scaleOf(timeScale);
    bool first = true;
    MediaTime offset = MediaTime::zero();
    for (const MidiNoteRecord& r : copied) {
        if (!r.midiCommandTime || !r.midiCommandEndTime) continue;
        const double length = std::max(0.0, r.midiCommandEndTime->seconds() - r.midiCommandTime->seconds());
        MidiNoteRecord c = r;
        c.midiFired = false;
        if (first) {
            c.midiCommandTime = MediaTime::fromSeconds(playhead, scale);
            offset = *c.midiCommandTime - *r.midiCommandTime;
            first = false;
        } else {
            c.midiCommandTime = *r.midiCommandTime + offset;
        }
        c.midiCommandEndTime = *c.midiCommandTime + MediaTime::fromSeconds(length, scale);
        list.push_back(c);
        for (const MidiNoteRecord& x : copied) {
            if (!sameStart(x, *r.midiCommandEndTime) || x.midiNote != r.midiNote) continue;
            MidiNoteRecord off = x;
            off.midiFired = false;
            off.midiCommandTime = c.midiCommandEndTime;
            list.push_back(off);
        }
    }
    sortByStartTime(list);
}

bool commitLiveRecord(MidiNoteList& list, const MidiNoteRecord& live) {
    bool changed = false;
    MidiNoteRecord record = live;
    if (!record.midiNoteOn && record.midiCommandTime) {
        // Close the first held note of this number.
        for (MidiNoteRecord& h : list) {
            if (h.midiNote != record.midiNote || !h.midiNoteOn) continue;
            h.midiNoteOn = false;
            h.midiFired = false;
            MediaTime end = *record.midiCommandTime;
            if (h.midiCommandTime && *h.midiCommandTime > end) end = *h.midiCommandTime;
            h.midiCommandEndTime = end;
            record.midiCommandTime = end;
            changed = true;
            break;
        }
    }
    if (record.midiCommandIsRecorded && record.midiCommandTime) {
        MidiNoteRecord kept = record;
        kept.midiFired = false;
        list.push_back(kept);
        changed = true;
    }
    return changed;
}

}  // namespace notelists
