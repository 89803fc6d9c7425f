// The lane's own gestures: selecting its track, selecting notes, handing a
// selection or a pasted range to the track area, and selecting a time range.

#include "views/AudioDrawingView.h"

#include "views/AudioView.h"

#include <QMouseEvent>

void AudioDrawingView::selectLaneTrack() {}

void AudioDrawingView::noteSelectionPress(const QPointF&) {}

void AudioDrawingView::noteSelectionDrag(const QPointF&) {}

void AudioDrawingView::noteSelectionRelease() {}

void AudioDrawingView::handOffToTrackArea(QMouseEvent* event) {
    if (!audioView) return;
    audioView->mouseDownFromSubview = true;
    audioView->mouseDownIsPressingCTRL = true;
    beginGesture(GestureRouting::TrackArea);
    audioView->laneMouseDown(*this, event);
}

bool AudioDrawingView::pickSelectionPaste(const QPointF&) { return false; }

void AudioDrawingView::rangeSelectionPress(const QPointF&) {}

void AudioDrawingView::rangeSelectionDrag(QMouseEvent*, const QPointF&) {}

void AudioDrawingView::rangeSelectionRelease(const QPointF&) {}
