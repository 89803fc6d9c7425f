#pragma once

// A lane's time selection read as the editing commands use it, and the
// clipboard item a copied selection leaves. Main thread; no controller.
//
// Lane x converts to seconds of the track's own audio as x / W × D (W the
// lane's width, D the track's durationInSeconds): seconds are counted from
// the lane's left edge, not from the region's.

#include <QList>
#include <QPointF>

#include <cstdint>
#include <memory>
#include <optional>

class MusicFilter;

namespace timeselection {

// Where a selection lies in its region.
enum SelectionType : uint64_t {
    StartsAtRegionStart = 0,  // also a selection over the whole region
    EndsAtRegionEnd = 1,      // not starting at the region's start
    InsideRegion = 2,         // touching neither edge
};

// Below this length (single-precision 0.1 widened to double) a range edit is
// refused; a length equal to it is accepted.
inline constexpr double kMinimumEditLength = double(0.1f);

// The two ends of a selection ordered and clamped: to the lane, then to the
// region [regionLeft, regionRight].
struct LaneRange {
    double start = 0, end = 0;
    double regionLeft = 0, regionRight = 0;
    bool coversRegion() const { return start == regionLeft && end == regionRight; }
    // Typed by exact equality of the clamped ends with the region's edges.
    uint64_t type() const {
        if (start == regionLeft) return StartsAtRegionStart;
        if (end == regionRight) return EndsAtRegionEnd;
        return InsideRegion;
    }
};

// Ends a and b (either order) clamped to a lane of width `laneWidth` and to
// the region. A range wholly outside the region comes out with end ≤ start.
LaneRange clampToRegion(double a, double b, double laneWidth, double regionLeft, double regionRight);

}  // namespace timeselection

// A copied time selection: the source track (kept alive by the record), the
// audio version and picture current at copy time, and the copied stretch in
// seconds of the source's audio from its lane's left edge.
struct SelectionClipboardRecord {
    std::shared_ptr<MusicFilter> audioFilter;
    uint64_t indexOfUpdatedTrack = 0;
    uint64_t indexOfUpdatedBitmap = 0;
    double length = 0;
    double start = 0;
    uint64_t selectionType = 0;
    double inputSpeed = 1.0;
    double laneWidth = 0;
    double durationInSeconds = 0;
    double zoomValue = 0;
    // The track's file was replaced after the copy: the record describes
    // audio the track no longer has, and a paste of it is refused.
    bool sourceReplaced = false;

    friend bool operator==(const SelectionClipboardRecord&, const SelectionClipboardRecord&) = default;
};

namespace timeselection {

// The record of `range` on `track` (its lane `laneWidth` wide), as a copy
// makes it. `range` must come from clampToRegion with the same lane.
SelectionClipboardRecord recordOf(const std::shared_ptr<MusicFilter>& track, const LaneRange& range,
                                  double laneWidth, double zoomValue);

}  // namespace timeselection
