// Commands on the selected track as a whole: copy, cut, remove, the two
// duplicates, split, and invert trim. A cut and an invert trim leave the
// track playing the parts of its source outside its region; neither has an
// undo step of its own.
#include "app/AudioController.h"

#include "editing/TrackPasteboard.h"
#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/LineView.h"

#include <cmath>

namespace {

// The selected track's record, or null while busy or with no track selected.
TrackRecord* selectedForWholeTrackCommand(AudioController& c) {
    if (c.shell.audioControllerIsWorking) return nullptr;
    TrackRecord* record = c.trackRecordAt(c.currentSelectedAudio.load());
    return record && record->audioFilter ? record : nullptr;
}

// In selection mode with a time selection, the commands act on the selection.
bool handsOverToSelection(const MusicFilter& track) {
    const AudioDrawingView* lane = AudioController::trackLaneOf(&track);
    return track.typeOfComposition == 0 && lane && !lane->selectionPaths.isEmpty();
}

int32_t scaleOf(const MusicFilter& t) { return t.timeScale > 0 ? t.timeScale : MediaTime::DefaultTimeScale; }

}  // namespace

TrackPasteboardRecord AudioController::trackPasteboardRecordOf(const TrackRecord& record) const {
    TrackPasteboardRecord r;
    r.audioPasteboardDictionary = record;
    const MusicFilter& t = *record.audioFilter;
    TrackPasteboardInfo& info = r.audioPasteboardInfo;
    info.audioPasteboardCompositionDuration = shell.compositionDuration;
    info.audioPasteboardSpeed = t.value(EffectInput::Speed);
    info.audioPasteboardAnimationStart = t.animationStart();
    info.audioPasteboardAnimationEnd = t.animationEnd();
    info.audioPasteboardOriginPercent = t.audioOriginInPercent;
    info.audioPasteboardDurationPercent = t.audioDurationInPercent;
    info.audioPasteboardAudioViewFrame = QRectF(0, 0, shell.zoomValue, 0);
    if (const AudioDrawingView* lane = trackLaneOf(&t)) info.audioPasteboardDrawingViewFrame = lane->laneFrame();
    return r;
}

void AudioController::copyAudioFileFrom() {
    TrackRecord* record = selectedForWholeTrackCommand(*this);
    if (!record) return;
    if (handsOverToSelection(*record->audioFilter)) {
        copyCurrentSelectionFrom();
        return;
    }
    pasteboardItems = trackPasteboardRecordOf(*record);
}

namespace {

// The track re-trimmed to `part` (composition times and fractions): its
// times, region and played range, with the composition and its units told.
void retrimTrack(AudioController& c, MusicFilter& t, AudioDrawingView& lane, const trackpaste::KeptPart& part) {
    const int32_t scale = scaleOf(t);
    t.setAnimationStart(MediaTime::fromSeconds(part.start, scale));
    t.setAnimationEnd(MediaTime::fromSeconds(part.end, scale));
    t.audioOriginInPercent = part.fractions.origin;
    t.audioDurationInPercent = part.fractions.duration;
    const QRectF old = lane.drawingBezierPath.boundingRect();
    const double Wl = lane.frameWidth();
    lane.drawingBezierPath = AudioDrawingView::regionPath(
        QRectF(part.fractions.origin * Wl, old.y(), part.fractions.duration * Wl, old.height()));
    lane.verifyDrawingBezierPath();
    const trims::SourceRange played = trims::retrimmedSourceRange(
        part.fractions.origin, part.fractions.duration, t.durationInSeconds, t.audioDuration().seconds());
    t.setCurrentTimeRange({MediaTime::fromSeconds(played.start, scale), MediaTime::fromSeconds(played.length, scale)});
    t.updateListenerParametersFromAudioUnits();
    t.updateNBandEQNumberOfBands();
    t.listenerParametersUpdated = true;
    c.updateTrackWithNewTrackSettings(&t);
    c.updateAudioTimeLabelForFilter(&t);
}

// The playhead drawn at track-area x `x`, with the seek that follows the
// rebuilt player item.
void movePlayheadTo(AudioController& c, double seconds, double x) {
    c.shell.seekTime = seconds;
    const double Wa = c.ui.audioView ? c.ui.audioView->frameWidth() : 0.0;
    if (Wa > 0) c.areaSetLinePercent(x / Wa);
}

// Leaves the track (a copy of its record: the list may grow) playing what
// lies outside its region. With `closeGap`, a part after the region that
// becomes a track of its own moves left by the region's width, to meet the
// part before; otherwise every part stays where it lies on the lane.
void keepOutsideParts(AudioController& c, const TrackRecord record, bool closeGap) {
    MusicFilter& t = *record.audioFilter;
    AudioDrawingView* lane = AudioController::trackLaneOf(&t);
    if (!lane || !c.ui.audioView) return;
    const MediaTime S = t.animationStart(), E = t.animationEnd();
    const double o = t.audioOriginInPercent, d = t.audioDurationInPercent;
    const QRectF F = lane->laneFrame();
    trackpaste::LaneFrame frame;
    frame.laneX = F.x();
    frame.laneWidth = lane->frameWidth();
    frame.areaWidth = c.ui.audioView->frameWidth();
    frame.compositionSeconds = c.shell.compositionDuration.seconds();
    frame.audioSeconds = t.audioDuration().seconds();
    const float speed = t.value(EffectInput::Speed);
    frame.speed = speed > 0 ? speed : 1.0;
    const auto parts =
        trackpaste::outsidePartsOf(S > MediaTime::zero(), E < c.shell.compositionDuration, o, d);
    using trackpaste::OutsideParts;
    if (parts == OutsideParts::None) return;

    if (parts == OutsideParts::After) {
        retrimTrack(c, t, *lane, trackpaste::partAfter(frame, E.seconds(), o, d));
        const QRectF region = lane->drawingBezierPath.boundingRect();
        movePlayheadTo(c, t.animationEnd().seconds(), F.x() + region.x() + region.width());
        lane->update();
        c.updatePlayerWithNewCompositionSettings();
        return;
    }

    retrimTrack(c, t, *lane, trackpaste::partBefore(frame, S.seconds()));
    const QRectF region = lane->drawingBezierPath.boundingRect();
    movePlayheadTo(c, t.animationStart().seconds(), F.x() + region.x());
    lane->update();
    if (parts == OutsideParts::Before) {
        c.updatePlayerWithNewCompositionSettings();
        return;
    }

    // Both: the part after becomes a new track, which brings the player up
    // to date once its media is in.
    TrackPasteboardRecord after;
    after.audioPasteboardDictionary = record;
    after.audioPasteboardListenerCanUpdate = false;
    TrackPasteboardInfo& info = after.audioPasteboardInfo;
    const double C = frame.compositionSeconds;
    const double A = frame.audioSeconds;
    info.audioPasteboardCompositionDuration = c.shell.compositionDuration;
    info.audioPasteboardSpeed = speed;
    info.audioPasteboardOriginPercent = o + d;
    info.audioPasteboardDurationPercent = 1.0 - (o + d);
    info.audioPasteboardAudioViewFrame = QRectF(0, 0, c.shell.zoomValue, 0);
    QRectF laneFrame = F;
    if (closeGap) {
        const double r = C > 0 ? (E.seconds() / C - S.seconds() / C) * frame.areaWidth : 0.0;
        laneFrame.moveLeft(F.x() - r);
        info.audioPasteboardAnimationStart = t.animationEnd();
        info.audioPasteboardAnimationEnd = S + MediaTime::fromSeconds((1.0 - (o + d)) * A, scaleOf(t));
    }
    info.audioPasteboardDrawingViewFrame = laneFrame;
    c.pasteFromDictionary(after);
}

}  // namespace

