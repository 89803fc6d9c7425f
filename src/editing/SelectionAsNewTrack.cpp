// A copied time selection as a track of its own: a copy of its source track
// that plays only the selection, placed at the composition's start, with the
// source's audio versions, pictures, effect values, plug-in settings and
// curves. The source does not change.
#include "app/AudioController.h"
#include "app/TrackCopies.h"

#include "editing/TimeSelection.h"
#include "editing/TrimSteps.h"
#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/EQSubview.h"

#include <algorithm>
#include <cmath>

bool AudioController::pasteSelectionAsNewTrackFrom(MusicFilter* from) {
    if (shell.audioControllerIsWorking || trackCount() == 0 || !trackAt(currentSelectedAudio.load())) return false;

    // The source: the given track with the clipboard as it is, else the
    // selected track with its selection copied now. A selected track without
    // a selection refuses rather than apply a record copied from elsewhere.
    quint64 sourceIndex = kNoIndex;
    if (from) {
        sourceIndex = indexOfTrack(from);
    } else {
        sourceIndex = currentSelectedAudio.load();
        AudioDrawingView* lane = trackLaneOf(trackAt(sourceIndex));
        if (!lane || lane->selectionPaths.isEmpty()) return false;
        copyCurrentSelectionFrom();
    }
    const SelectionClipboardRecord* copied =
        pasteboardItems ? std::get_if<SelectionClipboardRecord>(&*pasteboardItems) : nullptr;
    if (!trackRecordAt(sourceIndex) || !trackRecordAt(sourceIndex)->audioFilter || !copied) return false;
    // A copy: the track list grows below.
    const TrackRecord sourceRecord = *trackRecordAt(sourceIndex);
    const SelectionClipboardRecord R = *copied;
    const std::shared_ptr<MusicFilter> source = sourceRecord.audioFilter;
    // The record must describe a stretch of this source's audio.
    if (R.audioFilter != source || R.length < timeselection::kMinimumEditLength ||
        R.indexOfUpdatedTrack >= source->tempFilterTracks.size() || !(R.durationInSeconds > 0))
        return false;
    AudioDrawingView* sourceLane = trackLaneOf(source.get());
    if (!sourceLane) return false;

    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    const size_t n = ui.audioView->audioTracks.size();
    setViewControlsEnabled(false);
    if (!duplicateAudioFileAtIndex(sourceIndex, nullptr, false, false) || ui.audioView->audioTracks.size() != n + 1) {
        setViewControlsEnabled(true);
        return false;
    }
    const TrackRecord& newRecord = ui.audioView->audioTracks.back();
    const std::shared_ptr<MusicFilter> f = newRecord.audioFilter;
    const quint64 newIndex = n;
    AudioDrawingView* lane = trackLaneOf(f.get());

    // Versions and pictures: the source's, with the ones the copy was made
    // from current.
    trackcopies::copyVersionsFrom(*source, *f);
    if (R.indexOfUpdatedBitmap < uint64_t(f->filterBitmaps.size())) f->indexOfUpdatedBitmap = R.indexOfUpdatedBitmap;
    f->indexOfUpdatedTrack = R.indexOfUpdatedTrack;
    f->updateCurrentTimeRange = false;
    f->durationInSeconds = R.durationInSeconds;

    // The selection is what plays.
    const int32_t scale = source->timeScale > 0 ? source->timeScale : MediaTime::DefaultTimeScale;
    f->setCurrentTimeRange({MediaTime::fromSeconds(R.start, scale), MediaTime::fromSeconds(R.length, scale)});

    copyFilterValuesFromDictionary(sourceRecord, newRecord);
    f->setValue(EffectInput::Speed, float(R.inputSpeed));
    applyValuesToSelectedAudio(newIndex);

    // The lane: the whole audio at the copied speed, shifted so that the
    // region starts at the composition's start.
    const double s = R.start, l = R.length, v = R.inputSpeed > 0 ? R.inputSpeed : 1.0, D = f->durationInSeconds;
    const double P = shell.scaleFactor * shell.zoomValue;
    const double W = D * P / v;
    if (lane) {
        lane->setFrame(-s * P / v, W);
        lane->oldBounds = lane->frameRect();
        const QRectF sourceRegion = sourceLane->drawingBezierPath.boundingRect();
        const double laneWidth = lane->frameWidth();
        lane->drawingBezierPath = AudioDrawingView::regionPath(
            QRectF(s / D * laneWidth, sourceRegion.y(), l / D * laneWidth, sourceRegion.height()));
        const QRectF region = lane->drawingBezierPath.boundingRect();
        f->audioOriginInPercent = region.x() / laneWidth;
        f->audioDurationInPercent = std::min(region.width() / laneWidth, 1.0);
        f->setAnimationStart(MediaTime::zero());
        const double end = trimsteps::compositionSpanOf(*lane, *ui.audioView, compositionDuration().seconds()).end;
        f->setAnimationEnd(MediaTime::fromSeconds(end, f->timeScale > 0 ? f->timeScale : scale));
    }

    shell.seekTime = audioPlayer ? audioPlayer->currentTime().seconds() : 0.0;
    verifyRecordedInputValuesForSeekToTime(shell.seekTime, automation.recordedParameters);
    trackcopies::fadesIntoLane(*f);

    // Plug-in settings.
    trackcopies::copyUnitSettingsFrom(*this, *source, *f);

    shell.audioControllerIsWorking = true;
    NotificationCenter::defaultCenter().post(QStringLiteral("setupNewPlayerAsset"), f->imageView.data());
    updateAudioTimeLabelForFilter(f.get());

    // Curves, at the same times, with the source's deleting mode.
    trackcopies::copyCurvesFrom(*this, *source, *f, true);
    if (ui.eqView) ui.eqView->update();
    return true;
}
