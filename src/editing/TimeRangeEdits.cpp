// Edits of time ranges inside the selected track: the selection copied to
// the clipboard, pasted (also at another speed), removed and cut, silence
// inserted, and the undo that switches the track back to the audio version
// and picture an edit started from.
//
// Every edit first has the track build its new audio version; when the track
// refuses, nothing else changes (no picture, no undo step, no busy flag, no
// marks moved). Then the undo is registered, the pasted-range marks move,
// the picture is composed, and the track's times, lane and region follow,
// its tap learns the new timing and the player gets a new item.
#include "app/AudioController.h"

#include "editing/RangeEditSteps.h"
#include "editing/TimeSelection.h"
#include "editing/WaveformEdits.h"
#include "engine/MusicFilter.h"
#include "engine/TrackTapContext.h"
#include "platform/core/UndoManager.h"
#include "platform/media/AssetTrack.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/EQSubview.h"
#include "views/LineView.h"

#include <QLabel>

#include <algorithm>
#include <cmath>

using timeselection::kMinimumEditLength;
using timeselection::LaneRange;

bool rangeedits::sameStreamFormat(const MusicFilter& a, const MusicFilter& b) {
    if (&a == &b) return true;
    if (!a.audioTrack || !b.audioTrack) return false;
    return a.audioTrack->formatDescription() == b.audioTrack->formatDescription();
}
using rangeedits::sameStreamFormat;

