// The curve store alone: recording a point, finding the point that decides
// a time and the value there.
#include "automation/RecordedParameters.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

constexpr int32_t kFlag = KeyPoint::kRecordingBoundary;
const std::optional<int32_t> flagged{kFlag};
const std::optional<int32_t> none;

struct RecordCase {
    const char* name;
    KeyPointCurve before;
    double seconds;
    bool firstOfBurst;
    KeyPointCurve after;
};

TEST(RecordedParameters, RecordingAPoint) {
    const automation::SourceSpan span{2.0, 12.0};
    const RecordCase cases[] = {
        {"mid-track into an empty curve seeds both ends", {}, 5.0, true,
         {{2, 0.5, flagged}, {5, 0.5, flagged}, {12, 0.5, flagged}}},
        {"within 0.01 s of the start", {}, 2.005, true, {{2.005, 0.5, flagged}, {12, 0.5, flagged}}},
        {"within 0.01 s of the end", {}, 11.995, true, {{2, 0.5, flagged}, {11.995, 0.5, flagged}}},
        {"before the source records at its start", {}, 0.5, true, {{2, 0.5, flagged}, {12, 0.5, flagged}}},
        {"after the source records at its end", {}, 30, true, {{2, 0.5, flagged}, {12, 0.5, flagged}}},
        {"a later point of the burst has no flag", {{2, 0.1, flagged}, {12, 0.1, flagged}}, 7, false,
         {{2, 0.1, flagged}, {7, 0.5, none}, {12, 0.1, flagged}}},
        {"a point within 0.01 s is replaced and keeps its flag", {{2, 0.1, flagged}, {6, 0.1, flagged}, {12, 0.1, flagged}},
         6.008, false, {{2, 0.1, flagged}, {6.008, 0.5, flagged}, {12, 0.1, flagged}}},
        {"a replaced point without a flag gets none", {{2, 0.1, flagged}, {6, 0.1, none}, {12, 0.1, flagged}}, 5.995,
         true, {{2, 0.1, flagged}, {5.995, 0.5, none}, {12, 0.1, flagged}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        KeyPointCurve curve = k.before;
        automation::recordKeyPoint(curve, k.seconds, 0.5f, span, 44100, k.firstOfBurst);
        EXPECT_EQ(curve, k.after);
    }
}

TEST(RecordedParameters, ValueAtATime) {
    const KeyPointCurve pitch{{0, 0}, {10, 1200}};
    const KeyPointCurve equalTimes{{0, 1}, {4, 2}, {4, 3}, {8, 4}};
    const KeyPointCurve negative{{-3, 5}, {-1, 6}};
    struct Case {
        const char* name;
        const KeyPointCurve& curve;
        double seconds;
        CurveStyle style;
        std::optional<double> value;
    } cases[] = {
        {"linear half way", pitch, 5, CurveStyle::Linear, 600},
        {"step half way", pitch, 5, CurveStyle::Step, 0},
        {"linear after the last point", pitch, 20, CurveStyle::Linear, 1200},
        {"step after the last point", pitch, 20, CurveStyle::Step, 1200},
        {"before the first point", pitch, -0.5, CurveStyle::Step, std::nullopt},
        {"of equal times the later wins", equalTimes, 4, CurveStyle::Step, 3},
        {"linear from the later of equal times", equalTimes, 6, CurveStyle::Linear, 3.5},
        {"points all negative act as no curve", negative, 2, CurveStyle::Step, std::nullopt},
        {"an empty curve", KeyPointCurve{}, 1, CurveStyle::Linear, std::nullopt},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(automation::curveValueAt(k.curve, k.seconds, k.style), k.value);
        // Wherever the render's cursor stands, even past the end, the answer is the same.
        for (uint32_t cursor = 0; cursor <= k.curve.size() + 1; ++cursor) {
            uint32_t at = cursor;
            EXPECT_EQ(automation::curveValueAt(k.curve.data(), k.curve.size(), k.seconds, k.style, at), k.value)
                << "from cursor " << cursor;
        }
    }
}

TEST(RecordedParameters, ACursorFollowsTimeForwardAndBack) {
    KeyPointCurve curve;
    for (int i = 0; i < 200; ++i) curve.push_back({i * 0.05, double(i % 7), std::nullopt});
    uint32_t cursor = 0;
    // Forward in slices, then a jump back, then forward again.
    std::vector<double> times;
    for (double t = -0.1; t < 11; t += 0.0116) times.push_back(t);
    for (double t = 3; t < 4; t += 0.0116) times.push_back(t);
    for (double t : times)
        for (CurveStyle style : {CurveStyle::Step, CurveStyle::Linear})
            ASSERT_EQ(automation::curveValueAt(curve.data(), curve.size(), t, style, cursor),
                      automation::curveValueAt(curve, t, style))
                << t;
}

TEST(RecordedParameters, CopiesShareNothingAndAddKeyReplacesTheDestination) {
    RecordedParameters store;
    store["a"]["inputPitch"] = {{0, 1}};
    store["b"]["inputAudioMix"] = {{0, 0.2}};
    RecordedParameters copy = automation::copyRecordedDictionary(store);
    copy["a"]["inputPitch"].push_back({1, 2});
    EXPECT_EQ(store["a"]["inputPitch"].size(), 1u);

    automation::addKeyToRecordedDictionary(store, "a", "b");
    EXPECT_EQ(store["b"].size(), 1u);
    EXPECT_EQ(store["b"]["inputPitch"], (KeyPointCurve{{0, 1}}));
    automation::addKeyToRecordedDictionary(store, "missing", "b");
    EXPECT_EQ(store["b"].size(), 1u);
}

}  // namespace

namespace {

TEST(RecordedParameters, RemappingKeyPoints) {
    const std::optional<int32_t> one{KeyPoint::kRecordingBoundary}, two{KeyPoint::kPlacedWithMouse}, none;
    struct Case {
        const char* name;
        std::function<void(TrackCurves&)> remap;
        KeyPointCurve before, after;
    } cases[] = {
        {"shift by -10", [](TrackCurves& c) { automation::shiftKeyPoints(c, -10.0); },
         {{12, 0.5, none}, {20, 0.7, two}}, {{2, 0.5, none}, {10, 0.7, one}}},
        {"scale by 0.5", [](TrackCurves& c) { automation::scaleKeyPoints(c, 0.5); },
         {{4, 1, one}, {8, 0, none}}, {{2, 1, one}, {4, 0, none}}},
        {"a shift may go below zero", [](TrackCurves& c) { automation::shiftKeyPoints(c, -5.0); },
         {{1, 3, none}}, {{-4, 3, none}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        TrackCurves curves{{"inputPitch", k.before}};
        k.remap(curves);
        EXPECT_EQ(curves["inputPitch"], k.after);
    }
    // The last point of a burst: the first at exactly its time is marked.
    KeyPointCurve curve{{1, 2, none}, {3, 4, none}, {3, 5, none}};
    automation::markLastKeyPoint(curve, {3, 9, none});
    EXPECT_EQ(curve, (KeyPointCurve{{1, 2, none}, {3, 9, one}, {3, 5, none}}));
    automation::markLastKeyPoint(curve, {3.5, 1, none});
    EXPECT_EQ(curve, (KeyPointCurve{{1, 2, none}, {3, 9, one}, {3, 5, none}}));
}

}  // namespace
