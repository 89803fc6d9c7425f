#pragma once

// The numbers of a project or preset document, checked once their kinds
// are known. A value that cannot be used (not a number, an infinity, or an
// impossible value: a speed or a project length of 0 or below, a track that
// ends before it starts, an offset before the start of a source, an index
// past its list) refuses the document, with the field named as the user
// knows it. A usable value outside the range of the control that sets it
// is brought into that range, so that every document written before still
// opens and nothing out of range reaches the model or a render.
//
// Values only, like the records: no controller, no widgets.

#include "library/ProjectRecords.h"

#include <optional>

namespace project::values {

// The longest time a document holds anywhere (the project's length, a
// place on the timeline, a marker, a note): 100 hours, whose timeline at
// the largest zoom stays narrower than the widest widget.
inline constexpr double kLongestTime = 360000.0;
// The zoom slider's range.
inline constexpr double kSmallestZoom = 1.0, kLargestZoom = 20.0;
// A lane's place and size, and the points of its selections, in pixels:
// what a widget can be.
inline constexpr double kLargestGeometry = 16777215.0;

// The value of effect input `index` (of the effect control table) as it is
// stored, brought into its control's range; nothing, with `why` set, when
// it cannot be used.
std::optional<float> effectValue(size_t index, double value, QString* why);
// A unit parameter's stored value: any number a float holds.
std::optional<float> unitParameterValue(double value, QString* why);

// A stored choice among 0 ... last (a curve's style, a switch): a larger
// number is taken as the last.
inline uint64_t choiceValue(uint64_t value, uint64_t last) { return value < last ? value : last; }

// Whether every double in the value (a plug-in's saved state) is a number.
bool allNumbers(const QCborValue& value);

// Each returns why the record cannot be used, or nothing after bringing its
// values into range.
QString checkCurves(TrackCurves& curves);
QString checkNote(TrackInfoRecord::Note& note);
QString checkSelection(SelectionParametersRecord& selection);
QString checkSegment(TrackSegmentRecord& segment);
QString checkInfo(TrackInfoRecord& info);
// What only the whole document tells: the selected track is one of its
// tracks (or none).
QString checkDocument(const ProjectDocument& document);

}  // namespace project::values