namespace {

struct Target {
    std::shared_ptr<MusicFilter> track;
    AudioDrawingView* lane = nullptr;
    explicit operator bool() const { return track && lane; }
};

Target selectedTarget(const AudioController& c) {
    const TrackRecord* record = c.trackRecordAt(c.currentSelectedAudio.load());
    if (!record || !record->audioFilter) return {};
    return {record->audioFilter, AudioController::trackLaneOf(record->audioFilter.get())};
}

double speedOf(const MusicFilter& t) {
    const double v = t.value(EffectInput::Speed);
    return v > 0 ? v : 1.0;
}

int32_t scaleOf(const MusicFilter& t) { return t.timeScale > 0 ? t.timeScale : MediaTime::DefaultTimeScale; }

QRectF regionOf(const AudioDrawingView& lane) { return lane.drawingBezierPath.boundingRect(); }

// The lane's current selection ordered and clamped to the lane and region;
// none without a two-point selection.
std::optional<LaneRange> laneSelection(const AudioDrawingView& lane) {
    if (lane.selectionPaths.isEmpty() || lane.selectionPaths.back().size() < 2) return std::nullopt;
    const SelectionPathRecord& p = lane.selectionPaths.back();
    const QRectF region = regionOf(lane);
    return timeselection::clampToRegion(p[0].x(), p[1].x(), lane.frameWidth(), region.x(),
                                        region.x() + region.width());
}

// The timeline time at which lane x `x` of the track plays.
double timelineTimeOfLaneX(const MusicFilter& t, const AudioDrawingView& lane, double x) {
    const double v = speedOf(t);
    return (x / lane.frameWidth() * t.durationInSeconds) / v + t.animationStart().seconds() -
           t.currentTimeRange().start.seconds() / v;
}

double playerSeconds(const AudioController& c) { return c.audioPlayer ? c.audioPlayer->currentTime().seconds() : 0.0; }

// Pauses a playing player; true when it was playing.
bool pausePlayer(AudioController& c) {
    if (!c.audioPlayer || c.audioPlayer->rate() == 0) return false;
    c.audioPlayer->pause();
    return true;
}

TimeRangeUndoRecord undoRecordOf(const std::shared_ptr<MusicFilter>& t, const AudioDrawingView& lane, int kind) {
    TimeRangeUndoRecord r;
    r.audioFilter = t;
    r.currentTimeRange = t->currentTimeRange();
    r.drawingBezierPath = lane.drawingBezierPath;
    r.animationEnd = t->animationEnd();
    r.durationInSeconds = t->durationInSeconds;
    r.laneWidth = lane.frameWidth();
    r.kind = kind;
    r.indexOfUpdatedBitmap = t->indexOfUpdatedBitmap;
    r.indexOfUpdatedTrack = t->indexOfUpdatedTrack;
    r.selectionPastes = lane.selectionPastes;
    return r;
}

void registerRangeUndo(AudioController& c, const TimeRangeUndoRecord& record) {
    UndoManager* undo = c.ui.audioView ? c.ui.audioView->undoManager() : nullptr;
    if (!undo) return;
    QPointer<AudioController> self(&c);
    undo->registerUndo(&c, [self, record] {
        if (self) self->addRemoveTimeRangeToTrack(record);
    });
}

void setLaneWidth(AudioDrawingView& lane, double width) {
    lane.setFrame(lane.frameX(), width);
    lane.oldBounds = lane.frameRect();
}

// The region's percentages and the track's ratio after the lane changed.
void updateRatios(AudioController& c, MusicFilter& t, AudioDrawingView& lane) {
    const double C = c.compositionDuration().seconds();
    t.trackRatio = C > 0 ? t.durationInSeconds / C : 1.0;
    lane.viewWidthRatioAtOneSpeed = t.trackRatio;
    const QRectF region = regionOf(lane);
    const double W = lane.frameWidth();
    t.audioOriginInPercent = W > 0 ? region.x() / W : 0.0;
    t.audioDurationInPercent = W > 0 ? std::min(region.width() / W, 1.0) : 1.0;
}

// What follows every insertion (a paste or silence) of `delta` seconds of the
// track's audio into a track `durationBefore` long.
void finishInsertion(AudioController& c, MusicFilter& t, AudioDrawingView& lane, double durationBefore,
                     double delta, bool updateAudioPlayer) {
    const double v = speedOf(t);
    const int32_t scale = scaleOf(t);
    const double k = c.shell.scaleFactor * c.shell.zoomValue;
    const double w = delta * k / v;
    const MediaTime C = c.compositionDuration();
    const double A = t.animationStart().seconds();

    // The track's end and used range grow, never past the composition's end.
    t.setAnimationEnd(minTime(C, t.animationEnd() + MediaTime::fromSeconds(delta / v, scale)));
    const MediaTimeRange r = t.currentTimeRange();
    const double played = std::min(C.seconds() - A, r.duration.seconds() / v + delta / v);
    t.setCurrentTimeRange({r.start, MediaTime::fromSeconds(played * v, scale)});

    // The region grows up to the track area's right edge; the lane by the whole width.
    const QRectF region = regionOf(lane);
    const double areaWidth = c.ui.audioView ? c.ui.audioView->frameWidth() : lane.frameX() + lane.frameWidth() + w;
    const double width = std::min(region.width() + w, areaWidth - (lane.frameX() + region.x()));
    lane.drawingBezierPath = AudioDrawingView::regionPath(QRectF(region.x(), 10.0, width, lane.height() - 20.0));
    t.durationInSeconds = durationBefore + delta;
    setLaneWidth(lane, lane.frameWidth() + w);
    updateRatios(c, t, lane);
    c.updateContextParamtersForFilter(&t);
    c.verifyRecordedInputValuesForSeekToTime(playerSeconds(c), c.automation.recordedParameters);
    if (updateAudioPlayer) {
        t.mixAudioToVolume(t.volumeMix);
        t.applyAudioEffectAndResetAudioUnits(true);
        c.shell.seekTime = playerSeconds(c);
        c.updatePlayerWithNewCompositionSettings();
        c.updateAudioTimeLabelForFilter(&t);
        lane.selectionPaths.clear();
        lane.update();
    }
    if (c.ui.eqView) c.ui.eqView->update();
}

// Adds the mark of a range inserted at lane x `xs`, `w` wide; the marks that
// start at or after it move right with the audio.
void markInsertion(AudioDrawingView& lane, double xs, double w) {
    for (SelectionPasteRecord& mark : lane.selectionPastes)
        if (mark.size() >= 2 && !(xs > mark[0].x()))
            mark = SelectionPasteRecord{QPointF(mark[0].x() + w, 0), QPointF(mark[1].x() + w, 0)};
    lane.selectionPastes.append(SelectionPasteRecord{QPointF(xs, 0), QPointF(xs + w, 0)});
}

const SelectionClipboardRecord* clipboardSelection(const AudioController& c) {
    return c.pasteboardItems ? std::get_if<SelectionClipboardRecord>(&*c.pasteboardItems) : nullptr;
}

// The copied selection inserted into the selected track; `speed` replaces the
// copy's own speed (and skips the format test) when given.
bool pasteSelection(AudioController& c, std::optional<double> speed, std::optional<double> insertionTime) {
    if (c.shell.audioControllerIsWorking || c.trackCount() == 0) return false;
    const Target d = selectedTarget(c);
    const SelectionClipboardRecord* copied = clipboardSelection(c);
    if (!d || !copied || !copied->audioFilter) return false;
    if (c.refusePasteOfReplacedSource()) return false;
    const SelectionClipboardRecord R = *copied;
    MusicFilter& t = *d.track;
    AudioDrawingView& lane = *d.lane;
    const std::shared_ptr<MusicFilter> source = R.audioFilter;

    // Audio of another layout cannot go into this track: it becomes a track of its own.
    if (!speed && !sameStreamFormat(t, *source)) return c.pasteSelectionAsNewTrackFrom(source.get());

    // Where on the timeline, clamped to the track's place.
    const int32_t scale = scaleOf(t);
    double at = insertionTime ? *insertionTime : (c.ui.lineView ? c.ui.lineView->currentTime : 0.0);
    if (MediaTime::fromSeconds(at, scale) < t.animationStart()) at = t.animationStart().seconds();
    if (MediaTime::fromSeconds(at, scale) > t.animationEnd()) at = t.animationEnd().seconds();
    const double v = speedOf(t);
    const double offset = at - t.animationStart().seconds();
    const double P = offset + t.currentTimeRange().start.seconds() / v;

    const double L = R.length;
    if (L < kMinimumEditLength) return false;
    const double vs = speed ? *speed : R.inputSpeed;
    if (!(vs > 0) || !(R.durationInSeconds > 0)) return false;
    const double D0 = t.durationInSeconds;
    const double delta = L / vs;
    const double k = c.shell.scaleFactor * c.shell.zoomValue;
    const double w = delta * k / v;
    const double laneWidthBefore = lane.frameWidth();

    const TimeRangeUndoRecord before = undoRecordOf(d.track, lane, 1);
    if (!t.addTrackTimeRange({MediaTime::fromSeconds(P, scale), MediaTime::fromSeconds(L, scale)}, *source, R.start,
                             R.indexOfUpdatedTrack, vs, v))
        return false;

    c.shell.audioControllerIsWorking = true;
    if (pausePlayer(c)) c.editing.playAfterDragDropSelection = true;
    registerRangeUndo(c, before);
    const double f = D0 > 0 ? P / (D0 / v) : 0.0;
    markInsertion(lane, f * laneWidthBefore, w);
    waveformedits::modifyAudioBitmapForFilter(t, *source, delta, f * waveformedits::kPictureWidth,
                                              L / R.durationInSeconds * waveformedits::kPictureWidth,
                                              R.start / R.durationInSeconds * waveformedits::kPictureWidth,
                                              R.indexOfUpdatedBitmap, D0, vs);
    finishInsertion(c, t, lane, D0, delta, true);
    return true;
}

// The selection removed for a replacement: where the replacement goes on the
// timeline, or none when nothing was removed (the selection covered the
// region, or the removal refused).
std::optional<double> removeForReplacement(AudioController& c, const Target& d, const LaneRange& range) {
    if (range.coversRegion()) {
        d.lane->selectionPaths.clear();
        d.lane->update();
        return std::nullopt;
    }
    const bool toEnd = range.type() == timeselection::EndsAtRegionEnd;
    double at = toEnd ? 0.0 : timelineTimeOfLaneX(*d.track, *d.lane, range.start);
    if (!c.menuRemoveSelection(nullptr, false)) return std::nullopt;
    if (toEnd) at = d.track->animationEnd().seconds();
    return at;
}

}  // namespace

