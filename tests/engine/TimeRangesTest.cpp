#include "EngineTestSupport.h"

#include "support/Signals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cmath>

using namespace enginetest;

namespace {

constexpr int kRate = 44100;

// A 1 kHz tone whose amplitude tells the second of the source it comes
// from: 0.04 × (k + 1) during second k.
QString writeStaircase(const QString& name, int seconds) {
    const QString path = QDir(testsupport::tempDir()).filePath(name);
    testsupport::Signal staircase = testsupport::sine(1000, kRate, int64_t(seconds) * kRate, 1.0);
    for (size_t i = 0; i < staircase.size(); ++i) staircase[i] *= 0.04f * float(i / kRate + 1);
    testsupport::writeWav(path, {staircase, staircase}, kRate);
    return path;
}

MediaTime sec(double s) { return MediaTime::fromSeconds(s, kRate); }
MediaTimeRange range(double start, double duration) { return {sec(start), sec(duration)}; }

// The amplitude of the tone over [from, from + length) seconds.
double amplitude(const std::vector<float>& x, double from, double length) {
    const size_t a = size_t(from * kRate), n = size_t(length * kRate);
    return std::sqrt(2.0) * testsupport::rms(x, a, a + n);
}

// The source second a composition track plays at `t` (its segment's
// source position there), or -1 for silence.
double sourceAt(const CompositionTrack& track, double t) {
    const CompositionSegment* s = track.segmentForTrackTime(sec(t));
    if (!s || s->isEmpty()) return -1;
    const double into = (t - s->targetRange.start.seconds()) * s->sourceRange.duration.seconds() /
                        s->targetRange.duration.seconds();
    return s->sourceRange.start.seconds() + into;
}

class LengthController : public TestController {
public:
    MediaTime length = MediaTime::positiveInfinity();
    MediaTime compositionDuration() const override { return length; }
};

class TimeRanges : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        staircase = new std::shared_ptr<Asset>(loadAsset(writeStaircase("staircase.wav", 20)));
    }
    // A track of the 20 s staircase at `start` seconds and `speed`, in a 60 s composition.
    std::shared_ptr<MusicFilter> place(double start, float speed) {
        auto t = s.makeTrack(*staircase, start);
        t->setValue(EffectInput::Speed, speed);
        t->setAudioController(&controller);
        s.insert(*t, 60);
        return t;
    }
    const CompositionTrack& C(const MusicFilter& t) { return *s.composition->trackWithTrackID(t.trackID); }
    static std::shared_ptr<Asset>* staircase;
    Session s;
    LengthController controller;
};
std::shared_ptr<Asset>* TimeRanges::staircase = nullptr;

TEST_F(TimeRanges, RemovalAtSpeedTwoInTheCompositionTheVersionAndTheAudio) {
    auto t = place(10, 2);
    ASSERT_NEAR(C(*t).duration().seconds(), 20, 1e-3);
    const auto before = renderOffline(s.composition, s.mix);
    EXPECT_NEAR(amplitude(before.left, 13.05, 0.4), 0.28, 0.03);  // source 6 s

    // Lane start 3 s (source 6 s), source length 2 s.
    ASSERT_TRUE(t->removeTrackTimeRange(range(3, 2)));
    EXPECT_EQ(t->indexOfUpdatedTrack, 1u);
    ASSERT_EQ(t->tempFilterTracks.size(), 2u);
    // Composition: 13 s to 14 s is gone; what played at 14 s plays at 13 s.
    EXPECT_NEAR(C(*t).duration().seconds(), 19, 1e-3);
    EXPECT_NEAR(sourceAt(C(*t), 12.9), 5.8, 1e-3);
    EXPECT_NEAR(sourceAt(C(*t), 13.1), 8.2, 1e-3);
    // Source: 6 s to 8 s is gone from the new version; the old one is whole.
    const CompositionTrack& W = *t->tempFilterTracks[1];
    EXPECT_NEAR(W.duration().seconds(), 18, 1e-3);
    EXPECT_NEAR(sourceAt(W, 5.9), 5.9, 1e-3);
    EXPECT_NEAR(sourceAt(W, 6.1), 8.1, 1e-3);
    EXPECT_NEAR(t->tempFilterTracks[0]->duration().seconds(), 20, 1e-3);
    EXPECT_NEAR(t->audioDuration().seconds(), 18, 1e-3);

    const auto after = renderOffline(s.composition, s.mix);
    EXPECT_NEAR(amplitude(after.left, 12.2, 0.6), 0.20, 0.03);  // source 4.4 s to 5.6 s
    EXPECT_NEAR(amplitude(after.left, 13.05, 0.4), 0.36, 0.03);  // source 8.1 s to 8.9 s
    EXPECT_LT(amplitude(after.left, 19.2, 0.6), 0.01);            // the track ends 1 s earlier
}

