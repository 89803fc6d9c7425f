// The timeline's zoom: the zoom slider, the pinch on the ruler layer and
// their undo steps. The track area is `timelineDuration` × `scaleFactor` ×
// zoom points wide; each lane, its place, its trimmed region, its range
// selections and its pasted ranges scale with it.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"

#include <QAbstractSlider>

#include <cmath>

void AudioController::registerZoomUndo(double zoom) {
    undoManager()->registerUndo(this, [this, zoom] { updateZoomValueFrom(ZoomUndoRecord{zoom}); });
}

void AudioController::connectZoomSlider() {
    FloatSlider* slider = ui.zoomSlider;
    if (!slider) return;
    // The press and release stand for the mouse event around the slider's
    // action: the drag between them is one undo step.
    connect(slider, &QAbstractSlider::sliderPressed, this,
            [this, slider] { updateZoomValueFrom(slider, ZoomMouse::Down); });
    connect(slider, &FloatSlider::action, this, [this](FloatSlider* sender) {
        // A click on the groove or a key moves it without a press of the
        // handle: a step of its own.
        updateZoomValueFrom(sender, sender->isSliderDown() ? ZoomMouse::None : ZoomMouse::Click);
    });
    connect(slider, &QAbstractSlider::sliderReleased, this,
            [this, slider] { updateZoomValueFrom(slider, ZoomMouse::Up); });
}

void AudioController::updateZoomValueFrom(const ZoomSender& sender, ZoomMouse mouse) {
    if (std::holds_alternative<LineView*>(sender)) {
        // The end of a pinch: one undo step back to where it began.
        auto* line = std::get<LineView*>(sender);
        registerZoomUndo(line ? line->magnifyEventStartingZoom : shell.zoomValue);
        if (ui.zoomSlider) shell.zoomValue = ui.zoomSlider->floatValue();
        if (ui.zoomSlider) ui.zoomSlider->setFloatValue(shell.zoomValue);
    } else if (std::holds_alternative<ZoomUndoRecord>(sender)) {
        registerZoomUndo(shell.zoomValue);
        shell.zoomValue = std::get<ZoomUndoRecord>(sender).audioViewSize;
        if (ui.zoomSlider) ui.zoomSlider->setFloatValue(shell.zoomValue);
    } else {
        FloatSlider* slider = std::get<FloatSlider*>(sender);
        if (mouse == ZoomMouse::Down || mouse == ZoomMouse::Click)
            shell.mouseEventStartingZoom = shell.zoomValue;
        if (mouse == ZoomMouse::Up || mouse == ZoomMouse::Click)
            registerZoomUndo(shell.mouseEventStartingZoom);
        if (slider) shell.zoomValue = slider->floatValue();
    }

    // The track area and the ruler layer over it.
    if (!ui.audioView) return;
    ui.audioView->setFrameWidth(shell.timelineDuration * shell.scaleFactor * shell.zoomValue, ui.audioView->height());
    layoutLineViewContainer();

    // Each lane scales by its new width over its previous one.
    for (const auto& record : ui.audioView->audioTracks) {
        MusicFilter* track = record.audioFilter.get();
        AudioDrawingView* lane = trackLaneOf(track);
        if (!track || !lane) continue;
        float speed = track->value(EffectInput::Speed);
        if (!(speed > 0)) speed = 1.0f;
        lane->setFrame(lane->frameX(), track->trackRatio * ui.audioView->frameWidth() / speed);
        // A lane that never had a width has nothing to scale.
        if (lane->oldBounds.width() <= 0) continue;
        const double s = lane->frameWidth() / lane->oldBounds.width();
        lane->setFrameX(lane->frameX() * s);
        lane->updateDrawingPath();
        lane->oldBounds = lane->frameRect();  // also for a lane without a region yet
        for (auto& path : lane->selectionPaths)
            for (QPointF& point : path) point.setX(point.x() * s);
        for (auto& paste : lane->selectionPastes) {
            if (paste.size() < 2) continue;
            paste = SelectionPasteRecord{QPointF(paste[0].x() * s, 0), QPointF(paste[1].x() * s, 0)};
        }
        lane->update();
    }
    setupLabelsWithUpdate(true);
    if (ui.lineView) ui.lineView->update();
}

void AudioController::resetZoomValueFrom() {
    if (trackCount() == 0) return;
    registerZoomUndo(shell.zoomValue);
    shell.zoomValue = 1.0;
    if (ui.zoomSlider) ui.zoomSlider->setFloatValue(1.0);
    updateZoomValueFrom(ui.zoomSlider);
}

void AudioController::rulerUpdateZoomValue(bool pinchEnded) {
    if (pinchEnded)
        updateZoomValueFrom(ui.lineView);
    else
        updateZoomValueFrom(ui.zoomSlider);
}