using rangeedits::rebuildAfterRemoval;

void rangeedits::rebuildAfterRemoval(AudioController& c, MusicFilter& t) {
    c.shell.audioControllerIsWorking = true;
    t.mixAudioToVolume(t.volumeMix);
    t.applyAudioEffectAndResetAudioUnits(true);
    c.shell.seekTime = std::min(t.animationEnd().seconds(), playerSeconds(c));
    c.updatePlayerWithNewCompositionSettings();
    c.updateAudioTimeLabelForFilter(&t);
    if (AudioDrawingView* lane = AudioController::trackLaneOf(&t)) lane->update();
}

// ---- The selection and the clipboard -------------------------------------------------

void AudioController::copyCurrentSelectionFrom() {
    if (shell.audioControllerIsWorking || trackCount() == 0) return;
    const Target d = selectedTarget(*this);
    if (!d) return;
    const std::optional<LaneRange> range = laneSelection(*d.lane);
    if (!range) return;
    pasteboardItems = timeselection::recordOf(d.track, *range, d.lane->frameWidth(), shell.zoomValue);
}

void AudioController::cutCurrentSelectionFrom() {
    if (shell.audioControllerIsWorking || trackCount() == 0) return;
    copyCurrentSelectionFrom();
    menuRemoveSelection(nullptr, true);
}

