#pragma once

// What the undo of a range edit inside a track puts back. The audio itself
// is not kept: the track keeps every audio version and picture, and the
// record names the ones that were current. Main thread.

#include "platform/core/MediaTime.h"
#include "views/AudioDrawingView.h"

#include <QList>
#include <QPainterPath>

#include <cstdint>
#include <memory>

class MusicFilter;

struct TimeRangeUndoRecord {
    std::shared_ptr<MusicFilter> audioFilter;
    MediaTimeRange currentTimeRange;
    QPainterPath drawingBezierPath;  // the lane's region
    MediaTime animationEnd;
    double durationInSeconds = 0;
    double laneWidth = 0;            // the lane's frame width
    int kind = 0;                    // 1 registered by an insertion, 0 by a removal
    uint64_t indexOfUpdatedBitmap = 0;
    uint64_t indexOfUpdatedTrack = 0;
    QList<SelectionPasteRecord> selectionPastes;
};
