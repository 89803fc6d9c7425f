// A lane's selection as the editing commands read it: ordered, clamped to
// the lane and the region, typed by its ends, and turned into seconds of the
// track's audio counted from the lane's left edge.
#include "editing/TimeSelection.h"

#include "engine/MusicFilter.h"

#include <gtest/gtest.h>

namespace {

using namespace timeselection;

// A lane 1000 wide on a 60 s track whose region runs from x 100 to 700.
TEST(TimeSelectionTest, SelectionsAreOrderedClampedAndTyped) {
    struct Case {
        const char* name;
        double a, b;
        double start, end;
        uint64_t type;
    };
    const Case cases[] = {
        {"inside", 200, 300, 200, 300, InsideRegion},
        {"right to left", 300, 200, 200, 300, InsideRegion},
        {"from the region's start", 100, 300, 100, 300, StartsAtRegionStart},
        {"before the region", 20, 300, 100, 300, StartsAtRegionStart},
        {"before the lane", -50, 300, 100, 300, StartsAtRegionStart},
        {"to the region's end", 400, 700, 400, 700, EndsAtRegionEnd},
        {"past the region", 700.5, 400, 400, 700, EndsAtRegionEnd},
        {"past the lane", 400, 1200, 400, 700, EndsAtRegionEnd},
        {"the whole region", 0, 1000, 100, 700, StartsAtRegionStart},
        {"outside the region", 800, 900, 800, 700, EndsAtRegionEnd},
    };
    auto track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
    track->setDefaults();
    track->durationInSeconds = 60;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const LaneRange r = clampToRegion(k.a, k.b, 1000, 100, 700);
        EXPECT_EQ(r.start, k.start);
        EXPECT_EQ(r.end, k.end);
        EXPECT_EQ(r.type(), k.type);
        EXPECT_EQ(r.coversRegion(), k.start == 100 && k.end == 700);
        const SelectionClipboardRecord record = recordOf(track, r, 1000, 1.5);
        EXPECT_DOUBLE_EQ(record.start, k.start / 1000 * 60);
        EXPECT_DOUBLE_EQ(record.length, (k.end - k.start) / 1000 * 60);
        EXPECT_EQ(record.selectionType, k.type);
    }
    // Seconds are counted from the lane's left edge: the region's start is 6 s in.
    EXPECT_DOUBLE_EQ(recordOf(track, clampToRegion(100, 200, 1000, 100, 700), 1000, 1).start, 6.0);
}

TEST(TimeSelectionTest, TheRecordNamesTheSourceAsItIsAtCopyTime) {
    auto track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
    track->setDefaults();
    track->durationInSeconds = 20;
    track->setValue(EffectInput::Speed, 2.0f);
    track->indexOfUpdatedTrack = 3;
    track->indexOfUpdatedBitmap = 4;
    const SelectionClipboardRecord r = recordOf(track, clampToRegion(250, 500, 1000, 0, 1000), 1000, 1.25);
    EXPECT_EQ(r.audioFilter, track);
    EXPECT_EQ(r.indexOfUpdatedTrack, 3u);
    EXPECT_EQ(r.indexOfUpdatedBitmap, 4u);
    EXPECT_DOUBLE_EQ(r.length, 5.0);
    EXPECT_DOUBLE_EQ(r.start, 5.0);
    EXPECT_DOUBLE_EQ(r.inputSpeed, 2.0);
    EXPECT_DOUBLE_EQ(r.laneWidth, 1000);
    EXPECT_DOUBLE_EQ(r.durationInSeconds, 20);
    EXPECT_DOUBLE_EQ(r.zoomValue, 1.25);
    // The threshold is the single-precision 0.1: 0.1 as a double lies below it.
    EXPECT_LT(0.1, kMinimumEditLength);
    EXPECT_FALSE(0.10000000149011612 < kMinimumEditLength);
}

}  // namespace
