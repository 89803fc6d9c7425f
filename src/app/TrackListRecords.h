#pragma once

#include "platform/core/MediaTime.h"
#include "views/AudioView.h"

#include <cstdint>
#include <optional>
#include <vector>

// The undo records of the track list. A removed track's record (and its
// MusicFilter, with its views and settings) lives on in them.

// Removing a track and putting it back; the append of a track has no index.
struct TrackUndoRecord {
    TrackRecord audioUndoDictionary;
    std::optional<uint64_t> audioIndex;
};

// The composition length before the first track of an empty list.
struct CompositionDurationUndoRecord {
    std::optional<MediaTime> audioUndoCompositionDuration;
};

// One track's lane geometry before a change of the composition's length.
struct TrackFrameUndoRecord {
    double audioUndoFrameOrigin = 0;
    double audioUndoFrameWidth = 0;
    double audioUndoViewWidth = 1;  // the zoom when the record was made
    double audioUndoPercentOrigin = 0;
    double audioUndoPercentDuration = 1;
};

// A change of the composition's length: the length to restore and, when
// there were tracks, one lane geometry per track in list order.
struct CompositionDurationChangeUndoRecord {
    std::optional<MediaTime> audioUndoCompositionDuration;
    std::optional<std::vector<TrackFrameUndoRecord>> audioUndoInfoArray;
};

// The whole track list, taken away at once.
struct AllTracksUndoRecord {
    std::vector<TrackRecord> audioUndoInfoArray;
};
