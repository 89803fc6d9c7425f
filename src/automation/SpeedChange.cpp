// A track's speed change: the lane, the visible part, the place on the
// timeline, the part of the source that plays, the key points, the lane's
// selections and the MIDI notes all follow the speed the track holds.
#include "app/AudioController.h"

#include "editing/TrimArithmetic.h"
#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The outline's rectangle, or the lane's inner band when it has none.
QRectF outlineOf(const AudioDrawingView& lane) {
    return lane.drawingBezierPath.isEmpty() ? QRectF(0, 10, 0, lane.height() - 20)
                                            : lane.drawingBezierPath.boundingRect();
}

}  // namespace

void AudioController::scaleMidiArray(MusicFilter* track, double factor) {
    if (!track || !(factor > 0) || track->midiArray.empty()) return;
    for (MidiNoteRecord& note : track->midiArray) {
        if (note.midiCommandTime) note.midiCommandTime = note.midiCommandTime->multipliedBy(factor);
        if (note.midiCommandEndTime) note.midiCommandEndTime = note.midiCommandEndTime->multipliedBy(factor);
    }
    track->publishNotes();
}

void AudioController::updateFilterSpeed(MusicFilter* track, const TrackFrameUndoRecord* undoRecord,
                                        double previousSpeed, SpeedTimes curvesAndNotes) {
    if (!track) return;
    auto* lane = trackLaneOf(track);
    AudioView* area = ui.audioView;
    if (!lane || !area) {
        updatePlayerWithNewTrackSettings(track);
        return;
    }
    const double startWidth = lane->frameWidth();
    double speed = track->value(EffectInput::Speed);
    if (!(speed > 0)) speed = 1.0;

    // Lay the lane out at the new speed.
    if (undoRecord) {
        // An undo or redo: the lane as it was, at today's zoom.
        const double r = undoRecord->audioUndoViewWidth > 0 ? shell.zoomValue / undoRecord->audioUndoViewWidth : 1.0;
        lane->setFrame(undoRecord->audioUndoFrameOrigin * r, undoRecord->audioUndoFrameWidth * r);
        lane->oldBounds = lane->frameRect();
        track->audioOriginInPercent = undoRecord->audioUndoPercentOrigin;
        track->audioDurationInPercent = undoRecord->audioUndoPercentDuration;
        const QRectF o = outlineOf(*lane);
        lane->drawingBezierPath = AudioDrawingView::regionPath(
            QRectF(undoRecord->audioUndoPercentOrigin * lane->frameWidth(), o.y(),
                   undoRecord->audioUndoPercentDuration * lane->frameWidth(), o.height()));
        lane->verifyDrawingBezierPath();
    } else {
        // The visible part keeps its place on the screen.
        const double x0 = lane->frameX() + (lane->drawingBezierPath.isEmpty() ? 0.0 : outlineOf(*lane).x());
        const double width = lane->viewWidthRatioAtOneSpeed * area->frameWidth() / speed;
        lane->setFrame(x0 - track->audioOriginInPercent * width, width);
        NotificationCenter::defaultCenter().post(QStringLiteral("updateDrawingPath"), lane->parentWidget());
        // Cut at the track area's right edge.
        QRectF o = outlineOf(*lane);
        const double cut = std::min(area->frameWidth() - (lane->frameX() + o.x() + o.width()), 0.0);
        lane->drawingBezierPath = AudioDrawingView::regionPath(QRectF(o.x(), o.y(), o.width() + cut, o.height()));
        lane->verifyDrawingBezierPath();
        o = outlineOf(*lane);
        if (lane->frameWidth() > 0) {
            track->audioOriginInPercent = std::max(o.x() / lane->frameWidth(), 0.0);
            track->audioDurationInPercent = std::min(o.width() / lane->frameWidth(), 1.0);
            if (track->audioOriginInPercent + track->audioDurationInPercent > 1.0)
                track->audioDurationInPercent = 1.0 - track->audioOriginInPercent;
        }
    }

    // The track's place on the timeline.
    const QRectF o = outlineOf(*lane);
    const double P = area->frameWidth();
    const double C = shell.compositionDuration.seconds();
    double A = 0, E = 0;
    if (P > 0 && std::isfinite(C)) {
        A = std::max((lane->frameX() + o.x()) / P * C, 0.0);
        E = std::min((lane->frameX() + o.x() + o.width()) / P * C, C);
    }
    track->setAnimationStart(MediaTime::fromSeconds(A, track->timeScale));
    track->setAnimationEnd(MediaTime::fromSeconds(E, track->timeScale));
    shell.seekTime = A;

    // The part of the source that plays: at least a second, never past the
    // source's end, and never starting before its beginning (a source
    // shorter than a second starts at 0).
    const MediaTime whole = track->audioDuration();
    const trims::SourceRange played =
        trims::retrimmedSourceRange(track->audioOriginInPercent, track->audioDurationInPercent, track->durationInSeconds,
                                    whole.isNumeric() ? whole.seconds() : std::numeric_limits<double>::infinity());
    track->setCurrentTimeRange(MediaTimeRange(MediaTime::fromSeconds(played.start, track->timeScale),
                                              MediaTime::fromSeconds(played.length, track->timeScale)));

    track->tempAudioUnitsArray = listenerAudioUnitsParametersArray(track, false);
    closeTrackPanels();
    updatePlayerWithNewTrackSettings(track);

    // Key points, selections and notes scale around the track's start by the
    // lanes' ratio (the old speed over the new one). Times take the speeds'
    // ratio when it is known: a lane a few pixels wide rounds to 0 at a high
    // speed, and a ratio of 0 would put every key point and note at the
    // track's start for good (the undo would have no width to scale from).
    const double q = startWidth > 0 ? lane->frameWidth() / startWidth : 1.0;
    const double timeRatio = previousSpeed > 0 ? previousSpeed / speed : q;
    const bool scaleTimes = curvesAndNotes == SpeedTimes::Scaled;
    if (scaleTimes) {
        updateRecordedTimesForFilter(track, -A);
        updateRecordedTimesForFilterScaling(track, timeRatio);
        updateRecordedTimesForFilter(track, A);
    }
    verifyRecordedInputValuesForSeekToTime(A, automation.recordedParameters);
    for (SelectionPasteRecord& paste : lane->selectionPastes)
        if (paste.size() >= 2) paste = {QPointF(q * paste[0].x(), 0), QPointF(q * paste[1].x(), 0)};
    for (SelectionPathRecord& path : lane->selectionPaths)
        for (QPointF& p : path) p.setX(q * p.x());
    if (scaleTimes) scaleMidiArray(track, timeRatio);
    lane->update();
}
