#include "engine/TrackSpectrum.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(TrackSpectrum, PeakAtTheToneAndSilenceIsZero) {
    TrackSpectrum s(4096);
    ASSERT_TRUE(s.isValid());
    EXPECT_EQ(s.fftCount(), 2048u);
    const double rate = 44100, f = 1000;
    std::vector<float> left = testsupport::sine(f, rate, 4096, 1.0), right = left;
    const float* ch[] = {left.data(), right.data()};
    s.compute(ch, 2, 4096);
    int peak = 0;
    for (uint64_t i = 1; i < s.fftCount(); ++i)
        if (s.magnitudes()[i] > s.magnitudes()[peak]) peak = int(i);
    EXPECT_NEAR(peak * rate / 4096, f, rate / 4096);

    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    s.compute(ch, 2, 4096);
    for (uint64_t i = 0; i < s.fftCount(); ++i) ASSERT_EQ(s.magnitudes()[i], 0.0f);
}

TEST(TrackSpectrum, NoSetUpGivesNoSpectrum) {
    TrackSpectrum s(0);
    EXPECT_FALSE(s.isValid());
    s.compute(nullptr, 0, 0);  // nothing happens
}

TEST(EQSpectrum, PublishCopiesAndClearResets) {
    EQSpectrum eq;
    std::vector<float> m{1, 2, 3};
    ASSERT_TRUE(eq.publish(2.5, 48000, m.data(), 3, qRgb(255, 186, 38)));
    m[0] = 99;  // the view holds a copy
    auto f = eq.frame();
    EXPECT_EQ(f.fftCount, 3u);
    EXPECT_EQ(f.fftMagnitudes, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(f.fftSampleRate, 48000);
    EXPECT_EQ(f.fftViewTime, 2.5);
    eq.clear();
    EXPECT_EQ(eq.frame().fftCount, 0u);
    EXPECT_EQ(eq.fftViewTime(), 0.0);
}

}  // namespace