// ---- Pasting ---------------------------------------------------------------------------

bool AudioController::pasteSelectionInFilterFrom(std::optional<double> insertionTime) {
    return pasteSelection(*this, std::nullopt, insertionTime);
}

bool AudioController::pasteSelectionInFilterSpeedFrom(double speed, std::optional<double> insertionTime) {
    return pasteSelection(*this, speed, insertionTime);
}

double AudioController::speedOfSelectionItem(quint64 index) {
    static constexpr double speeds[] = {0.25, 0.5, 1.0, 1.25, 1.5, 2.0};
    return index < std::size(speeds) ? speeds[index] : 1.0;
}

void AudioController::pasteSelectionWithSpeed(quint64 index) {
    if (shell.audioControllerIsWorking) return;
    const double speed = speedOfSelectionItem(index);
    const Target d = selectedTarget(*this);
    if (!d) return;
    const std::optional<LaneRange> range = laneSelection(*d.lane);
    if (!range) return;
    if (range->coversRegion()) {
        d.lane->selectionPaths.clear();
        d.lane->update();
        return;
    }
    copyCurrentSelectionFrom();
    // The removal and the paste are one step for the user.
    UndoManager* undo = ui.audioView ? ui.audioView->undoManager() : nullptr;
    if (undo) undo->beginUndoGrouping();
    if (const std::optional<double> at = removeForReplacement(*this, d, *range)) {
        if (!pasteSelectionInFilterSpeedFrom(speed, *at)) rebuildAfterRemoval(*this, *d.track);
    }
    if (undo) undo->endUndoGrouping();
}

// ---- Removing ----------------------------------------------------------------------------

bool AudioController::menuRemoveSelection(QObject*, bool updateAudioPlayer) {
    const Target d = selectedTarget(*this);
    if (!d) return false;
    const std::optional<LaneRange> range = laneSelection(*d.lane);
    if (!range) return false;
    if (range->coversRegion()) {
        d.lane->selectionPaths.clear();
        d.lane->update();
        return false;
    }
    const double W = d.lane->frameWidth(), D = d.track->durationInSeconds;
    const bool removed = rearrangeRemoveAudioFileInCompositionWithTimeDifference(
        (range->end - range->start) / W * D, range->start / W * D, range->type(), updateAudioPlayer);
    d.lane->selectionPaths.clear();
    return removed;
}