void AudioController::cutAudioFileFrom() {
    TrackRecord* record = selectedForWholeTrackCommand(*this);
    if (!record) return;
    closeTrackPanels();
    if (handsOverToSelection(*record->audioFilter)) {
        cutCurrentSelectionFrom();
        return;
    }
    pasteboardItems = trackPasteboardRecordOf(*record);
    keepOutsideParts(*this, *record, true);
}

void AudioController::invertSelection() {
    TrackRecord* record = selectedForWholeTrackCommand(*this);
    if (!record) return;
    closeTrackPanels();
    pasteboardItems = trackPasteboardRecordOf(*record);
    keepOutsideParts(*this, *record, false);
}

void AudioController::removeAudioFileFrom() {
    if (!selectedForWholeTrackCommand(*this)) return;
    removeLaneTrackFrom(currentSelectedAudio.load());
}

// ---- Duplicate and split -------------------------------------------------------------------

void AudioController::duplicateAudioFileFrom() {
    if (!selectedForWholeTrackCommand(*this)) return;
    duplicateLaneTrackFrom(currentSelectedAudio.load());
}

void AudioController::duplicateAudioFileWithCurrentSettingsFrom() {
    if (!selectedForWholeTrackCommand(*this)) return;
    duplicateWithCurrentSettingsAudioFileFrom(currentSelectedAudio.load());
}

void AudioController::splitAudioFileFrom() {
    TrackRecord* record = selectedForWholeTrackCommand(*this);
    if (!record) return;
    closeTrackPanels();
    if (handsOverToSelection(*record->audioFilter)) {
        splitCurrentSelectionFrom();
        return;
    }
    editing.needsUpdateSplitSelection = false;
    editing.splitInvertTrack.reset();
    copyAudioFileFrom();
    const quint64 before = quint64(trackCount());
    pasteAudioFileFrom();
    // The invert waits for the copy's player item; with no copy there is
    // nothing to invert.
    if (quint64(trackCount()) != before + 1 || currentSelectedAudio.load() != before) return;
    editing.splitInvertTrack = trackRecordAt(before)->audioFilter;
    editing.needsUpdateSplitSelection = true;
}

void AudioController::scheduleSplitInvert() {
    if (!editing.needsUpdateSplitSelection) return;
    editing.needsUpdateSplitSelection = false;
    QPointer<AudioController> self(this);
    MainQueue::instance().perform(
        this, QStringLiteral("invertSelection"), QVariant(),
        [self] {
            if (!self) return;
            const std::shared_ptr<MusicFilter> copy = self->editing.splitInvertTrack.lock();
            self->editing.splitInvertTrack.reset();
            if (copy && self->trackAt(self->currentSelectedAudio.load()) == copy.get()) self->invertSelection();
        },
        200);
}
