// What the ruler layer's gestures ask of the controller: the lanes, the
// seeks of a playhead drag, the position shown while dragging, the
// automatic scroll, and the track chosen with the arrow keys.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/SmallViews.h"
#include "views/StyledControls.h"
#include "views/EQSubview.h"

#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

AudioDrawingView* AudioController::rulerLaneAt(int index) const {
    if (index < 0) return nullptr;
    return trackLaneOf(trackAt(quint64(index)));
}

void AudioController::rulerSeek(double seconds, std::function<void(bool finished)> completion) {
    if (!audioPlayer) return;
    // Bounded by the item; a zero time when the player has none.
    MediaTime target = MediaTime::zero();
    if (PlayerItem* item = audioPlayer->currentItem())
        target = minTime(timeFromSeconds(std::max(0.0, seconds)), item->duration());
    audioPlayer->seekToTime(target, MediaTime::zero(), MediaTime::zero(), std::move(completion));
}

void AudioController::rulerShowPosition(double seconds) {
    if (ui.audioSlider) ui.audioSlider->setFloatValue(float(seconds));
    updateLabelsTimeWithCurrentTime(timeFromSeconds(seconds));
}

void AudioController::rulerVerifyRecordedInputValues(double seconds) {
    verifyRecordedInputValuesForSeekToTime(seconds, automation.recordedParameters);
}

void AudioController::rulerAutoscroll(const QPoint& globalPos) {
    if (!ui.audioScrollView) return;
    // The track area scrolls toward a pointer beyond its visible part, by
    // as much as the pointer is past the edge.
    QWidget* viewport = ui.audioScrollView->viewport();
    const QPoint p = viewport->mapFromGlobal(globalPos);
    QScrollBar* bar = ui.audioScrollView->horizontalScrollBar();
    if (p.x() < 0)
        bar->setValue(bar->value() + p.x());
    else if (p.x() > viewport->width())
        bar->setValue(bar->value() + p.x() - viewport->width());
}

void AudioController::rulerSelectTrack(quint64 index) {
    if (!trackAt(index)) return;
    currentSelectedAudio = index;
    applyValuesToSelectedAudio(index);
    verifyRecordedInputValuesForSeekToTime(audioPlayer ? currentTime() : 0.0,
                                           automation.recordedParameters);
    applyValuesToSelectedAudio(index);
    closeTrackPanels();
    if (ui.audioView) ui.audioView->update();
    if (ui.eqView) ui.eqView->update();
}