bool AudioController::rearrangeRemoveAudioFileInCompositionWithTimeDifference(double td, double ti,
                                                                              quint64 selectionType,
                                                                              bool updateAudioPlayer) {
    if (td < kMinimumEditLength) return false;
    const Target d = selectedTarget(*this);
    if (!d) return false;
    MusicFilter& t = *d.track;
    AudioDrawingView& lane = *d.lane;
    const double D = t.durationInSeconds;
    const double sp = speedOf(t);
    // Never the whole track, nor a range at its very end or start that would
    // leave less than the minimum.
    if (!(td < D)) return false;
    if (selectionType == timeselection::StartsAtRegionStart) {
        if (ti + td > D - kMinimumEditLength) return false;
        const double T = t.animationStart().seconds() - t.currentTimeRange().start.seconds() / sp + td / sp;
        if (T >= t.animationEnd().seconds() - kMinimumEditLength) return false;
    } else if (selectionType == timeselection::EndsAtRegionEnd && ti <= kMinimumEditLength) {
        return false;
    }

    const int32_t scale = scaleOf(t);
    const TimeRangeUndoRecord before = undoRecordOf(d.track, lane, 0);
    if (!t.removeTrackTimeRange({MediaTime::fromSeconds(ti / sp, scale), MediaTime::fromSeconds(td, scale)}))
        return false;
    pausePlayer(*this);
    registerRangeUndo(*this, before);

    // The marks: inside a range within the region those touching the removed
    // stretch go; those from its start on move left with the audio.
    const double dx = shell.scaleFactor * td * shell.zoomValue / sp;
    const double a = ti / D * lane.frameWidth(), b = td / D * lane.frameWidth();
    if (selectionType == timeselection::InsideRegion) {
        QList<SelectionPasteRecord> kept;
        for (const SelectionPasteRecord& mark : lane.selectionPastes)
            if (mark.size() >= 2 && (mark[0].x() > a + b || mark[1].x() < a)) kept.append(mark);
        lane.selectionPastes = kept;
    }
    for (SelectionPasteRecord& mark : lane.selectionPastes)
        if (mark.size() >= 2 && mark[0].x() >= a)
            mark = SelectionPasteRecord{QPointF(mark[0].x() - dx, 0), QPointF(mark[1].x() - dx, 0)};

    waveformedits::modifyAudioBitmapForFilter(t, td / D * waveformedits::kPictureWidth,
                                              ti / D * waveformedits::kPictureWidth, td, D);

    const MediaTimeRange r = t.currentTimeRange();
    t.setCurrentTimeRange({r.start, MediaTime::fromSeconds(r.duration.seconds() - td, scale)});
    const QRectF region = regionOf(lane);
    lane.drawingBezierPath =
        AudioDrawingView::regionPath(QRectF(region.x(), 10.0, region.width() - dx, lane.height() - 20.0));
    t.setAnimationEnd(t.animationEnd() - MediaTime::fromSeconds(td / sp, scale));
    t.durationInSeconds = D - td;
    setLaneWidth(lane, lane.frameWidth() - dx);
    updateRatios(*this, t, lane);
    updateContextParamtersForFilter(&t);
    if (updateAudioPlayer) rebuildAfterRemoval(*this, t);
    return true;
}

// ---- Silence -------------------------------------------------------------------------------

bool AudioController::pasteSelectionEmptyInFilterFrom(QObject*, double insertionTime, double duration,
                                                      bool updateAudioPlayer) {
    if (shell.audioControllerIsWorking || trackCount() == 0) return false;
    const Target d = selectedTarget(*this);
    if (!d) return false;
    MusicFilter& t = *d.track;
    AudioDrawingView& lane = *d.lane;
    const int32_t scale = scaleOf(t);
    const double sp = speedOf(t);
    double at = insertionTime;
    if (MediaTime::fromSeconds(at, scale) < t.animationStart()) at = t.animationStart().seconds();
    if (MediaTime::fromSeconds(at, scale) > t.animationEnd()) at = t.animationEnd().seconds();
    const double off = at - t.animationStart().seconds() + t.currentTimeRange().start.seconds() / sp;
    if (duration < kMinimumEditLength) return false;
    const double D = t.durationInSeconds;
    const double laneWidthBefore = lane.frameWidth();

    const TimeRangeUndoRecord before = undoRecordOf(d.track, lane, 1);
    if (!t.addEmptyTrackTimeRange({MediaTime::fromSeconds(off, scale), MediaTime::fromSeconds(duration, scale)}))
        return false;
    pausePlayer(*this);
    registerRangeUndo(*this, before);
    const double f = D > 0 ? off / (D / sp) : 0.0;
    const double dx = shell.scaleFactor * duration * shell.zoomValue / sp;
    markInsertion(lane, f * laneWidthBefore, dx);
    waveformedits::modifyAudioEmptyBitmapForFilter(t, duration, f * waveformedits::kPictureWidth, D);
    if (updateAudioPlayer) shell.audioControllerIsWorking = true;
    finishInsertion(*this, t, lane, D, duration, updateAudioPlayer);
    return true;
}

void AudioController::pasteAndAddEmpySelectionInFilterFrom() {
    const Target d = selectedTarget(*this);
    if (!d || d.lane->selectionPaths.isEmpty() || d.lane->selectionPaths.back().size() < 2) return;
    // The end is taken as it is: silence as long as the selection, at its start.
    const SelectionPathRecord& p = d.lane->selectionPaths.back();
    const double end = std::max(p[0].x(), p[1].x());
    const double start = std::max({std::min(p[0].x(), p[1].x()), 0.0, regionOf(*d.lane).x()});
    const double W = d.lane->frameWidth();
    pasteSelectionEmptyInFilterFrom(nullptr, timelineTimeOfLaneX(*d.track, *d.lane, start), (end - start) / W *
                                    d.track->durationInSeconds, true);
}

