#pragma once

// Effect settings bound to a time range of a track's lane: applied once when
// playback (or a seek) enters the range. The store is the controller's,
// main thread only; the render follows a snapshot of it (SelectionWindows).

#include "automation/RecordedParameters.h"
#include "automation/TrackParameters.h"

#include <QString>

#include <map>
#include <memory>
#include <vector>

class MusicFilter;

// The setting an entry applies, with the track's curves (as fractions of
// its source) and curve type kept beside it.
struct SelectionParametersInfo {
    TrackParametersRecord parameters;
    TrackCurves presetRecordedDictionary;
    uint64_t presetRecordedTypeOfCurve = 0;
};

struct SelectionParametersRecord {
    double selectionParametersStartPercent = 0;  // fractions of the lane's width
    double selectionParametersEndPercent = 0;
    SelectionParametersInfo selectionParametersInfo;
    QString selectionParametersReference;  // "end - start", "%f - %f"
};

// A track's entries, sorted by start, by the track's identifierOfFilter.
using SelectionParametersStore = std::map<QString, std::vector<SelectionParametersRecord>>;

// A track's entries as they were before a change.
struct SelectionParametersUndoRecord {
    std::shared_ptr<MusicFilter> track;
    std::vector<SelectionParametersRecord> entries;
};

namespace automation {

// Two ranges are the same when both ends differ by less than this.
inline constexpr double kSameSelectionRange = double(0.001f);
bool selectionParametersStartComparator(const SelectionParametersRecord& a, const SelectionParametersRecord& b);
QString selectionParametersReference(double start, double end);

}  // namespace automation
