// Dropping a dragged time selection or pasted range onto a track: the range
// is copied (never moved) into the track under the drop, inserted at the drop
// time, or with Alt in place of the audio there. The dragged range becomes
// the clipboard's item.

#include "app/AudioController.h"

#include "editing/RangeEditSteps.h"
#include "editing/TimeSelection.h"
#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"

void AudioController::insertTrackFromDragAndDropWithInfo(const DragDropSelectionRecord& info) {
    if (shell.audioControllerIsWorking || trackCount() == 0) return;
    // The target and the source must still be there before anything changes.
    const std::shared_ptr<MusicFilter> source = info.source.lock();
    if (!trackAt(info.targetIndex) || !source || indexOfTrack(source.get()) == kNoIndex) return;
    AudioDrawingView* sourceLane = trackLaneOf(source.get());
    if (!sourceLane) return;

    if (currentSelectedAudio.load() != info.targetIndex) rulerSelectTrack(info.targetIndex);

    // The dragged range: a pasted-range mark, or the lane's selection.
    SelectionPasteRecord dragged;
    if (info.isPaste) {
        if (info.indexOfSelectionPaste >= quint64(sourceLane->selectionPastes.size())) return;
        dragged = sourceLane->selectionPastes[qsizetype(info.indexOfSelectionPaste)];
    } else {
        if (sourceLane->selectionPaths.isEmpty()) return;
        dragged = sourceLane->selectionPaths.back();
    }
    if (dragged.size() < 2) return;
    const QRectF sourceRegion = sourceLane->drawingBezierPath.boundingRect();
    const timeselection::LaneRange range = timeselection::clampToRegion(
        dragged[0].x(), dragged[1].x(), sourceLane->frameWidth(), sourceRegion.x(), sourceRegion.x() + sourceRegion.width());
    const SelectionClipboardRecord record =
        timeselection::recordOf(source, range, sourceLane->frameWidth(), shell.zoomValue);
    pasteboardItems = record;

    const double T = info.dropFraction * compositionDuration().seconds();
    if (!info.option) {
        pasteSelectionInFilterFrom(T);
        return;
    }

    // Replace: the target's audio from the drop time, as long on the
    // timeline as the dragged range, goes first.
    MusicFilter* target = trackAt(info.targetIndex);
    AudioDrawingView* lane = trackLaneOf(target);
    if (!target || !lane || !(target->durationInSeconds > 0)) return;
    const double a = target->animationStart().seconds(), c = target->currentTimeRange().start.seconds();
    double v = target->value(EffectInput::Speed);
    if (!(v > 0)) v = 1.0;
    const double D = target->durationInSeconds, W = lane->frameWidth();
    const double vs = record.inputSpeed > 0 ? record.inputSpeed : 1.0;
    const double x1 = (T - (a - c / v)) / (D / v) * W;
    const double x2 = x1 + (record.length / vs) / (D / v) * W;
    const QRectF region = lane->drawingBezierPath.boundingRect();
    const timeselection::LaneRange replaced =
        timeselection::clampToRegion(x1, x2, W, region.x(), region.x() + region.width());
    if (replaced.coversRegion()) return;
    // Nothing is removed that the copy cannot replace.
    if (record.length < timeselection::kMinimumEditLength || !rangeedits::sameStreamFormat(*target, *source)) return;
    if (!rearrangeRemoveAudioFileInCompositionWithTimeDifference((replaced.end - replaced.start) / W * D,
                                                                 replaced.start / W * D, replaced.type(), false))
        return;
    lane->selectionPaths.clear();
    const double at =
        replaced.type() == timeselection::EndsAtRegionEnd ? target->animationEnd().seconds() : T;
    if (!pasteSelectionInFilterFrom(at)) rangeedits::rebuildAfterRemoval(*this, *target);
}