void AudioController::pasteAndReplaceEmptySelectionInFilterFrom() {
    if (shell.audioControllerIsWorking) return;
    const Target d = selectedTarget(*this);
    if (!d) return;
    const std::optional<LaneRange> range = laneSelection(*d.lane);
    if (!range) return;
    const double duration = (range->end - range->start) / d.lane->frameWidth() * d.track->durationInSeconds;
    if (const std::optional<double> at = removeForReplacement(*this, d, *range))
        if (!pasteSelectionEmptyInFilterFrom(nullptr, *at, duration, true)) rebuildAfterRemoval(*this, *d.track);
}

void AudioController::pasteAndReplaceSelectionInFilterFrom() {
    if (shell.audioControllerIsWorking) return;
    const Target d = selectedTarget(*this);
    if (!d) return;
    // Nothing goes before it is known that the clipboard's selection can take its place.
    const SelectionClipboardRecord* copied = clipboardSelection(*this);
    if (!copied || !copied->audioFilter || copied->length < kMinimumEditLength ||
        !sameStreamFormat(*d.track, *copied->audioFilter))
        return;
    if (refusePasteOfReplacedSource()) return;
    const std::optional<LaneRange> range = laneSelection(*d.lane);
    if (!range) return;
    if (const std::optional<double> at = removeForReplacement(*this, d, *range))
        if (!pasteSelectionInFilterFrom(*at)) rebuildAfterRemoval(*this, *d.track);
}

// ---- Undo ------------------------------------------------------------------------------------

void AudioController::addRemoveTimeRangeToTrack(const TimeRangeUndoRecord& U) {
    const std::shared_ptr<MusicFilter>& t = U.audioFilter;
    AudioDrawingView* lane = t ? trackLaneOf(t.get()) : nullptr;
    if (!lane) return;
    // The present state is the way back.
    TimeRangeUndoRecord now = undoRecordOf(t, *lane, 1);
    registerRangeUndo(*this, now);

    t->indexOfUpdatedBitmap = U.indexOfUpdatedBitmap;
    t->indexOfUpdatedTrack = U.indexOfUpdatedTrack;
    lane->selectionPastes = U.selectionPastes;
    t->setCurrentTimeRange(U.currentTimeRange);
    lane->drawingBezierPath = U.drawingBezierPath;
    t->setAnimationEnd(U.animationEnd);
    t->durationInSeconds = U.durationInSeconds;
    setLaneWidth(*lane, U.laneWidth);
    updateRatios(*this, *t, *lane);
    if (U.kind == 0) t->addUndoTrackTimeRange();
    else t->removeUndoTrackTimeRange();
    updateContextParamtersForFilter(t.get());
    verifyRecordedInputValuesForSeekToTime(playerSeconds(*this), automation.recordedParameters);
    t->mixAudioToVolume(t->volumeMix);
    t->applyAudioEffectAndResetAudioUnits(true);
    shell.seekTime = std::min(t->animationEnd().seconds(), playerSeconds(*this));
    updatePlayerWithNewCompositionSettings();
    updateAudioTimeLabelForFilter(t.get());
    lane->update();
    if (ui.eqView) ui.eqView->update();
}

// ---- The track's tap and label -----------------------------------------------------------------

TrackTapContext* AudioController::getContextForFilter(MusicFilter* track) const {
    return track ? track->getProcessorContext() : nullptr;
}

void AudioController::updateContextParamtersForFilter(MusicFilter* track) {
    TrackTapContext* context = getContextForFilter(track);
    if (!context) return;
    const MediaTime d = track->animationStart() - MediaTime::fromSeconds(track->compositionStartTime, scaleOf(*track));
    context->contextTrackStartTime.store(d.seconds());
    context->contextTrackEndTime.store(track->animationEnd().seconds());
    context->contextTrackPassDuration.store(track->currentTimeRange().duration.seconds() / speedOf(*track));
    if (auto ratio = track->trackDurationRatio()) context->contextTrackDurationRatio.store(*ratio);
}

// The label under the thumbnail: the used part of the track (after its
// trims and edits) over the whole of it.
void AudioController::updateAudioTimeLabelForFilter(MusicFilter* track) {
    if (!track) return;
    const double D = track->durationInSeconds;
    const double used = std::clamp(track->audioDurationInPercent, 0.0, 1.0) * D;
    if (auto* label = qobject_cast<QLabel*>(track->audioTimeLabel.data()))
        label->setText(trackTimeText(used, D));
}
