#include "editing/TrackPasteboard.h"

#include <algorithm>
#include <cmath>

namespace trackpaste {

OutsideParts outsidePartsOf(bool startsAfterZero, bool endsBeforeCompositionEnd, double origin, double duration) {
    const bool before = origin > 0, after = origin + duration < 1.0;
    if (startsAfterZero && endsBeforeCompositionEnd && before && after) return OutsideParts::Both;
    if (startsAfterZero && before) return OutsideParts::Before;
    if (endsBeforeCompositionEnd && after) return OutsideParts::After;
    return OutsideParts::None;
}

KeptPart partBefore(const LaneFrame& f, double regionStart) {
    KeptPart p;
    p.start = f.areaWidth > 0 ? std::max(f.laneX / f.areaWidth, 0.0) * f.compositionSeconds : 0.0;
    p.end = regionStart;
    // What lies left of the composition's start is skipped.
    const double origin = f.laneWidth > 0 ? std::abs(std::min(f.laneX, 0.0)) / f.laneWidth : 0.0;
    const double seconds = f.laneSeconds();
    const double duration = seconds > 0 ? (p.end - p.start) / seconds : 0.0;
    p.fractions = trims::clampedFractions(origin, duration);
    return p;
}

KeptPart partAfter(const LaneFrame& f, double regionEnd, double origin, double duration) {
    KeptPart p;
    p.start = regionEnd;
    p.end = f.areaWidth > 0 ? std::min((f.laneX + f.laneWidth) / f.areaWidth, 1.0) * f.compositionSeconds : 0.0;
    const double seconds = f.laneSeconds();
    p.fractions = trims::clampedFractions(origin + duration, seconds > 0 ? (p.end - p.start) / seconds : 0.0);
    return p;
}

std::optional<PastedLane> pastedLane(const TrackPasteboardInfo& info, double compositionSeconds, double zoom,
                                     double areaWidth) {
    const double copiedSeconds = info.audioPasteboardCompositionDuration.seconds();
    const double copiedZoom = info.audioPasteboardAudioViewFrame.width();
    if (!(copiedZoom > 0) || !(compositionSeconds > 0) || !std::isfinite(copiedSeconds)) return std::nullopt;
    const double zoomRatio = zoom / copiedZoom;
    PastedLane lane;
    lane.x = info.audioPasteboardDrawingViewFrame.x() * zoomRatio;
    lane.width = info.audioPasteboardDrawingViewFrame.width() * (copiedSeconds / compositionSeconds) * zoomRatio;
    if (!(lane.width > 0) || !std::isfinite(lane.width) || !std::isfinite(lane.x)) return std::nullopt;
    const double o = info.audioPasteboardOriginPercent;
    double d = info.audioPasteboardDurationPercent;
    const double regionEnd = lane.x + o * lane.width + d * lane.width;
    if (regionEnd > areaWidth) d -= (regionEnd - areaWidth) / lane.width;
    // Nothing of the region is left inside the track area.
    if (!(d > 0)) return std::nullopt;
    lane.fractions = trims::clampedFractions(o, d);
    if (!(lane.fractions.duration > 0)) return std::nullopt;
    return lane;
}

}  // namespace trackpaste
