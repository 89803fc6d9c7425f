// The arithmetic of whole-track pastes and re-trims, on its own.
#include "editing/TrackPasteboard.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace trackpaste;

// A copy of a lane at x 100, 400 wide, whose region is its middle half.
TrackPasteboardInfo copiedAt(double compositionSeconds, double zoom) {
    TrackPasteboardInfo info;
    info.audioPasteboardCompositionDuration = MediaTime::fromSeconds(compositionSeconds, 44100);
    info.audioPasteboardAudioViewFrame = QRectF(0, 0, zoom, 0);
    info.audioPasteboardDrawingViewFrame = QRectF(100, 40, 400, 40);
    info.audioPasteboardOriginPercent = 0.25;
    info.audioPasteboardDurationPercent = 0.5;
    return info;
}

TEST(TrackPasteboardTest, APastedLaneFollowsTheZoomAndTheCompositionLength) {
    struct Case {
        const char* name;
        double copiedSeconds, copiedZoom, seconds, zoom, areaWidth;
        double x, width, origin, duration;
    };
    const Case cases[] = {
        {"same zoom and length", 600, 1, 600, 1, 10000, 100, 400, 0.25, 0.5},
        {"zoom 1 then 2 doubles x and width", 600, 1, 600, 2, 10000, 200, 800, 0.25, 0.5},
        {"600 s then 300 s doubles the width only", 600, 1, 300, 1, 10000, 100, 800, 0.25, 0.5},
        // The region would end at 400: it is cut at the area's edge, 350,
        // by shortening the duration, not by moving the origin.
        {"an overflow shortens the duration", 600, 1, 600, 1, 350, 100, 400, 0.25, 0.375},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const auto lane = pastedLane(copiedAt(k.copiedSeconds, k.copiedZoom), k.seconds, k.zoom, k.areaWidth);
        ASSERT_TRUE(lane);
        EXPECT_DOUBLE_EQ(lane->x, k.x);
        EXPECT_DOUBLE_EQ(lane->width, k.width);
        EXPECT_DOUBLE_EQ(lane->fractions.origin, k.origin);
        EXPECT_DOUBLE_EQ(lane->fractions.duration, k.duration);
    }
}

TEST(TrackPasteboardTest, APasteWithNothingLeftInsideTheAreaPlacesNoLane) {
    // The region starts at 200: an area ending there, or before, holds none of it.
    EXPECT_FALSE(pastedLane(copiedAt(600, 1), 600, 1, 200));
    EXPECT_FALSE(pastedLane(copiedAt(600, 1), 600, 1, 150));
    EXPECT_TRUE(pastedLane(copiedAt(600, 1), 600, 1, 201));
    // No geometry to scale from.
    EXPECT_FALSE(pastedLane(copiedAt(600, 0), 600, 1, 10000));
    EXPECT_FALSE(pastedLane(copiedAt(0, 1), 600, 1, 10000));
    EXPECT_FALSE(pastedLane(copiedAt(600, 1), 0, 1, 10000));
}

TEST(TrackPasteboardTest, ARetrimmedRangeLastsASecondWithinTheSource) {
    struct Case {
        const char* name;
        double origin, duration, D, A, start, length;
    };
    const Case cases[] = {
        {"the region as it is", 0.25, 0.5, 20, 20, 5, 10},
        {"a short region lasts a second", 0.25, 0.01, 20, 20, 5, 1},
        {"a second before the end at the latest", 0.99, 0.01, 20, 20, 19, 1},
        {"a shorter current version cuts the length", 0.25, 0.5, 20, 8, 5, 3},
        {"a source under a second starts at 0", 0.6, 0.4, 0.5, 0.5, 0, 0.5},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const trims::SourceRange r = trims::retrimmedSourceRange(k.origin, k.duration, k.D, k.A);
        EXPECT_DOUBLE_EQ(r.start, k.start);
        EXPECT_DOUBLE_EQ(r.length, k.length);
    }
}

TEST(TrackPasteboardTest, TheOutsidePartsNeedSourceAndRoom) {
    struct Case {
        bool startsAfterZero, endsBeforeEnd;
        double origin, duration;
        OutsideParts parts;
    };
    const Case cases[] = {
        {true, true, 0.25, 0.5, OutsideParts::Both},   {true, true, 0.25, 0.75, OutsideParts::Before},
        {false, true, 0.25, 0.5, OutsideParts::After}, {true, false, 0.25, 0.5, OutsideParts::Before},
        {true, true, 0, 0.5, OutsideParts::After},     {true, true, 0, 1, OutsideParts::None},
        {false, false, 0.25, 0.5, OutsideParts::None},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.origin) + " " + std::to_string(k.duration));
        EXPECT_EQ(outsidePartsOf(k.startsAfterZero, k.endsBeforeEnd, k.origin, k.duration), k.parts);
    }
}

TEST(TrackPasteboardTest, KeptPartsStayWhereTheyLieOnTheLane) {
    // 1000 points for 100 s; a 40 s source 400 points wide from x −100 (−10 s).
    LaneFrame f{.laneX = -100, .laneWidth = 400, .areaWidth = 1000, .compositionSeconds = 100, .audioSeconds = 40};
    // Before a region starting at 10 s: from the composition's start, with
    // the hidden quarter of the lane skipped.
    KeptPart before = partBefore(f, 10);
    EXPECT_DOUBLE_EQ(before.start, 0);
    EXPECT_DOUBLE_EQ(before.end, 10);
    EXPECT_DOUBLE_EQ(before.fractions.origin, 0.25);
    EXPECT_DOUBLE_EQ(before.fractions.duration, 0.25);
    // After a region ending at 20 s (fractions 0.25 and 0.5): to the lane's end at 30 s.
    KeptPart after = partAfter(f, 20, 0.25, 0.5);
    EXPECT_DOUBLE_EQ(after.start, 20);
    EXPECT_DOUBLE_EQ(after.end, 30);
    EXPECT_DOUBLE_EQ(after.fractions.origin, 0.75);
    EXPECT_DOUBLE_EQ(after.fractions.duration, 0.25);
    // At twice the speed the lane stands for 20 s, and the same span is
    // twice the fraction of it.
    f.speed = 2;
    EXPECT_DOUBLE_EQ(partBefore(f, 5).fractions.duration, 0.25);
    // A lane reaching past the composition's end stops at it.
    f = LaneFrame{.laneX = 900, .laneWidth = 400, .areaWidth = 1000, .compositionSeconds = 100, .audioSeconds = 40};
    EXPECT_DOUBLE_EQ(partAfter(f, 95, 0.25, 0.25).end, 100);
}

}  // namespace
