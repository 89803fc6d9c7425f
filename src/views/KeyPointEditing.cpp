// Editing the key points of the curve a lane shows: adding, moving and
// deleting them with the mouse.

#include "views/AudioDrawingView.h"

#include <QMouseEvent>

void AudioDrawingView::resetKeyPointGesture() {}

bool AudioDrawingView::keyPointMouseDown(QMouseEvent*, const QPointF&) { return false; }

void AudioDrawingView::keyPointMouseDragged(QMouseEvent*, const QPointF&) {}

void AudioDrawingView::keyPointDeletionUp(QMouseEvent*, const QPointF&) {}

void AudioDrawingView::keyPointMoveUp(QMouseEvent*, const QPointF&) {}
