// The track area's side of the lanes' gestures: moving a track in time and
// dragging a time selection or pasted range onto a track.

#include "views/AudioView.h"

#include "views/AudioDrawingView.h"

#include <QMouseEvent>

void AudioView::laneMouseDown(AudioDrawingView&, QMouseEvent*) {}

void AudioView::laneMouseDragged(AudioDrawingView&, QMouseEvent*) {}

void AudioView::laneMouseUp(AudioDrawingView&, QMouseEvent*) {}

void AudioView::autoscroll(QMouseEvent*) {}
