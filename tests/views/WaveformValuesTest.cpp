#include "views/WaveformValues.h"
#include "platform/media/DecodedSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Frame i of a channel holds `f(i)`.
template <typename F>
std::shared_ptr<DecodedSource> source(int64_t frames, double rate, int channels, F f) {
    std::vector<std::vector<float>> data(size_t(channels), std::vector<float>(size_t(frames), 0.0f));
    for (int c = 0; c < channels; ++c)
        for (int64_t i = 0; i < frames; ++i) data[size_t(c)][size_t(i)] = f(c, i);
    return DecodedSource::fromBuffers(std::move(data), rate);
}

TEST(WaveformValues, OneValuePerStepOfTheLengthInSeconds) {
    const struct {
        int64_t frames;
        double rate;
        int64_t step;
        qsizetype count;
    } cases[] = {
        {60 * 44100, 44100, 60, 44100},     // 60 s: one value per 60 frames
        {90 * 8000 + 4000, 8000, 90, 8045},  // 90.5 s: step 90, rounded down
        {100, 44100, 1, 100},                // under a second: every frame, not a step of 0
        {1, 48000, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        EXPECT_EQ(waveform::stepForFrames(c.frames, c.rate), c.step);
        auto s = source(c.frames, c.rate, 1, [](int, int64_t) { return 0.25f; });
        const QVector<float> v = waveform::valuesForSource(*s);
        EXPECT_EQ(v.size(), c.count);
        EXPECT_FLOAT_EQ(v.front(), 0.25f);
    }
    auto none = DecodedSource::fromBuffers({{}}, 44100);
    EXPECT_TRUE(waveform::valuesForSource(*none).isEmpty());
}

// The largest sample across channels, signed: the louder channel where it is
// larger, the least negative where all are negative; NaN is skipped.
TEST(WaveformValues, ChannelMaximumOverSampledFrames) {
    // Under two seconds long: every frame is sampled.
    auto s = source(4, 3, 2, [](int c, int64_t i) -> float {
        const float left[] = {0.2f, -0.7f, std::numeric_limits<float>::quiet_NaN(), -0.1f};
        const float right[] = {0.9f, -0.3f, 0.4f, 0.05f};
        return c == 0 ? left[size_t(i)] : right[size_t(i)];
    });
    const QVector<float> v = waveform::valuesForSource(*s);
    ASSERT_EQ(v.size(), 4);
    EXPECT_FLOAT_EQ(v[0], 0.9f);
    EXPECT_FLOAT_EQ(v[1], -0.3f);
    EXPECT_FLOAT_EQ(v[2], 0.4f);
    EXPECT_FLOAT_EQ(v[3], 0.05f);
    // No channel at all gives -1.
    auto empty = DecodedSource::fromBuffers({}, 10);
    EXPECT_TRUE(waveform::valuesForSource(*empty).isEmpty());
}

// An hour and more is taken in pieces of about an hour, the sampling grid
// starting again in each piece; frame counts beyond 32 bits are not cut.
TEST(WaveformValues, LongFilesAreSampledPieceByPiece) {
    // 7250 s at 10 Hz: step 7250, two pieces of 36250 frames, no remainder.
    const int64_t frames = 72500;
    auto s = source(frames, 10, 1, [](int, int64_t i) { return float(i); });
    const QVector<float> v = waveform::valuesForSource(*s);
    // Piece 0 samples 0..36249 every 7250 frames (5 values), piece 1 the same from 36250.
    ASSERT_EQ(v.size(), 10);
    for (int k = 0; k < 5; ++k) {
        EXPECT_FLOAT_EQ(v[k], float(k * 7250));
        EXPECT_FLOAT_EQ(v[5 + k], float(36250 + k * 7250));
    }
    // Exactly 3600 s: one piece of all frames.
    auto hour = source(36000, 10, 1, [](int, int64_t i) { return float(i); });
    const QVector<float> h = waveform::valuesForSource(*hour);
    ASSERT_EQ(h.size(), 10);
    EXPECT_FLOAT_EQ(h[9], 32400.0f);
    // A remainder after the pieces is sampled from its own start.
    auto odd = source(72503, 10, 1, [](int, int64_t i) { return float(i); });
    const QVector<float> o = waveform::valuesForSource(*odd);
    // 7250.3 s: step 7250, pieces of 36251 frames (6 values each), remainder 1.
    ASSERT_EQ(o.size(), 13);
    EXPECT_FLOAT_EQ(o[5], 36250.0f);
    EXPECT_FLOAT_EQ(o[6], 36251.0f);
    EXPECT_FLOAT_EQ(o[12], 72502.0f);
    EXPECT_EQ(waveform::stepForFrames(int64_t(5e9), 44100), int64_t(5e9 / 44100));
}

}  // namespace
