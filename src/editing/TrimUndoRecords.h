#pragma once

// The undo records of typed trims and placements. Each names its track by
// identity: a track above it may be removed or put back in between, which
// changes the track's index. A record whose track is gone restores nothing.

#include "app/TrackListRecords.h"

#include <memory>

class MusicFilter;

// A trim of one edge of the track's source range, and the lane geometry to
// go back to.
struct TrackTrimUndoRecord {
    unsigned audioUndoTrimType = 0;  // 0 the start edge, 1 the end edge
    std::weak_ptr<MusicFilter> track;
    TrackFrameUndoRecord audioUndoInfoDictionary;
};

// A placement of the track in the composition: its region's fractions and
// its lane's origin, with the track area's width they were measured in.
struct CompositionTrimUndoRecord {
    double audioUndoTrimStart = 0;           // origin fraction of the region
    double audioUndoTrimEnd = 1;             // width fraction of the region
    double audioUndoCompositionOrigin = 0;   // the lane's x
    double audioUndoCompositionWidth = 0;    // the track area's width then
    std::weak_ptr<MusicFilter> track;
};
