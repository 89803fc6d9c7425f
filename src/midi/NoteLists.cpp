#include "midi/NoteLists.h"

#include "engine/MusicFilter.h"

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

// The stored seconds of a time, the empty string for none.
QCborValue storedTime(const std::optional<MediaTime>& t) {
    return t ? QCborValue(t->seconds()) : QCborValue(QString());
}

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

QCborArray createACopyOfMidiArrayForExporting(const MidiNoteList& list) {
    QCborArray out;
    for (const MidiNoteRecord& r : list) {
        const uint8_t status = r.midiCommand.status;
        QCborMap m;
        m.insert(QStringLiteral("commandNote"), int(r.midiCommand.data1 & 0x7F));
        m.insert(QStringLiteral("commandVelocity"), int(r.midiCommand.data2 & 0x7F));
        m.insert(QStringLiteral("commandChannel"), int(status & 0x0F));
        m.insert(QStringLiteral("commandIsNoteOn"), (status & 0xF0) == 0x90);
        m.insert(QStringLiteral("commandMidiTimeStamp"), qint64(r.midiTimestamp));
        m.insert(QStringLiteral("midiCommandTime"), storedTime(r.midiCommandTime));
        m.insert(QStringLiteral("midiCommandEndTime"), storedTime(r.midiCommandEndTime));
        m.insert(QStringLiteral("midiCommandIsRecorded"), r.midiCommandIsRecorded);
        m.insert(QStringLiteral("midiNote"), qint64(r.midiNote));
        m.insert(QStringLiteral("midiNoteOn"), r.midiNoteOn);
        out.append(m);
    }
    return out;
}

QCborArray createACopyOfMidiArrayForExporting(const MusicFilter& track) {
    return createACopyOfMidiArrayForExporting(track.midiArray);
}

bool readExportedMidiArray(const QCborArray& stored, int32_t timeScale, MidiNoteList& out, QString* error) {
    MidiNoteList read;
    read.reserve(size_t(stored.size()));
    auto fail = [&](qsizetype i, const char* key) {
        if (error) *error = QStringLiteral("Note %1: \"%2\" is missing or of the wrong type.").arg(i).arg(QLatin1String(key));
        return false;
    };
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QCborMap m = stored.at(i).toMap();
        if (!stored.at(i).isMap()) return fail(i, "record");
        auto integer = [&](const char* key, qint64 lo, qint64 hi, qint64& v) {
            const QCborValue x = m.value(QLatin1String(key));
            if (!x.isInteger() || x.toInteger() < lo || x.toInteger() > hi) return false;
            v = x.toInteger();
            return true;
        };
        auto flag = [&](const char* key, bool& v) {
            const QCborValue x = m.value(QLatin1String(key));
            if (!x.isBool()) return false;
            v = x.toBool();
            return true;
        };
        auto time = [&](const char* key, std::optional<MediaTime>& v) {
            const QCborValue x = m.value(QLatin1String(key));
            if (x.isString()) v.reset();  // any string stands for no time
            else if (x.isDouble() || x.isInteger()) {
                const double s = x.toDouble();
                if (!std::isfinite(s)) return false;
                v = MediaTime::fromSeconds(s, scaleOf(timeScale));
            } else
                return false;
            return true;
        };
        qint64 note = 0, velocity = 0, channel = 0, stamp = 0, midiNote = 0;
        bool isNoteOn = false, recorded = false, noteOn = false;
        MidiNoteRecord r;
        if (!integer("commandNote", 0, 127, note)) return fail(i, "commandNote");
        if (!integer("commandVelocity", 0, 127, velocity)) return fail(i, "commandVelocity");
        if (!integer("commandChannel", 0, 15, channel)) return fail(i, "commandChannel");
        if (!flag("commandIsNoteOn", isNoteOn)) return fail(i, "commandIsNoteOn");
        if (!integer("commandMidiTimeStamp", 0, std::numeric_limits<qint64>::max(), stamp))
            return fail(i, "commandMidiTimeStamp");
        if (!time("midiCommandTime", r.midiCommandTime)) return fail(i, "midiCommandTime");
        if (!time("midiCommandEndTime", r.midiCommandEndTime)) return fail(i, "midiCommandEndTime");
        if (!flag("midiCommandIsRecorded", recorded)) return fail(i, "midiCommandIsRecorded");
        if (!integer("midiNote", 0, 127, midiNote)) return fail(i, "midiNote");
        if (!flag("midiNoteOn", noteOn)) return fail(i, "midiNoteOn");
        r.midiCommand = {uint8_t((isNoteOn ? 0x90 : 0x80) | channel), uint8_t(note), uint8_t(velocity)};
        r.midiTimestamp = uint64_t(stamp);
        r.midiCommandIsRecorded = recorded;
        r.midiNote = uint32_t(midiNote);
        r.midiNoteOn = noteOn;
        read.push_back(r);
    }
    out = std::move(read);
    return true;
}

bool importACopyOfMidiArrayFromExporting(MusicFilter& track, const QCborArray& stored, QString* error) {
    if (!readExportedMidiArray(stored, track.timeScale, track.midiArray, error)) return false;
    track.publishNotes();
    return true;
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
