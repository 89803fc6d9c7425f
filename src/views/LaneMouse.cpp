// The lane's mouse handlers: which gesture a press starts, in which order
// the drags and the release are tested, and where they are routed.

#include "views/AudioDrawingView.h"

#include "engine/AudioControllerServices.h"
#include "engine/MusicFilter.h"
#include "views/AudioView.h"

#include <QMouseEvent>

#include <cmath>

AudioDrawingViewOwner* AudioDrawingView::owner() const {
    return audioView ? dynamic_cast<AudioDrawingViewOwner*>(audioView->audioController) : nullptr;
}

QPointF AudioDrawingView::lanePoint(const QMouseEvent* event) const {
    const QPointF p = framePoint(event->position());
    return {p.x(), height() - p.y()};
}

void AudioDrawingView::beginGesture(GestureRouting routing) {
    gestureRouting = routing;
    if (auto* o = owner()) o->laneSetRulerAlpha(0.30000001192092896);
}

bool AudioDrawingView::notesGestureUnderWay() const {
    const MusicFilter* t = track();
    const AudioDrawingViewOwner* o = owner();
    return isSelectingNotes && isMouseDown && t && o && o->laneTrackHasMidiManager(*t);
}

void AudioDrawingView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    mouseDown(event);
    event->accept();
}

void AudioDrawingView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    switch (gestureRouting) {
    case GestureRouting::None:
        return;
    case GestureRouting::TrackArea:
        if (audioView) audioView->laneMouseDragged(*this, event);
        return;
    case GestureRouting::Lane:
    case GestureRouting::TrimOrMove:
        // A move hands its drags to the track area through mouseDragged.
        mouseDragged(event);
        return;
    }
}

void AudioDrawingView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    const GestureRouting routing = std::exchange(gestureRouting, GestureRouting::None);
    if (routing == GestureRouting::None) return;
    mouseUp(event);
    if (routing == GestureRouting::TrimOrMove) update();
}

void AudioDrawingView::mouseDown(QMouseEvent* event) {
    gestureRouting = GestureRouting::None;
    isMouseDown = false;
    isMouseDragged = false;
    mouseEventToSuperview = false;
    isDeletingRecordedParameter = false;
    isPressingCTRLForRecordedParameter = false;
    if (audioView) audioView->mouseDownFromSubview = false;
    AudioDrawingViewOwner* o = owner();
    if (o) o->laneSetDoNotUpdateNeedsDisplay(false);

    if (!viewAcceptsMouseEvents || !audioView || audioView->audioTracks.empty()) return;
    MusicFilter* t = track();
    if (!t) return;
    auto* services = audioView->audioController;
    if (!services || services->currentSelectedAudio.load() != viewIndex) {
        selectLaneTrack();
        return;
    }
    const QPointF p = lanePoint(event);
    if (isSelectingNotes && o && o->laneTrackHasMidiManager(*t)) {
        noteSelectionPress(p);
        return;
    }

    isPressingCTRL = false;
    mouseInsideSelectionPaste = false;
    resetKeyPointGesture();
    audioView->mouseDownIsPressingCTRL = false;
    audioView->drawForSelectionPaste = false;
    audioView->indexOfSelectionPaste = kNoIndex;

    if (event->modifiers() & Qt::ControlModifier) isPressingCTRL = true;
    if (isPressingCTRL && !selectionPaths.isEmpty()) {
        handOffToTrackArea(event);
        return;
    }
    if (isPressingCTRL && !selectionPastes.isEmpty() && pickSelectionPaste(p)) {
        handOffToTrackArea(event);
        return;
    }

    isMovingRecordedParameter = false;
    if (keyPointMouseDown(event, p)) return;

    isMovingSelectionPath = false;
    showSelectionInfo = false;
    if (t->typeOfComposition == 0) {
        rangeSelectionPress(p);
        return;
    }
    trimOrMovePress(event, p);
}

void AudioDrawingView::mouseDragged(QMouseEvent* event) {
    const QPointF p = lanePoint(event);
    if (notesGestureUnderWay()) {
        noteSelectionDrag(p);
    } else if (isDeletingRecordedParameter || isMovingRecordedParameter) {
        keyPointMouseDragged(event, p);
    } else if (isMovingSelectionPath) {
        rangeSelectionDrag(event, p);
    } else if (mouseEventToSuperview) {
        if (audioView) audioView->laneMouseDragged(*this, event);
    } else if (isMouseDown) {
        trimDragged(event, p);
    }
}

void AudioDrawingView::mouseUp(QMouseEvent* event) {
    if (auto* o = owner()) o->laneSetRulerAlpha(1.0);
    const QPointF p = lanePoint(event);
    if (notesGestureUnderWay()) {
        noteSelectionRelease();
        return;
    }
    if (isDeletingRecordedParameter) {
        keyPointDeletionUp(event, p);
        return;
    }
    // Only a press that handed its gesture to the track area releases there;
    // a Ctrl press that found nothing to hand over ends as its own gesture.
    if (isPressingCTRL && audioView && audioView->mouseDownFromSubview) {
        isMouseDown = false;
        isMouseDragged = false;
        audioView->mouseDownFromSubview = false;
        audioView->laneMouseUp(*this, event);
        return;
    }
    if (isMovingRecordedParameter) {
        keyPointMoveUp(event, p);
        return;
    }
    if (isMovingSelectionPath) {
        rangeSelectionRelease(p);
        return;
    }
    const bool wasMouseDown = std::exchange(isMouseDown, false);
    const bool wasDragged = std::exchange(isMouseDragged, false);
    if (mouseEventToSuperview) {
        mouseEventToSuperview = false;
        if (audioView) {
            audioView->mouseDownFromSubview = false;
            audioView->laneMouseUp(*this, event);
        }
        return;
    }
    trimRelease(event, p, wasMouseDown, wasDragged);
}
