// The arithmetic of typed trims and placements, alone.
#include "editing/TrimArithmetic.h"

#include <gtest/gtest.h>

namespace {

using namespace trims;

TEST(TrimArithmetic, ARetrimmedRangeStaysInsideItsVersion) {
    const struct {
        const char* name;
        double origin, duration, version, available;
        SourceRange expected;
    } cases[] = {
        {"a region inside the source", 0.25, 0.5, 20, 20, {5, 10}},
        {"a sliver stretched to a second", 0.5, 0.01, 20, 20, {10, 1}},
        {"a start in the last second pulled back", 0.99, 0.01, 20, 20, {19, 1}},
        {"a length cut at the media's end", 0.5, 0.6, 20, 18, {10, 8}},
        // Under a second of source: from its beginning, never before it.
        {"a source of half a second", 0.4, 0.6, 0.5, 0.5, {0, 0.5}},
        {"an empty version", 0, 1, 0, 0, {0, 0}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const SourceRange r = retrimmedSourceRange(k.origin, k.duration, k.version, k.available);
        EXPECT_DOUBLE_EQ(r.start, k.expected.start);
        EXPECT_DOUBLE_EQ(r.length, k.expected.length);
    }
}

// A lane of 400 points (the whole source) at 100 in an area of 600, its
// region over [100, 300) of the lane.
constexpr LaneGeometry kLane{100, 400, 100, 200, 600};

// An edge moved to a fraction of the source, by a trim or by a placement:
// where the lane and its region end up.
TEST(TrimArithmetic, AnEdgeTrimmedOrPlacedMovesTheLaneAndItsRegion) {
    using Move = LanePlacement (*)(const LaneGeometry&, Edge, double);
    const struct {
        const char* name;
        Move move;
        Edge edge;
        double fraction;
        LanePlacement expected;
    } cases[] = {
        // A trim keeps the track's left edge where it is.
        {"a later start: the lane moves left under the edge", trimmedEdge, Start, 0.5, {0, 200, 100}},
        {"an earlier start: the end moves right", trimmedEdge, Start, 0.0, {200, 0, 300}},
        {"an earlier end", trimmedEdge, End, 0.5, {100, 100, 100}},
        {"a later end up to the source's end", trimmedEdge, End, 1.0, {100, 100, 300}},
        // A placement past an edge shortens or shifts the region.
        {"a start inside the area", placedEdge, Start, 0.25, {50, 100, 200}},
        {"a start that pushes the end past the area", placedEdge, Start, 0.75, {350, 100, 150}},
        {"an end inside the area", placedEdge, End, 0.5, {0, 100, 200}},
        // The region keeps its width and moves right inside the lane by
        // the overshoot, so the track starts at 0.
        {"an end before the region's length", placedEdge, End, 0.25, {-150, 150, 200}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const LanePlacement p = k.move(kLane, k.edge, k.fraction);
        EXPECT_DOUBLE_EQ(p.laneX, k.expected.laneX);
        EXPECT_DOUBLE_EQ(p.regionX, k.expected.regionX);
        EXPECT_DOUBLE_EQ(p.regionWidth, k.expected.regionWidth);
    }
}

// A trimmed edge stops at the track area's edge: here the area ends 150
// points after the region's start.
TEST(TrimArithmetic, ATrimmedEdgeStopsAtTheArea) {
    LaneGeometry narrow = kLane;
    narrow.areaWidth = 350;
    EXPECT_DOUBLE_EQ(trimmedEdge(narrow, Start, 0.0).regionWidth, 150);
    EXPECT_DOUBLE_EQ(trimmedEdge(narrow, End, 1.0).regionWidth, 150);
}

TEST(TrimArithmetic, EntriesAndFieldValues) {
    // The trim entries against a played range of [5, 15) in a 20 s source.
    EXPECT_TRUE(trimEntryAccepted(Start, 13.9, 5, 10, 20));
    EXPECT_FALSE(trimEntryAccepted(Start, 14, 5, 10, 20));
    EXPECT_TRUE(trimEntryAccepted(Start, -3, 5, 10, 20));  // clamped to the beginning later
    EXPECT_FALSE(trimEntryAccepted(End, 6, 5, 10, 20));
    EXPECT_TRUE(trimEntryAccepted(End, 20, 5, 10, 20));
    EXPECT_FALSE(trimEntryAccepted(End, 20.01, 5, 10, 20));
    EXPECT_FALSE(placementEntryAccepted(599, 600));
    EXPECT_TRUE(placementEntryAccepted(598, 600));

    EXPECT_DOUBLE_EQ(minutesSeconds(135.25).minutes, 2);
    EXPECT_DOUBLE_EQ(minutesSeconds(135.25).seconds, 15.25);
    EXPECT_DOUBLE_EQ(wholeMinutesSeconds(135.75).seconds, 15);

    // A track placed at 10 s playing from 4 s of its source at speed 2
    // reaches 12 s of its source at 14 s.
    EXPECT_DOUBLE_EQ(sourceTimeAt(14, 10, 4, 2), 12);
}

}  // namespace
