#include "engine/SliceGain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

using namespace slicegain;

namespace {

struct GainCase {
    const char* name;
    double t;
    LevelState state;
    std::optional<double> automated;
    std::optional<double> expected;  // before clamping; none = unchanged
    double applied;                  // what a sample of 1.0 becomes
};

TEST(SliceGain, LevelAndFadesTable) {
    const GainCase cases[] = {
        {"fade-in halfway", 11, {10, 60, 2, 0, 1}, {}, 0.5, 0.5},
        {"past the fade-in", 12.5, {10, 60, 2, 0, 1}, {}, std::nullopt, 1.0},
        {"fade-out at level 0.5", 58, {0, 60, 0, 4, 0.5}, {}, 0.25, 0.25},
        {"overlapping fades: fade-in wins", 3, {0, 8, 5, 6, 1}, {}, 0.6, 0.6},
        {"level below 1", 30, {0, 60, 0, 0, 0.7}, {}, 0.7, 0.7},
        {"full level, no fades", 30, {0, 60, 0, 0, 1}, {}, std::nullopt, 1.0},
        {"level above 1 outside fades", 30, {0, 60, 2, 2, 1.5}, {}, std::nullopt, 1.0},
        {"level above 1 inside a fade is clamped", 1.6, {0, 60, 2, 0, 1.5}, {}, 1.2, 1.0},
        {"automation over 1 is clamped", 30, {0, 60, 2, 2, 0.3}, 1.2, 1.2, 1.0},
        {"automation replaces fades and level", 1, {0, 60, 2, 0, 0.3}, 0.8, 0.8, 0.8},
        {"automation of 0 silences", 30, {0, 60, 0, 0, 1}, 0.0, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto g = levelGain(c.t, c.state, c.automated);
        ASSERT_EQ(g.has_value(), c.expected.has_value());
        if (g) EXPECT_NEAR(*g, *c.expected, 1e-12);
        float sample = 1.0f;
        if (g) applyGain(&sample, 1, *g);
        EXPECT_NEAR(sample, c.applied, 1e-6);
    }
}

TEST(SliceGain, BalanceTable) {
    struct Case {
        double b, left, right;
    } cases[] = {
        {0, 1, 1}, {1, 0, 1}, {-1, 1, 0}, {0.5, 0.5, 1}, {-0.5, 1, 0.5}, {2, 0, 1}, {-3, 1, 0},
        {NAN, 1, 1}, {INFINITY, 1, 1},  // no number: centred
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.b);
        auto g = balanceGains(c.b);
        EXPECT_DOUBLE_EQ(g.left, c.left);
        EXPECT_DOUBLE_EQ(g.right, c.right);
    }
}

TEST(SliceGain, SumsAreClampedBothWays) {
    float a[] = {0.8f, -0.8f, 0.2f}, b[] = {0.7f, -0.7f, -0.1f}, out[3];
    mixClamped(out, a, b, 3);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], -1.0f);
    EXPECT_FLOAT_EQ(out[2], 0.1f);
    accumulateClamped(a, b, 3);
    EXPECT_FLOAT_EQ(a[0], 1.0f);
    EXPECT_FLOAT_EQ(a[1], -1.0f);
}

// A value that is no number, from a curve, a setting or a unit, never
// reaches the sum: the gain silences, the sum takes it as 0.
TEST(SliceGain, NothingThatIsNoNumberPassesOn) {
    for (double gain : {double(NAN), -double(INFINITY)}) {
        float samples[] = {0.5f, -0.25f};
        applyGain(samples, 2, gain);
        EXPECT_EQ(samples[0], 0.0f) << gain;
        EXPECT_EQ(samples[1], 0.0f) << gain;
    }
    float samples[] = {0.5f};
    applyGain(samples, 1, INFINITY);
    EXPECT_EQ(samples[0], 0.5f) << "an infinite gain is clamped to 1";

    float a[] = {NAN, INFINITY, -INFINITY, 0.25f}, b[] = {0.1f, 0.1f, 0.1f, NAN}, out[4];
    mixClamped(out, a, b, 4);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], -1.0f);
    EXPECT_EQ(out[3], 0.0f);
    accumulateClamped(a, b, 4);
    for (float v : a) EXPECT_TRUE(std::isfinite(v));
}

TEST(SliceGain, RmsLevel) {
    std::vector<float> square(64);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i % 2) ? 0.5f : -0.5f;
    EXPECT_NEAR(rmsLevel(square.data(), square.size()), 0.5f, 1e-6);
    EXPECT_EQ(rmsLevel(square.data(), 0), 0.0f);
    EXPECT_EQ(rmsLevel(nullptr, 10), 0.0f);
}

}  // namespace
