// Trimming a track at either edge of its lane's region, and handing a move
// of the whole track to the track area.

#include "views/AudioDrawingView.h"

#include "views/AudioView.h"

#include <QMouseEvent>

void AudioDrawingView::trimOrMovePress(QMouseEvent*, const QPointF&) {}

void AudioDrawingView::trimDragged(QMouseEvent*, const QPointF&) {}

void AudioDrawingView::trimRelease(QMouseEvent*, const QPointF&, bool, bool) {}