TEST_F(TimeRanges, RemovalsAtTheVersionsEdges) {
    struct Case {
        const char* name;
        double start, length;
        double versionLength;
        std::vector<std::pair<double, double>> versionAt;  // (version time, source second)
    } cases[] = {
        {"from the start keeps what follows", 0, 5, 15, {{0.5, 5.5}, {14.5, 19.5}}},
        {"to the end keeps what precedes", 15, 5, 15, {{0.5, 0.5}, {14.5, 14.5}}},
        {"in the middle", 4, 2, 18, {{3.5, 3.5}, {4.5, 6.5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session session;
        auto t = session.makeTrack(*staircase, 0);
        session.insert(*t, 60);
        ASSERT_TRUE(t->removeTrackTimeRange(range(c.start, c.length)));
        const CompositionTrack& W = *t->tempFilterTracks[t->indexOfUpdatedTrack];
        EXPECT_NEAR(W.duration().seconds(), c.versionLength, 1e-3);
        for (auto [at, source] : c.versionAt) EXPECT_NEAR(sourceAt(W, at), source, 1e-3) << at;
        const CompositionTrack& track = *session.composition->trackWithTrackID(t->trackID);
        EXPECT_NEAR(track.duration().seconds(), c.versionLength, 1e-3);
    }
}

TEST_F(TimeRanges, SilenceAndPastesAreCutAtTheCompositionsLength) {
    auto t = place(0, 1);
    controller.length = sec(20);
    ASSERT_TRUE(t->addEmptyTrackTimeRange(range(5, 3)));
    EXPECT_EQ(C(*t).duration(), sec(20));
    EXPECT_EQ(sourceAt(C(*t), 6), -1);
    EXPECT_NEAR(sourceAt(C(*t), 8.5), 5.5, 1e-3);
    // The version keeps all of it.
    EXPECT_NEAR(t->audioDuration().seconds(), 23, 1e-3);

    auto f = place(30, 1);
    ASSERT_TRUE(t->addTrackTimeRange(range(2, 4), *f, 10.0, 0, 1.0, 1.0));
    EXPECT_EQ(C(*t).duration(), sec(20));
    EXPECT_NEAR(sourceAt(C(*t), 2.5), 10.5, 1e-3);
    EXPECT_NEAR(sourceAt(C(*t), 6.5), 2.5, 1e-3);
    EXPECT_NEAR(t->audioDuration().seconds(), 27, 1e-3);

    const auto out = renderOffline(s.composition, s.mix);
    EXPECT_NEAR(amplitude(out.left, 2.2, 0.6), 0.44, 0.02);  // pasted source 10 s
    EXPECT_NEAR(amplitude(out.left, 6.2, 0.6), 0.12, 0.02);  // own source 2 s
}

TEST_F(TimeRanges, PastesAtOtherSpeeds) {
    struct Case {
        const char* name;
        double fromSpeed, toSpeed;
        double versionGrowth, compositionGrowth;
    } cases[] = {
        // The piece keeps r.duration / fromSpeed of this track's source time
        // and plays for that divided by toSpeed.
        {"taken at speed 2 into speed 1", 2, 1, 2, 2},
        {"taken at speed 1 into speed 2", 1, 2, 4, 2},
        {"taken at speed 2 into speed 2", 2, 2, 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session session;
        LengthController lc;
        auto f = session.makeTrack(*staircase, 30);
        session.insert(*f, 60);
        auto t = session.makeTrack(*staircase, 0);
        t->setValue(EffectInput::Speed, float(c.toSpeed));
        t->setAudioController(&lc);
        session.insert(*t, 60);
        const double v0 = t->audioDuration().seconds();
        const double c0 = session.composition->trackWithTrackID(t->trackID)->duration().seconds();
        ASSERT_TRUE(t->addTrackTimeRange(range(1, 4), *f, 12.0, 0, c.fromSpeed, c.toSpeed));
        EXPECT_NEAR(t->audioDuration().seconds() - v0, c.versionGrowth, 2e-3);
        EXPECT_NEAR(session.composition->trackWithTrackID(t->trackID)->duration().seconds() - c0,
                    c.compositionGrowth, 2e-3);
    }
}

TEST_F(TimeRanges, UndoRebuildsFromTheRestoredVersion) {
    auto t = place(10, 2);
    const auto original = renderOffline(s.composition, s.mix);
    ASSERT_TRUE(t->removeTrackTimeRange(range(3, 2)));

    t->indexOfUpdatedTrack = 0;
    t->addUndoTrackTimeRange();
    EXPECT_NEAR(C(*t).duration().seconds(), 20, 1e-3);
    EXPECT_EQ(sourceAt(C(*t), 9.5), -1);
    EXPECT_NEAR(sourceAt(C(*t), 13.5), 7, 1e-3);
    const auto undone = renderOffline(s.composition, s.mix);
    for (double at : {10.5, 13.05, 16.0, 19.3})
        EXPECT_NEAR(amplitude(undone.left, at, 0.4), amplitude(original.left, at, 0.4), 0.02) << at;

    // Redo: both rebuilds are the same operation.
    t->indexOfUpdatedTrack = 1;
    t->removeUndoTrackTimeRange();
    EXPECT_NEAR(C(*t).duration().seconds(), 19, 1e-3);
    EXPECT_NEAR(sourceAt(C(*t), 13.1), 8.2, 1e-3);
}

TEST_F(TimeRanges, VersionsOnlyGrowSoRecordedIndexesKeepTheirAudio) {
    auto t = place(0, 1);
    ASSERT_TRUE(t->removeTrackTimeRange(range(0, 5)));
    const CompositionTrack* first = t->tempFilterTracks[1];
    // Undo, then a different edit.
    t->indexOfUpdatedTrack = 0;
    t->addUndoTrackTimeRange();
    ASSERT_TRUE(t->addEmptyTrackTimeRange(range(1, 1)));
    ASSERT_EQ(t->tempFilterTracks.size(), 3u);
    EXPECT_EQ(t->indexOfUpdatedTrack, 2u);
    EXPECT_EQ(t->tempFilterTracks[1], first);
    EXPECT_NEAR(t->tempFilterTracks[1]->duration().seconds(), 15, 1e-3);
    EXPECT_NEAR(t->tempFilterTracks[2]->duration().seconds(), 21, 1e-3);
}

TEST_F(TimeRanges, FailedEditsChangeNothingAndSaySo) {
    // No version yet: the track has never been in the composition.
    auto loose = s.makeTrack(*staircase, 0);
    EXPECT_FALSE(loose->removeTrackTimeRange(range(0, 1)));
    EXPECT_FALSE(loose->addEmptyTrackTimeRange(range(0, 1)));
    EXPECT_TRUE(loose->tempFilterTracks.empty());
    EXPECT_NEAR(loose->audioDuration().seconds(), 20, 1e-3);

    auto t = place(0, 1);
    auto f = place(30, 1);
    const MediaTime length = C(*t).duration();
    struct Case {
        const char* name;
        double from;
        uint64_t version;
    } cases[] = {
        {"a piece beyond the source's end", 30.0, 0},
        {"a version the source track does not have", 0.0, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(t->addTrackTimeRange(range(2, 4), *f, c.from, c.version, 1.0, 1.0));
        EXPECT_EQ(t->tempFilterTracks.size(), 1u);
        EXPECT_EQ(t->indexOfUpdatedTrack, 0u);
        EXPECT_EQ(C(*t).duration(), length);
    }
}

}  // namespace
