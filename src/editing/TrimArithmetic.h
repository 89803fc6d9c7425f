#pragma once

// The arithmetic of typed trims and placements, apart from any widget: the
// minutes and seconds a field pair shows, which entries are taken, where a
// lane and its region go when one edge is moved or placed, and the part of
// the source a re-trimmed region plays.
//
// Geometry, in points: a lane stands for the whole source (its width is the
// whole audio version); the region (x, w) inside it is the part that plays;
// the lane's origin laneX lies in the track area, whose width spans the
// whole composition.

namespace trims {

// Which edge an entry moves.
enum Edge : unsigned { Start = 0, End = 1 };

struct MinutesSeconds {
    double minutes = 0;
    double seconds = 0;
};
// Whole minutes, and the seconds (with their fraction) within the last minute.
MinutesSeconds minutesSeconds(double seconds);
// Whole minutes, and the whole seconds within the last minute: what a field
// shows again when its text could not be read.
MinutesSeconds wholeMinutesSeconds(double seconds);

// A source trim entry at `seconds` of the source, against the played range
// [rangeStart, rangeStart + rangeDuration): a start must leave more than a
// second before the end; an end must lie more than a second after the start
// and within the source's `sourceSeconds`.
bool trimEntryAccepted(Edge edge, double seconds, double rangeStart, double rangeDuration, double sourceSeconds);
// A placement entry must lie more than a second before the composition's end.
bool placementEntryAccepted(double seconds, double compositionSeconds);

struct LaneGeometry {
    double laneX = 0;        // the lane's origin in the track area
    double laneWidth = 0;    // the whole source
    double regionX = 0;      // in lane coordinates
    double regionWidth = 0;
    double areaWidth = 0;    // the whole composition
};
// Where the lane goes and what its region becomes.
struct LanePlacement {
    double laneX = 0;
    double regionX = 0;
    double regionWidth = 0;
};

// Where a region plays in the composition: its edges in the track area
// (laneX + regionX, and that + regionWidth) over the area's width, times the
// composition's length; the start never before 0 nor the end past the
// composition's end. Both 0 for an area without width.
struct CompositionSpan {
    double start = 0;
    double end = 0;
};
CompositionSpan compositionSpan(const LaneGeometry& g, double compositionSeconds);

// One edge of the region moved to `fraction` of the source. A new start
// keeps the region's left edge where it is in the track area (the lane
// moves under it), so the track's end moves by the change of length; a new
// end moves only the end. Either way the region stops at the area's edge.
LanePlacement trimmedEdge(const LaneGeometry& g, Edge edge, double fraction);

// The whole lane moved so that the region's start (or end) falls at
// `fraction` of the composition. A region that would pass the composition's
// end is shortened there; one whose start would fall before 0 moves right
// inside the lane by the overshoot, keeping its width.
LanePlacement placedEdge(const LaneGeometry& g, Edge edge, double fraction);

// The region's origin and width as fractions of the lane, kept within it.
struct Fractions {
    double origin = 0;
    double duration = 1;
};
Fractions clampedFractions(double origin, double duration);

// The part of the audio version a region of fractions (origin, duration)
// plays: at least a second long, never starting before the version's
// beginning (also for a version shorter than a second), and ending within
// `availableSeconds` (the version's length as the track's media reports it).
struct SourceRange {
    double start = 0;
    double length = 0;
};
SourceRange retrimmedSourceRange(double origin, double duration, double versionSeconds, double availableSeconds);

// Where composition time `seconds` lies in the source of a track placed at
// `animationStart`, playing from `rangeStart` of its source at `speed`.
double sourceTimeAt(double seconds, double animationStart, double rangeStart, double speed);

}  // namespace trims
