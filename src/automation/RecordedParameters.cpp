#include "automation/RecordedParameters.h"

#include "platform/core/MediaTime.h"

#include <algorithm>
#include <cmath>

namespace automation {

namespace {
constexpr double kMatchSeconds = 0.01;

bool sameMediaTime(double a, double b, int32_t timeScale) {
    const int32_t scale = timeScale > 0 ? timeScale : 44100;
    return MediaTime::fromSeconds(a, scale) == MediaTime::fromSeconds(b, scale);
}
}  // namespace

void sortCurve(KeyPointCurve& curve) {
    std::stable_sort(curve.begin(), curve.end(), keyPointTimeComparator);
}

RecordedParameters copyRecordedDictionary(const RecordedParameters& store) { return store; }

void addKeyToRecordedDictionary(RecordedParameters& store, const QString& fromIdentifier,
                                const QString& toIdentifier) {
    auto it = store.find(fromIdentifier);
    if (it == store.end()) return;
    TrackCurves copy = it->second;
    store[toIdentifier] = std::move(copy);
}

RecordedPoint recordKeyPoint(KeyPointCurve& curve, double seconds, float value, SourceSpan span,
                             int32_t timeScale, bool firstOfBurst) {
    const double t = std::clamp(seconds, span.lo, std::max(span.lo, span.hi));
    const double v = double(value);
    const int32_t boundary = KeyPoint::kRecordingBoundary;
    if (curve.empty()) {
        if (std::fabs(t - span.lo) <= kMatchSeconds) {
            curve.push_back({span.hi, v, boundary});
        } else if (std::fabs(t - span.hi) <= kMatchSeconds) {
            curve.push_back({span.lo, v, boundary});
        } else {
            curve.push_back({span.lo, v, boundary});
            curve.push_back({span.hi, v, boundary});
        }
    }
    auto match = std::find_if(curve.begin(), curve.end(), [&](const KeyPoint& p) {
        return sameMediaTime(p.time, t, timeScale) || std::fabs(p.time - t) <= kMatchSeconds;
    });
    if (match != curve.end()) {
        const bool flagged = match->flag.has_value();
        *match = KeyPoint{t, v, flagged ? std::optional<int32_t>(boundary) : std::nullopt};
    } else {
        curve.push_back({t, v, firstOfBurst ? std::optional<int32_t>(boundary) : std::nullopt});
    }
    RecordedPoint result{t, curve};
    sortCurve(curve);
    return result;
}

const KeyPoint* keyPointAtOrBefore(const KeyPointCurve& curve, double seconds) {
    const KeyPoint* begin = curve.data();
    const KeyPoint* end = begin + curve.size();
    // The first point later than `seconds`; the one before it decides.
    const KeyPoint* after =
        std::upper_bound(begin, end, seconds, [](double s, const KeyPoint& p) { return s < p.time; });
    if (after == begin) return nullptr;
    const KeyPoint* p = after - 1;
    return p->time >= 0 ? p : nullptr;
}

std::optional<double> curveValueAt(const KeyPoint* points, size_t count, double seconds,
                                   CurveStyle style) {
    uint32_t cursor = 0;
    return curveValueAt(points, count, seconds, style, cursor);
}

std::optional<double> curveValueAt(const KeyPoint* points, size_t count, double seconds,
                                   CurveStyle style, uint32_t& cursor) {
    if (count == 0) return std::nullopt;
    const KeyPoint* end = points + count;
    // The first point later than `seconds`: the cursor's, the next, or searched.
    auto isFirstLater = [&](size_t i) {
        return (i == count || points[i].time > seconds) && (i == 0 || points[i - 1].time <= seconds);
    };
    size_t i = std::min<size_t>(cursor, count);
    if (!isFirstLater(i)) {
        if (i < count && isFirstLater(i + 1))
            ++i;
        else
            i = size_t(std::upper_bound(points, end, seconds,
                                        [](double s, const KeyPoint& p) { return s < p.time; }) -
                       points);
    }
    cursor = uint32_t(i);
    const KeyPoint* after = points + i;
    if (after == points) return std::nullopt;
    const KeyPoint* p = after - 1;
    if (p->time < 0) return std::nullopt;
    if (style != CurveStyle::Linear || after == end) return p->value;
    const double span = after->time - p->time;
    if (!(span > 0)) return p->value;
    return p->value + (after->value - p->value) * (seconds - p->time) / span;
}

std::optional<double> curveValueAt(const KeyPointCurve& curve, double seconds, CurveStyle style) {
    return curveValueAt(curve.data(), curve.size(), seconds, style);
}

}  // namespace automation
