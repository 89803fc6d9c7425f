#include "platform/core/MediaTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace {

using i128 = __int128;

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// Rank of the non-numeric kinds in the total order.
// An invalid time ranks after every valid one, so a trim test such as
// "t < end" fails for it and the smaller of an invalid and a valid time is the
// valid one.
int rank(const MediaTime& t) {
    if (t.isNegativeInfinity()) return 1;
    if (t.isPositiveInfinity()) return 3;
    if (t.isIndefinite()) return 4;
    if (!t.isValid()) return 5;
    return 2;
}

// n / d rounded to nearest, halves away from zero (d > 0).
i128 divRound(i128 n, i128 d) {
    i128 q = n / d;
    i128 r = n % d;
    if (2 * (r < 0 ? -r : r) >= d) q += (n < 0 ? -1 : 1);
    return q;
}

// A rational value v / scale brought into an int64 at the largest scale <=
// `scale` that holds it; marks rounding when precision was lost.
MediaTime fromRational(i128 v, i128 scale, bool rounded) {
    while (scale > MediaTime::MaxTimeScale || v > kMax || v < kMin) {
        if (scale <= 1) {
            return v > 0 ? MediaTime::positiveInfinity() : MediaTime::negativeInfinity();
        }
        i128 newScale = scale / 2;
        if (scale > MediaTime::MaxTimeScale) newScale = MediaTime::MaxTimeScale;
        i128 nv = divRound(v * newScale, scale);
        if (nv * scale != v * newScale) rounded = true;
        v = nv;
        scale = newScale;
    }
    MediaTime t(static_cast<int64_t>(v), static_cast<int32_t>(scale));
    if (rounded) t.flags |= MediaTime::HasBeenRounded;
    return t;
}

MediaTime addNumeric(const MediaTime& a, const MediaTime& b, int sign) {
    if (a.timeScale == b.timeScale) {
        i128 v = static_cast<i128>(a.value) + sign * static_cast<i128>(b.value);
        return fromRational(v, a.timeScale, a.hasBeenRounded() || b.hasBeenRounded());
    }
    // Exact at the least common multiple of the scales; fromRational lowers
    // the scale (and rounds) only when that does not fit.
    i128 g = std::gcd(a.timeScale, b.timeScale);
    i128 l = static_cast<i128>(a.timeScale) / g * b.timeScale;
    i128 v = static_cast<i128>(a.value) * (l / a.timeScale) +
             sign * static_cast<i128>(b.value) * (l / b.timeScale);
    if (l > MediaTime::MaxTimeScale) {
        // Keep the larger of the two scales, as the finer one of the operands.
        i128 s = std::max(a.timeScale, b.timeScale);
        i128 nv = divRound(v * s, l);
        bool rounded = nv * l != v * s;
        return fromRational(nv, s, rounded || a.hasBeenRounded() || b.hasBeenRounded());
    }
    return fromRational(v, l, a.hasBeenRounded() || b.hasBeenRounded());
}

}  // namespace

MediaTime MediaTime::fromSeconds(double seconds, int32_t scale) {
    if (std::isnan(seconds) || scale <= 0) return invalid();
    if (std::isinf(seconds)) return seconds > 0 ? positiveInfinity() : negativeInfinity();
    long double exact = static_cast<long double>(seconds) * scale;
    while (std::fabs(exact) >= 9.2e18L) {
        if (scale == 1) return seconds > 0 ? positiveInfinity() : negativeInfinity();
        scale = std::max<int32_t>(1, scale / 2);
        exact = static_cast<long double>(seconds) * scale;
    }
    long double r = std::round(exact);
    MediaTime t(static_cast<int64_t>(r), scale);
    if (r != exact) t.flags |= HasBeenRounded;
    return t;
}

double MediaTime::seconds() const {
    if (!isValid() || isIndefinite()) return std::numeric_limits<double>::quiet_NaN();
    if (isPositiveInfinity()) return std::numeric_limits<double>::infinity();
    if (isNegativeInfinity()) return -std::numeric_limits<double>::infinity();
    return static_cast<double>(value) / static_cast<double>(timeScale);
}

