#pragma once

// The one-item internal clipboard. Each copy command empties it and puts
// its own kind of item there; the paste dispatcher tells the kinds apart by
// their type. Items are values, except where a kind says it holds a track.

#include "automation/RecordedParameters.h"
#include "editing/TimeSelection.h"
#include "editing/TrackPasteboard.h"
#include "engine/MidiNote.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

// One effect's curves, their times as fractions of the copied track's
// source, with the copied track's curve type: one key, or both keys of a
// two-key effect in the effect's key order.
struct CurvePasteboardRecord {
    struct Curve {
        KeyPointCurve curve;
        QString key;
        friend bool operator==(const Curve&, const Curve&) = default;
    };
    std::vector<Curve> curves;  // one or two
    uint64_t curveType = 0;

    friend bool operator==(const CurvePasteboardRecord&, const CurvePasteboardRecord&) = default;
};

// What a curve paste changes on its track beside the curve store, kept by
// the paste's undo step: the inputs of the pasted keys (the curves set them
// at the player time), the curve type and the shown curve.
struct PastedCurveTrackState {
    std::weak_ptr<MusicFilter> track;
    std::vector<std::pair<QString, float>> values;
    uint64_t typeOfRecordedCurve = 0;
    uint64_t showParameterCurve = 0;
};

// Copied notes: each selected note-on record followed by its note-offs, in
// the order they were copied, at the copied track's times.
struct NotesPasteboardRecord {
    MidiNoteList notes;
    friend bool operator==(const NotesPasteboardRecord&, const NotesPasteboardRecord&) = default;
};

// A copied preset: the bytes of a preset file, read again when pasted.
struct PresetPasteboardRecord {
    QByteArray data;
    friend bool operator==(const PresetPasteboardRecord&, const PresetPasteboardRecord&) = default;
};

// The kinds of clipboard item.
using PasteboardItem = std::variant<CurvePasteboardRecord, SelectionClipboardRecord, NotesPasteboardRecord,
                                    TrackPasteboardRecord, PresetPasteboardRecord>;
