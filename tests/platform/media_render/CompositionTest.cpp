#include "Sources.h"

#include "platform/media/Composition.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

MediaTime sec(double s) { return MediaTime::fromSeconds(s, 1000); }
MediaTimeRange range(double start, double dur) { return MediaTimeRange(sec(start), sec(dur)); }

struct Expected {
    double targetStart, targetDuration;
    char source;  // 'A', 'B', or '-' for silence
    double sourceStart, sourceDuration;
};

struct EditCase {
    const char* name;
    std::function<void(CompositionTrack&, const std::shared_ptr<AssetTrack>& a,
                       const std::shared_ptr<AssetTrack>& b)> edit;
    std::vector<Expected> segments;
};

class CompositionEdits : public ::testing::TestWithParam<EditCase> {};

TEST_P(CompositionEdits, GiveTheExpectedEditList) {
    auto a = gen::track({gen::ramp(20000)}, 1000, 1);
    auto b = gen::track({gen::ramp(20000, 2)}, 1000, 2);
    Composition comp;
    CompositionTrack* track = comp.addMutableTrack(MediaType::Audio);
    GetParam().edit(*track, a, b);
    const auto& segs = track->segments();
    ASSERT_EQ(segs.size(), GetParam().segments.size());
    MediaTime expectedStart = MediaTime::zero();
    for (size_t i = 0; i < segs.size(); ++i) {
        const Expected& e = GetParam().segments[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(segs[i].targetRange, range(e.targetStart, e.targetDuration));
        EXPECT_EQ(segs[i].targetRange.start, expectedStart) << "segments follow each other";
        expectedStart = segs[i].targetRange.end();
        if (e.source == '-') {
            EXPECT_TRUE(segs[i].isEmpty());
            EXPECT_EQ(segs[i].sourceRange.duration, segs[i].targetRange.duration);
        } else {
            EXPECT_EQ(segs[i].sourceTrack, e.source == 'A' ? a : b);
            EXPECT_EQ(segs[i].sourceRange, range(e.sourceStart, e.sourceDuration));
        }
    }
    EXPECT_EQ(comp.duration(), expectedStart);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompositionEdits,
    ::testing::Values(
        EditCase{"InsertIntoEmpty",
                 [](auto& t, auto& a, auto&) { t.insertTimeRange(range(2, 10), a, sec(0)); },
                 {{0, 10, 'A', 2, 10}}},
        EditCase{"InsertShiftsLaterContent",
                 [](auto& t, auto& a, auto& b) {
                     t.insertTimeRange(range(0, 10), a, sec(0));
                     t.insertTimeRange(range(0, 5), b, sec(4));
                 },
                 {{0, 4, 'A', 0, 4}, {4, 5, 'B', 0, 5}, {9, 6, 'A', 4, 6}}},
        EditCase{"InsertPastTheEndLeavesSilence",
                 [](auto& t, auto& a, auto&) { t.insertTimeRange(range(0, 5), a, sec(8)); },
                 {{0, 8, '-', 0, 8}, {8, 5, 'A', 0, 5}}},
        EditCase{"RemoveClosesTheGap",
                 [](auto& t, auto& a, auto&) {
                     t.insertTimeRange(range(0, 10), a, sec(0));
                     t.removeTimeRange(range(2, 3));
                 },
                 {{0, 2, 'A', 0, 2}, {2, 5, 'A', 5, 5}}},
        EditCase{"RemoveAcrossSegments",
                 [](auto& t, auto& a, auto& b) {
                     t.insertTimeRange(range(0, 4), a, sec(0));
                     t.insertTimeRange(range(0, 4), b, sec(4));
                     t.removeTimeRange(range(3, 2));
                 },
                 {{0, 3, 'A', 0, 3}, {3, 3, 'B', 1, 3}}},
        EditCase{"EmptyInsertShifts",
                 [](auto& t, auto& a, auto&) {
                     t.insertTimeRange(range(0, 10), a, sec(0));
                     t.insertEmptyTimeRange(range(3, 2));
                 },
                 {{0, 3, 'A', 0, 3}, {3, 2, '-', 0, 2}, {5, 7, 'A', 3, 7}}},
        EditCase{"ScaledRangeDoubles",
                 [](auto& t, auto& a, auto&) {
                     t.insertTimeRange(range(0, 10), a, sec(0));
                     t.scaleTimeRange(range(0, 10), sec(20));
                 },
                 {{0, 20, 'A', 0, 10}}},
        EditCase{"ScalePartOfATrack",
                 [](auto& t, auto& a, auto&) {
                     t.insertTimeRange(range(0, 10), a, sec(0));
                     t.scaleTimeRange(range(2, 2), sec(4));
                 },
                 {{0, 2, 'A', 0, 2}, {2, 4, 'A', 2, 2}, {6, 6, 'A', 4, 6}}},
        EditCase{"InsertFromAScaledCompositionTrack",
                 [](auto& t, auto& a, auto&) {
                     Composition scratch;
                     CompositionTrack* s = scratch.addMutableTrack(MediaType::Audio);
                     s->insertTimeRange(range(0, 10), a, sec(0));
                     s->scaleTimeRange(range(0, 10), sec(20));
                     t.insertTimeRange(range(5, 10), *s, sec(1));
                 },
                 {{0, 1, '-', 0, 1}, {1, 10, 'A', 2.5, 5}}},
        EditCase{"InsertARangeOfItself",
                 [](auto& t, auto& a, auto&) {
                     t.insertTimeRange(range(0, 4), a, sec(0));
                     t.insertTimeRange(range(0, 4), t, sec(4));
                 },
                 {{0, 4, 'A', 0, 4}, {4, 4, 'A', 0, 4}}},
        EditCase{"RangeBeyondTheSourceIsCut",
                 [](auto& t, auto& a, auto&) { t.insertTimeRange(range(15, 10), a, sec(0)); },
                 {{0, 5, 'A', 15, 5}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Composition, RefusesInvalidInsertions) {
    auto a = gen::track({gen::ramp(1000)}, 1000);
    Composition comp;
    CompositionTrack* track = comp.addMutableTrack(MediaType::Audio);
    QString error;
    EXPECT_FALSE(track->insertTimeRange(range(5, 1), a, sec(0), &error));  // outside the 1 s source
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(track->insertTimeRange(MediaTimeRange::invalid(), a, sec(0)));
    EXPECT_FALSE(track->insertTimeRange(range(0, 1), a, MediaTime::invalid()));
    EXPECT_FALSE(track->insertTimeRange(range(0, 1), nullptr, sec(0)));
    CompositionTrack* video = comp.addMutableTrack(MediaType::Video);
    EXPECT_FALSE(video->insertTimeRange(range(0, 1), a, sec(0)));
    EXPECT_TRUE(track->segments().empty());
}

TEST(Composition, TrackIdentifiersArePersistent) {
    Composition comp;
    CompositionTrack* t1 = comp.addMutableTrack(MediaType::Audio);
    CompositionTrack* t2 = comp.addMutableTrack(MediaType::Audio, 0);
    EXPECT_EQ(t1->trackID(), 1);
    EXPECT_EQ(t2->trackID(), 2);
    CompositionTrack* t7 = comp.addMutableTrack(MediaType::Audio, 7);
    EXPECT_EQ(t7->trackID(), 7);
    EXPECT_EQ(comp.addMutableTrack(MediaType::Audio, 7)->trackID(), 8) << "a taken identifier is not reused";
    comp.removeTrack(comp.trackWithTrackID(8));
    EXPECT_EQ(comp.trackWithTrackID(8), nullptr);
    EXPECT_EQ(comp.addMutableTrack(MediaType::Audio)->trackID(), 9) << "nor is a removed one";
    EXPECT_EQ(comp.trackWithTrackID(2), t2);
    EXPECT_EQ(comp.trackCount(), 4);
}

TEST(Composition, CopiesAreIndependent) {
    auto a = gen::track({gen::ramp(20000)}, 1000);
    Composition comp;
    comp.addMutableTrack(MediaType::Audio)->insertTimeRange(range(0, 10), a, sec(0));
    auto copy = comp.copy();
    copy->trackWithTrackID(1)->removeTimeRange(range(0, 5));
    copy->addMutableTrack(MediaType::Audio);
    EXPECT_EQ(comp.duration(), sec(10));
    EXPECT_EQ(comp.trackCount(), 1);
    EXPECT_EQ(copy->duration(), sec(5));
    comp.trackWithTrackID(1)->insertEmptyTimeRange(range(0, 1));
    EXPECT_EQ(copy->duration(), sec(5));
    EXPECT_EQ(comp.addMutableTrack(MediaType::Audio)->trackID(), 2);
    EXPECT_EQ(copy->trackWithTrackID(2)->segments().size(), 0u);
}

TEST(Composition, WholeCompositionInsertFillsTracksOfTheSameType) {
    auto a = gen::track({gen::ramp(20000)}, 1000);
    Composition source;
    source.addMutableTrack(MediaType::Audio)->insertTimeRange(range(0, 10), a, sec(0));
    Composition target;
    ASSERT_TRUE(target.insertTimeRange(range(2, 4), source, sec(1)));
    ASSERT_EQ(target.trackCount(), 1);
    ASSERT_EQ(target.tracks()[0]->segments().size(), 2u);
    EXPECT_EQ(target.tracks()[0]->segments()[1].sourceRange, range(2, 4));
    EXPECT_EQ(target.duration(), sec(5));
}

}  // namespace
