#pragma once

#include <cstdint>
#include <compare>

// Media time: a rational number of seconds, value / timeScale, with flags for
// invalid, positive and negative infinity and indefinite times. Comparisons
// are exact across time scales; arithmetic keeps the result exact where the
// time scales allow it and rounds (marking the result) where they do not.
struct MediaTime {
    enum Flags : uint32_t {
        Valid = 1u << 0,
        HasBeenRounded = 1u << 1,
        PositiveInfinity = 1u << 2,
        NegativeInfinity = 1u << 3,
        Indefinite = 1u << 4,
    };

    static constexpr int32_t DefaultTimeScale = 600;
    static constexpr int32_t MaxTimeScale = 0x7fffffff;

    int64_t value = 0;
    int32_t timeScale = 0;
    uint32_t flags = 0;

    constexpr MediaTime() = default;
    constexpr MediaTime(int64_t v, int32_t scale)
        : value(v), timeScale(scale), flags(scale > 0 ? static_cast<uint32_t>(Valid) : 0u) {}

    static constexpr MediaTime invalid() { return MediaTime(); }
    static constexpr MediaTime zero() { return MediaTime(0, 1); }
    static constexpr MediaTime positiveInfinity() { return special(Valid | PositiveInfinity); }
    static constexpr MediaTime negativeInfinity() { return special(Valid | NegativeInfinity); }
    static constexpr MediaTime indefinite() { return special(Valid | Indefinite); }

    // The nearest time at `scale` to `seconds` (halves round away from zero).
    // NaN gives an invalid time, infinities the infinite times; a value too
    // large for `scale` lowers the scale rather than overflow.
    static MediaTime fromSeconds(double seconds, int32_t scale);

    constexpr bool isValid() const { return (flags & Valid) != 0; }
    constexpr bool isNumeric() const {
        return isValid() && !(flags & (PositiveInfinity | NegativeInfinity | Indefinite));
    }
    constexpr bool isPositiveInfinity() const { return isValid() && (flags & PositiveInfinity); }
    constexpr bool isNegativeInfinity() const { return isValid() && (flags & NegativeInfinity); }
    constexpr bool isIndefinite() const { return isValid() && (flags & Indefinite); }
    constexpr bool hasBeenRounded() const { return (flags & HasBeenRounded) != 0; }

    // Seconds as a double; NaN for invalid or indefinite times, +-inf for the infinities.
    double seconds() const;
    // The same time at another scale, rounded to nearest.
    MediaTime convertScale(int32_t scale) const;

    // Total order: -inf < numeric < +inf < indefinite < invalid. Two numeric
    // times compare by their exact rational value; all invalid times are equal.
    friend std::strong_ordering operator<=>(const MediaTime& a, const MediaTime& b);
    friend bool operator==(const MediaTime& a, const MediaTime& b) {
        return (a <=> b) == std::strong_ordering::equal;
    }

    friend MediaTime operator+(const MediaTime& a, const MediaTime& b);
    friend MediaTime operator-(const MediaTime& a, const MediaTime& b);
    MediaTime& operator+=(const MediaTime& b) { return *this = *this + b; }
    MediaTime& operator-=(const MediaTime& b) { return *this = *this - b; }
    // Multiplies by a factor, keeping the time scale (rounded to nearest).
    MediaTime multipliedBy(double factor) const;
    MediaTime operator-() const;

private:
    static constexpr MediaTime special(uint32_t f) {
        MediaTime t;
        t.flags = f;
        return t;
    }
};

inline MediaTime minTime(const MediaTime& a, const MediaTime& b) { return b < a ? b : a; }
inline MediaTime maxTime(const MediaTime& a, const MediaTime& b) { return b > a ? b : a; }

// A range of media time: start and duration.
struct MediaTimeRange {
    MediaTime start;
    MediaTime duration;

    constexpr MediaTimeRange() = default;
    constexpr MediaTimeRange(MediaTime s, MediaTime d) : start(s), duration(d) {}
    static MediaTimeRange fromStartEnd(const MediaTime& start, const MediaTime& end);
    static constexpr MediaTimeRange invalid() { return {}; }
    static constexpr MediaTimeRange zero() { return {MediaTime::zero(), MediaTime::zero()}; }

    bool isValid() const;
    bool isEmpty() const { return isValid() && duration == MediaTime::zero(); }
    MediaTime end() const { return start + duration; }

    // Start inclusive, end exclusive.
    bool containsTime(const MediaTime& t) const;
    bool containsRange(const MediaTimeRange& other) const;
    // The common part; an empty range at the later start when they do not meet.
    MediaTimeRange intersection(const MediaTimeRange& other) const;
    // The smallest range holding both.
    MediaTimeRange unionWith(const MediaTimeRange& other) const;

    friend bool operator==(const MediaTimeRange& a, const MediaTimeRange& b) {
        return a.start == b.start && a.duration == b.duration;
    }
};