MediaTime MediaTime::convertScale(int32_t scale) const {
    if (!isNumeric() || scale <= 0) return *this;
    if (scale == timeScale) return *this;
    i128 n = static_cast<i128>(value) * scale;
    i128 v = divRound(n, timeScale);
    return fromRational(v, scale, hasBeenRounded() || v * timeScale != n);
}

std::strong_ordering operator<=>(const MediaTime& a, const MediaTime& b) {
    int ra = rank(a), rb = rank(b);
    if (ra != rb || ra != 2) return ra <=> rb;
    i128 l = static_cast<i128>(a.value) * b.timeScale;
    i128 r = static_cast<i128>(b.value) * a.timeScale;
    return l < r ? std::strong_ordering::less
                 : (l > r ? std::strong_ordering::greater : std::strong_ordering::equal);
}

MediaTime operator+(const MediaTime& a, const MediaTime& b) {
    if (!a.isValid() || !b.isValid()) return MediaTime::invalid();
    if (a.isIndefinite() || b.isIndefinite()) return MediaTime::indefinite();
    bool pInf = a.isPositiveInfinity() || b.isPositiveInfinity();
    bool nInf = a.isNegativeInfinity() || b.isNegativeInfinity();
    if (pInf && nInf) return MediaTime::invalid();
    if (pInf) return MediaTime::positiveInfinity();
    if (nInf) return MediaTime::negativeInfinity();
    return addNumeric(a, b, 1);
}

MediaTime operator-(const MediaTime& a, const MediaTime& b) {
    if (!a.isValid() || !b.isValid()) return MediaTime::invalid();
    return a + (-b);
}

MediaTime MediaTime::operator-() const {
    if (!isValid() || isIndefinite()) return *this;
    if (isPositiveInfinity()) return negativeInfinity();
    if (isNegativeInfinity()) return positiveInfinity();
    if (value == kMin) return fromRational(-static_cast<i128>(value), timeScale, hasBeenRounded());
    MediaTime t = *this;
    t.value = -value;
    return t;
}

MediaTime MediaTime::multipliedBy(double factor) const {
    if (!isValid() || isIndefinite() || std::isnan(factor)) {
        return std::isnan(factor) ? invalid() : *this;
    }
    if (isPositiveInfinity() || isNegativeInfinity()) {
        if (factor == 0) return invalid();
        bool positive = isPositiveInfinity() == (factor > 0);
        return positive ? positiveInfinity() : negativeInfinity();
    }
    long double exact = static_cast<long double>(value) * factor;
    if (std::isinf(factor) || std::fabs(exact) >= 9.2e18L) {
        if (value == 0) return zero();
        return (exact > 0) ? positiveInfinity() : negativeInfinity();
    }
    long double r = std::round(exact);
    MediaTime t(static_cast<int64_t>(r), timeScale);
    if (r != exact || hasBeenRounded()) t.flags |= HasBeenRounded;
    return t;
}

MediaTimeRange MediaTimeRange::fromStartEnd(const MediaTime& start, const MediaTime& end) {
    if (!start.isValid() || !end.isValid()) return invalid();
    return {start, end - start};
}

bool MediaTimeRange::isValid() const {
    return start.isValid() && duration.isValid() && !start.isIndefinite() &&
           !duration.isIndefinite() && duration >= MediaTime::zero();
}

bool MediaTimeRange::containsTime(const MediaTime& t) const {
    if (!isValid() || !t.isValid()) return false;
    return start <= t && t < end();
}

bool MediaTimeRange::containsRange(const MediaTimeRange& other) const {
    if (!isValid() || !other.isValid()) return false;
    return start <= other.start && other.end() <= end();
}

MediaTimeRange MediaTimeRange::intersection(const MediaTimeRange& other) const {
    if (!isValid() || !other.isValid()) return invalid();
    MediaTime s = maxTime(start, other.start);
    MediaTime e = minTime(end(), other.end());
    if (e <= s) return {s, MediaTime::zero()};
    return fromStartEnd(s, e);
}

MediaTimeRange MediaTimeRange::unionWith(const MediaTimeRange& other) const {
    if (!isValid() || !other.isValid()) return invalid();
    return fromStartEnd(minTime(start, other.start), maxTime(end(), other.end()));
}
