// A curve that drives a unit with latency away from its neutral value while
// the track plays on.
#include "app/TrackListFixture.h"

#include <cmath>

namespace {

using LatencyCurveTest = TrackListTest;

// The pitch unit sits out at the neutral value, but a curve leaving neutral
// must not bring it in clean: that costs its latency in silence, in the
// middle of the move.
TEST_F(LatencyCurveTest, APitchCurveLeavingNeutralLeavesNoGap) {
    auto track = append(writeTone(QStringLiteral("rising.wav"), 3.0, 440));
    ASSERT_TRUE(track);
    ASSERT_FALSE(renderedLeft().empty());  // the taps are prepared by a first render
    c->automation.recordedParameters[track->identifierOfFilter] = {
        {QStringLiteral("inputPitch"), {{0, 1}, {1.0, 1}, {2.0, 1200}}}};
    c->publishRecordedParametersForFilter(track.get());

    const std::vector<float> left = renderedLeft();
    ASSERT_GE(left.size(), size_t(2.9 * 44100));
    auto rms = [&](double from) {
        const size_t a = size_t(from * 44100), n = size_t(0.02 * 44100);
        double sum = 0;
        for (size_t i = a; i < a + n; ++i) sum += double(left[i]) * left[i];
        return std::sqrt(sum / double(n));
    };
    const double steady = rms(0.5);
    ASSERT_GT(steady, 0.01);
    for (double t = 0.3; t < 2.8; t += 0.02) EXPECT_GT(rms(t), 0.5 * steady) << "at " << t << " s";
    EXPECT_NEAR(testsupport::peakFrequency(left.data() + size_t(2.2 * 44100), 22050, 44100), 880, 20);
}

}  // namespace
