#include "editing/TimeSelection.h"

#include "engine/MusicFilter.h"

#include <algorithm>

namespace timeselection {

LaneRange clampToRegion(double a, double b, double laneWidth, double regionLeft, double regionRight) {
    LaneRange r;
    r.regionLeft = regionLeft;
    r.regionRight = regionRight;
    r.end = std::max(a, b);
    r.start = std::min(a, b);
    if (r.end > laneWidth) r.end = laneWidth;
    r.start = std::max(r.start, 0.0);
    if (r.start < regionLeft) r.start = regionLeft;
    if (r.end > regionRight) r.end = regionRight;
    return r;
}

SelectionClipboardRecord recordOf(const std::shared_ptr<MusicFilter>& track, const LaneRange& range,
                                  double laneWidth, double zoomValue) {
    SelectionClipboardRecord r;
    r.audioFilter = track;
    const double D = track->durationInSeconds;
    r.indexOfUpdatedTrack = track->indexOfUpdatedTrack;
    r.indexOfUpdatedBitmap = track->indexOfUpdatedBitmap;
    r.length = laneWidth > 0 ? (range.end - range.start) / laneWidth * D : 0.0;
    r.start = laneWidth > 0 ? range.start / laneWidth * D : 0.0;
    r.selectionType = range.type();
    r.inputSpeed = track->value(EffectInput::Speed);
    r.laneWidth = laneWidth;
    r.durationInSeconds = D;
    r.zoomValue = zoomValue;
    return r;
}

}  // namespace timeselection
