#pragma once

// The automation store: every track's curves, by track identifier and input
// key, and the operations on it that need no controller. Main thread only;
// the render threads read published snapshots of it (AutomationSnapshot).

#include "engine/AutomationTypes.h"

#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace automation {

// Two points of equal time are two points; the sort orders times only.
inline bool keyPointTimeComparator(const KeyPoint& a, const KeyPoint& b) { return a.time < b.time; }
void sortCurve(KeyPointCurve& curve);

// A copy that shares nothing with its source (key points are values).
RecordedParameters copyRecordedDictionary(const RecordedParameters& store);
// The source track's curves copied under the destination's identifier,
// replacing what it had; nothing when the source has no entry.
void addKeyToRecordedDictionary(RecordedParameters& store, const QString& fromIdentifier,
                                const QString& toIdentifier);

// Where a track's source lies on the timeline, in seconds.
struct SourceSpan {
    double lo = 0;
    double hi = 0;
};

// Records `value` at `seconds` (clamped into the span) into `curve`, as a
// recording pass does: an empty curve is first seeded with flagged end
// points, a point within 0.01 s (or at the same media time) is replaced,
// otherwise a point is appended, flagged when it is the first of its burst.
// The curve is sorted afterwards. Returns the time recorded and the curve as
// it stood before the sort (the burst's latest insertion is its last element
// when nothing was replaced).
struct RecordedPoint {
    double time = 0;
    KeyPointCurve unsorted;
};
RecordedPoint recordKeyPoint(KeyPointCurve& curve, double seconds, float value, SourceSpan span,
                             int32_t timeScale, bool firstOfBurst);

// The point that decides the value at `seconds`: the last whose time is at
// least 0 and at most `seconds` (of equal times the later one); null when
// there is none. The curve is sorted by time.
const KeyPoint* keyPointAtOrBefore(const KeyPointCurve& curve, double seconds);
// The curve's value at `seconds` in `style`: the deciding point's value, or
// linear from it to the next point; none before the first usable point.
std::optional<double> curveValueAt(const KeyPointCurve& curve, double seconds, CurveStyle style);
// The same over a plain array of points, for the render's snapshots.
std::optional<double> curveValueAt(const KeyPoint* points, size_t count, double seconds,
                                   CurveStyle style);
// The same, starting from `cursor` (the index of the first point later than
// the last time asked), which it leaves at this time's: a look-up at a time
// a little after the last one reads one or two points instead of searching
// the curve. Any cursor gives the same answer.
std::optional<double> curveValueAt(const KeyPoint* points, size_t count, double seconds,
                                   CurveStyle style, uint32_t& cursor);

// Rewrites every point of `curves`: its time through `time`, its value
// through `value`; a point that had a flag comes out flagged as a recording
// boundary, one without stays without.
template <typename TimeFn, typename ValueFn>
void rewriteKeyPoints(KeyPointCurve& curve, TimeFn time, ValueFn value) {
    for (KeyPoint& p : curve)
        p = KeyPoint{time(p.time), value(p.value),
                     p.flag ? std::optional<int32_t>(KeyPoint::kRecordingBoundary) : std::nullopt};
}
void shiftKeyPoints(TrackCurves& curves, double difference);
void scaleKeyPoints(TrackCurves& curves, double factor);
// Marks the first point at exactly `last`'s time as the end of a burst, with
// `last`'s value; nothing when no point has that time.
void markLastKeyPoint(KeyPointCurve& curve, const KeyPoint& last);

}  // namespace automation
