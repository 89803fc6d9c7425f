#include "editing/TrimArithmetic.h"

#include <algorithm>
#include <cmath>

namespace trims {

MinutesSeconds minutesSeconds(double seconds) {
    const double minutes = std::floor(seconds / 60.0);
    return {minutes, seconds - 60.0 * minutes};
}

MinutesSeconds wholeMinutesSeconds(double seconds) {
    const double minutes = std::floor(seconds / 60.0);
    return {minutes, std::max(std::trunc(seconds) - std::trunc(minutes * 60.0), 0.0)};
}

bool trimEntryAccepted(Edge edge, double seconds, double rangeStart, double rangeDuration, double sourceSeconds) {
    if (!std::isfinite(seconds)) return false;
    if (edge == Start) return seconds < rangeStart + rangeDuration - 1.0;
    return seconds > rangeStart + 1.0 && seconds <= sourceSeconds;
}

bool placementEntryAccepted(double seconds, double compositionSeconds) {
    return std::isfinite(seconds) && seconds < compositionSeconds - 1.0;
}

LanePlacement trimmedEdge(const LaneGeometry& g, Edge edge, double fraction) {
    const double left = g.laneX + g.regionX;  // the region's left edge in the area
    const double room = g.areaWidth - left;
    if (edge == Start) {
        const double x = fraction * g.laneWidth;
        return {left - x, x, std::min(g.regionWidth - (x - g.regionX), room)};
    }
    return {g.laneX, g.regionX, std::min(fraction * g.laneWidth - g.regionX, room)};
}

CompositionSpan compositionSpan(const LaneGeometry& g, double compositionSeconds) {
    if (!(g.areaWidth > 0)) return {};
    const double left = g.laneX + g.regionX;
    return {std::max(left / g.areaWidth * compositionSeconds, 0.0),
            std::min((left + g.regionWidth) / g.areaWidth * compositionSeconds, compositionSeconds)};
}

LanePlacement placedEdge(const LaneGeometry& g, Edge edge, double fraction) {
    const double A = g.areaWidth, r = g.regionX, w = g.regionWidth;
    if (edge == Start) {
        const double x = A * fraction - r;
        const double overflow = std::max(x + r + w - A, 0.0);
        return {x, r, w - overflow};
    }
    const double x = A * fraction - (r + w);
    const double underflow = std::min(x + r, 0.0);
    return {x, r - underflow, w};
}

Fractions clampedFractions(double origin, double duration) {
    if (origin < 0) origin = 0;
    if (duration > 1) duration = 1;
    if (origin + duration > 1) duration = 1 - origin;
    return {origin, duration};
}

SourceRange retrimmedSourceRange(double origin, double duration, double versionSeconds, double availableSeconds) {
    double start = std::min(std::max(origin * versionSeconds, 0.0), versionSeconds - 1.0);
    start = std::max(start, 0.0);  // a version under a second long plays from its beginning
    double length = std::max(duration * versionSeconds, 1.0);
    if (start + length > availableSeconds) length = availableSeconds - start;
    return {start, std::max(length, 0.0)};
}

double sourceTimeAt(double seconds, double animationStart, double rangeStart, double speed) {
    return speed * (seconds - (animationStart - rangeStart / speed));
}

}  // namespace trims
