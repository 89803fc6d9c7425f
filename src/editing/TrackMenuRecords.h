#pragma once

// The undo record of hiding a track's pasted-range marks.

#include "views/AudioDrawingView.h"

#include <QList>

#include <memory>

class MusicFilter;

// The marks to put back on the track's lane. The track is named by identity:
// a record whose track has left the list does nothing.
struct PastedRangesUndoRecord {
    std::weak_ptr<MusicFilter> track;
    QList<SelectionPasteRecord> marks;
};
