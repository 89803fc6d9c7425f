#include "platform/core/MediaTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct CompareCase {
    MediaTime a, b;
    int expected;  // -1, 0, 1
};

TEST(MediaTime, ComparesExactlyAcrossScales) {
    const CompareCase cases[] = {
        {MediaTime(1, 2), MediaTime(22050, 44100), 0},
        {MediaTime(1, 3), MediaTime(333333333, 1000000000), 1},
        {MediaTime(44100, 44100), MediaTime(48000, 48000), 0},
        {MediaTime(44099, 44100), MediaTime(47999, 48000), -1},  // 1/44100 > 1/48000
        {MediaTime(std::numeric_limits<int64_t>::max(), 1), MediaTime(std::numeric_limits<int64_t>::max(), 2), 1},
        {MediaTime(-5, 10), MediaTime(1, 2), -1},
        {MediaTime::negativeInfinity(), MediaTime(std::numeric_limits<int64_t>::min(), 1), -1},
        {MediaTime::positiveInfinity(), MediaTime(std::numeric_limits<int64_t>::max(), 1), 1},
        {MediaTime::indefinite(), MediaTime::positiveInfinity(), 1},
        // An invalid time is later than every valid one.
        {MediaTime::invalid(), MediaTime::negativeInfinity(), 1},
        {MediaTime::invalid(), MediaTime(std::numeric_limits<int64_t>::max(), 1), 1},
        {MediaTime::invalid(), MediaTime::positiveInfinity(), 1},
        {MediaTime::invalid(), MediaTime::indefinite(), 1},
        {MediaTime(0, 1), MediaTime::invalid(), -1},
        {MediaTime::invalid(), MediaTime(), 0},
        {MediaTime::positiveInfinity(), MediaTime::positiveInfinity(), 0},
    };
    for (const auto& c : cases) {
        auto r = c.a <=> c.b;
        int got = r < 0 ? -1 : (r > 0 ? 1 : 0);
        EXPECT_EQ(got, c.expected) << c.a.value << "/" << c.a.timeScale << " vs " << c.b.value
                                   << "/" << c.b.timeScale;
    }
}

struct ArithCase {
    const char* what;
    MediaTime result;
    double seconds;
    int32_t scale;  // 0: not checked
};

TEST(MediaTime, Arithmetic) {
    const ArithCase cases[] = {
        {"same scale add", MediaTime(3, 10) + MediaTime(4, 10), 0.7, 10},
        {"lcm add is exact", MediaTime(1, 44100) + MediaTime(1, 48000), 1.0 / 44100 + 1.0 / 48000, 7056000},
        {"subtract", MediaTime(1, 1) - MediaTime(1, 4), 0.75, 4},
        {"negative result", MediaTime(1, 4) - MediaTime(1, 1), -0.75, 4},
        {"multiply keeps scale", MediaTime(441, 44100).multipliedBy(2.5), 1103.0 / 44100, 44100},
        {"multiply by zero", MediaTime(441, 44100).multipliedBy(0), 0.0, 44100},
        {"min", minTime(MediaTime(1, 3), MediaTime(1, 4)), 0.25, 4},
        {"max", maxTime(MediaTime(1, 3), MediaTime(1, 4)), 1.0 / 3, 3},
        {"min of invalid and valid", minTime(MediaTime::invalid(), MediaTime(1, 4)), 0.25, 4},
        {"min of valid and invalid", minTime(MediaTime(1, 4), MediaTime::invalid()), 0.25, 4},
        {"from seconds rounds to nearest", MediaTime::fromSeconds(0.0000114, 44100), 1.0 / 44100, 44100},
        {"from seconds negative", MediaTime::fromSeconds(-2.5, 600), -2.5, 600},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.result.isNumeric()) << c.what;
        EXPECT_NEAR(c.result.seconds(), c.seconds, 1e-12) << c.what;
        if (c.scale) {
            EXPECT_EQ(c.result.timeScale, c.scale) << c.what;
        }
    }
}

TEST(MediaTime, SpecialValuesPropagate) {
    EXPECT_TRUE((MediaTime::positiveInfinity() + MediaTime(5, 1)).isPositiveInfinity());
    EXPECT_FALSE((MediaTime::positiveInfinity() + MediaTime::negativeInfinity()).isValid());
    EXPECT_FALSE((MediaTime::invalid() + MediaTime(5, 1)).isValid());
    EXPECT_FALSE(maxTime(MediaTime(5, 1), MediaTime::invalid()).isValid());
    EXPECT_TRUE((MediaTime::indefinite() - MediaTime(5, 1)).isIndefinite());
    EXPECT_TRUE(MediaTime::fromSeconds(INFINITY, 600).isPositiveInfinity());
    EXPECT_FALSE(MediaTime::fromSeconds(NAN, 600).isValid());
    EXPECT_TRUE(std::isnan(MediaTime::invalid().seconds()));
    EXPECT_TRUE(MediaTime(1, 1).multipliedBy(-INFINITY).isNegativeInfinity());
}

TEST(MediaTime, OverflowNeverWraps) {
    MediaTime big(std::numeric_limits<int64_t>::max() - 1, 1);
    MediaTime sum = big + big;
    EXPECT_TRUE(sum.isPositiveInfinity() || sum > big);
    // Co-prime large scales do not fit an exact common scale: the result is
    // rounded but close.
    MediaTime a(1, 2147483647), b(1, 2147483629);
    MediaTime s = a + b;
    ASSERT_TRUE(s.isNumeric());
    EXPECT_TRUE(s.hasBeenRounded());
    EXPECT_NEAR(s.seconds(), 1.0 / 2147483647 + 1.0 / 2147483629, 1.0 / 2147483647);
    // Seconds too large for the scale lower the scale.
    MediaTime huge = MediaTime::fromSeconds(1e15, 1000000000);
    ASSERT_TRUE(huge.isNumeric());
    EXPECT_NEAR(huge.seconds(), 1e15, 1.0);
}

TEST(MediaTimeRange, ContainmentAndIntersection) {
    MediaTimeRange r(MediaTime(10, 1), MediaTime(5, 1));  // [10, 15)
    EXPECT_TRUE(r.containsTime(MediaTime(10, 1)));
    EXPECT_TRUE(r.containsTime(MediaTime(29, 2)));
    EXPECT_FALSE(r.containsTime(MediaTime(15, 1)));
    EXPECT_TRUE(r.containsRange(MediaTimeRange(MediaTime(11, 1), MediaTime(4, 1))));
    EXPECT_FALSE(r.containsRange(MediaTimeRange(MediaTime(11, 1), MediaTime(5, 1))));

    auto i = r.intersection(MediaTimeRange(MediaTime(12, 1), MediaTime(10, 1)));
    EXPECT_EQ(i, MediaTimeRange(MediaTime(12, 1), MediaTime(3, 1)));
    auto none = r.intersection(MediaTimeRange(MediaTime(20, 1), MediaTime(1, 1)));
    EXPECT_TRUE(none.isEmpty());
    auto u = r.unionWith(MediaTimeRange(MediaTime(20, 1), MediaTime(1, 1)));
    EXPECT_EQ(u, MediaTimeRange::fromStartEnd(MediaTime(10, 1), MediaTime(21, 1)));
    EXPECT_FALSE(MediaTimeRange(MediaTime(1, 1), MediaTime(-1, 1)).isValid());
}

}  // namespace
