// The composition's length: the two duration fields with undo, the re-layout
// of every track for a new length, the length and the track colour from the
// preferences.
#include "app/AudioController.h"

#include "editing/TrimArithmetic.h"

#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioView.h"
#include "views/LineView.h"
#include "views/NumberTextField.h"
#include "views/StyledControls.h"
#include "views/AudioDrawingView.h"
#include "views/EQSubview.h"

#include <QLabel>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kShortestComposition = 1.0;  // seconds
constexpr double kEmptyTimelineSeconds = 600.0;  // the timeline of an empty composition

int32_t scaleOf(double rate) {
    const auto s = static_cast<int32_t>(rate);
    return s > 0 ? s : MediaTime::DefaultTimeScale;
}

}  // namespace

void AudioController::showCompositionDurationInFields(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const double minutes = std::floor(seconds / 60.0);
    const double rest = std::floor(seconds - minutes * 60.0);
    if (ui.textFieldDurationMinutes) ui.textFieldDurationMinutes->setFloatValue(minutes);
    if (ui.textFieldDurationSeconds) ui.textFieldDurationSeconds->setFloatValue(rest);
}

void AudioController::resizeTimeline(bool withTracks) {
    shell.timelineDuration = shell.compositionDuration.seconds();
    if (ui.audioView)
        ui.audioView->setFrameWidth(shell.timelineDuration * shell.scaleFactor * shell.zoomValue,
                             withTracks ? AudioView::RowHeight * trackCount() : 0);
    layoutLineViewContainer();
}

void AudioController::updateCompositionDurationFrom(NumberTextField*) { updateCompositionDuration(); }

void AudioController::updateCompositionDuration() {
    const double minutes = ui.textFieldDurationMinutes ? ui.textFieldDurationMinutes->floatValue() : 0;
    const double seconds = ui.textFieldDurationSeconds ? ui.textFieldDurationSeconds->floatValue() : 0;
    const double total = minutes * 60.0 + seconds;
    // Under a second (a negative total included) is refused; the
    // composition keeps its length.
    if (!(total >= kShortestComposition)) {
        showCompositionDurationInFields(0);
        return;
    }
    const MediaTime old = shell.compositionDuration;
    const MediaTime length = MediaTime::fromSeconds(total, scaleOf(shell.playerSampleRate));
    showCompositionDurationInFields(length.seconds());
    if (length == old) return;

    shell.compositionDuration = length;
    resizeTimeline();
    UndoManager* undo = ui.audioView ? ui.audioView->undoManager() : nullptr;
    CompositionDurationChangeUndoRecord record{old, std::nullopt};
    if (trackCount() > 0) {
        std::vector<TrackFrameUndoRecord> frames;
        for (const auto& track : ui.audioView->audioTracks) {
            TrackFrameUndoRecord r;
            r.audioUndoViewWidth = shell.zoomValue;
            if (const auto& f = track.audioFilter) {
                r.audioUndoPercentOrigin = f->audioOriginInPercent;
                r.audioUndoPercentDuration = f->audioDurationInPercent;
                if (auto* lane = trackLaneOf(f.get())) {
                    r.audioUndoFrameOrigin = lane->frameX();
                    r.audioUndoFrameWidth = lane->frameWidth();
                }
            }
            frames.push_back(r);
        }
        record.audioUndoInfoArray = std::move(frames);
    }
    if (undo) undo->registerUndo(this, [this, record] { updateCompositionDuration(record); });
    if (trackCount() > 0) updateAllTracksForNewCompositionDuration();
}

namespace {

// The times, label and source range of a track from its lane and outline
// (the last steps of every re-layout). A used part that lies wholly past the
// composition's end leaves the track out of the composition.
QRectF regionOf(const AudioDrawingView& lane);

void finishTrackLayout(AudioController& c, MusicFilter& f, AudioDrawingView& lane) {
    const double C = c.shell.compositionDuration.seconds();
    const double D = f.durationInSeconds;
    const QRectF P = regionOf(lane);
    const double area = lane.audioView ? lane.audioView->frameWidth() : 0.0;
    const int32_t scale = f.timeScale > 0 ? f.timeScale : MediaTime::DefaultTimeScale;
    const trims::CompositionSpan span =
        trims::compositionSpan({lane.frameX(), lane.frameWidth(), P.x(), P.width(), area}, C);
    const double start = span.start, end = span.end;
    f.setAnimationStart(MediaTime::fromSeconds(start, scale));
    f.setAnimationEnd(MediaTime::fromSeconds(std::max(start, end), scale));

    if (auto* label = qobject_cast<QLabel*>(f.audioTimeLabel.data()))
        label->setText(AudioController::trackTimeText(std::min(C, D), D));

    const double source = f.audioTrack ? f.audioTrack->timeRange().duration.seconds() : D;
    const trims::SourceRange r = trims::retrimmedSourceRange(f.audioOriginInPercent, f.audioDurationInPercent, D, source);
    f.setCurrentTimeRange({MediaTime::fromSeconds(r.start, scale), MediaTime::fromSeconds(r.length, scale)});

    if (P.width() <= 0 || end <= start)
        f.removeTrackFromComposition();
    else
        c.updateTrackWithNewTrackSettings(&f);
    lane.update();
}

void setLaneFrame(AudioDrawingView& lane, double x, double width) { lane.setFrame(x, std::max(0.0, width)); }

// The used part kept inside the lane and the track area, its width never
// negative: a part that lies wholly past the area's end keeps no width.
QRectF keptInside(QRectF p, const AudioDrawingView& lane, double areaWidth) {
    const double areaStart = -lane.frameX(), areaEnd = areaWidth - lane.frameX();
    const double lo = std::max(0.0, areaStart), hi = std::min<double>(lane.frameWidth(), areaEnd);
    const double left = std::clamp(p.left(), std::min(lo, hi), std::max(lo, hi));
    const double right = std::clamp(p.right(), left, std::max(left, hi));
    return QRectF(left, p.y(), right - left, p.height());
}

void setRegion(AudioDrawingView& lane, const QRectF& p) {
    lane.drawingBezierPath = AudioDrawingView::regionPath(p);
    // A region of no width is kept as its left edge, so that its place is known.
    lane.setProperty("regionLeft", p.x());
}

// A new composition length puts the play line back at the start.
void rewindPlayLine(LineView* line) {
    if (!line) return;
    line->linePercent = 0;
    line->globalLinePercent = 0;
    line->update();
}

// The used part's rectangle, also when it has no width.
QRectF regionOf(const AudioDrawingView& lane) {
    if (!lane.drawingBezierPath.isEmpty()) return lane.drawingBezierPath.boundingRect();
    return QRectF(lane.property("regionLeft").toDouble(), 10, 0, lane.height() - 20);
}

}  // namespace

void AudioController::updateAllTracksForNewCompositionDuration() {
    if (!ui.audioView) return;
    const double C = shell.compositionDuration.seconds();
    const double A = ui.audioView->frameWidth();
    for (auto& track : ui.audioView->audioTracks) {
        MusicFilter* f = track.audioFilter.get();
        AudioDrawingView* lane = trackLaneOf(f);
        if (!f || !lane || !(C > 0)) continue;
        const double D = f->durationInSeconds;
        f->trackRatio = D / C;
        lane->viewWidthRatioAtOneSpeed = f->trackRatio;
        QRectF P = regionOf(*lane);
        const double leftEdge = lane->frameX() + P.x();
        float speed = f->value(EffectInput::Speed);
        if (!(speed > 0)) speed = 1.0f;
        const double width = lane->viewWidthRatioAtOneSpeed * A / speed;
        setLaneFrame(*lane, leftEdge - f->audioOriginInPercent * width, width);
        const double W = lane->frameWidth();
        const double oldWidth = lane->oldBounds.width();
        P = QRectF(f->audioOriginInPercent * W, P.y(), oldWidth > 0 ? P.width() * W / oldWidth : P.width(),
                   P.height());
        lane->oldBounds = lane->frameRect();
        // Cut at the composition's end; a part wholly past it keeps no width.
        const double overflow = A - (lane->frameX() + P.x() + P.width());
        if (overflow < 0) P.setWidth(std::max(0.0, P.width() + overflow));
        P = keptInside(P, *lane, A);
        setRegion(*lane, P);
        if (W > 0) {
            f->audioOriginInPercent = std::max(0.0, P.x() / W);
            f->audioDurationInPercent = std::min(1.0, P.width() / W);
            if (f->audioOriginInPercent + f->audioDurationInPercent > 1.0)
                f->audioDurationInPercent = 1.0 - f->audioOriginInPercent;
        }
        finishTrackLayout(*this, *f, *lane);
    }
    setupLabelsWithUpdate(true);
    setupAudioSliderWithTotalTime(shell.compositionDuration);
    rewindPlayLine(ui.lineView);
    updatePlayerWithNewCompositionSettings();
}

void AudioController::updateCompositionDuration(const CompositionDurationChangeUndoRecord& record) {
    const MediaTime current = shell.compositionDuration;
    shell.compositionDuration = record.audioUndoCompositionDuration.value_or(MediaTime::zero());
    resizeTimeline();
    showCompositionDurationInFields(shell.compositionDuration.seconds());
    UndoManager* undo = ui.audioView ? ui.audioView->undoManager() : nullptr;
    if (!record.audioUndoInfoArray) {
        CompositionDurationChangeUndoRecord inverse{current, std::nullopt};
        if (undo) undo->registerUndo(this, [this, inverse] { updateCompositionDuration(inverse); });
        return;
    }
    const auto& frames = *record.audioUndoInfoArray;
    const double C = shell.compositionDuration.seconds();
    std::vector<TrackFrameUndoRecord> inverseFrames;
    const size_t n = ui.audioView ? ui.audioView->audioTracks.size() : 0;
    bool anyWithoutEntry = false;
    for (size_t i = 0; i < n; ++i) {
        MusicFilter* f = ui.audioView->audioTracks[i].audioFilter.get();
        AudioDrawingView* lane = trackLaneOf(f);
        TrackFrameUndoRecord mine;
        mine.audioUndoViewWidth = shell.zoomValue;
        if (f) {
            mine.audioUndoPercentOrigin = f->audioOriginInPercent;
            mine.audioUndoPercentDuration = f->audioDurationInPercent;
        }
        if (lane) {
            mine.audioUndoFrameOrigin = lane->frameX();
            mine.audioUndoFrameWidth = lane->frameWidth();
        }
        inverseFrames.push_back(mine);
        if (!f || !lane || !(C > 0)) continue;
        // A record made for fewer tracks has no geometry for the rest; they
        // are laid out for the length below, as a change of length does.
        if (i >= frames.size()) {
            anyWithoutEntry = true;
            continue;
        }
        const TrackFrameUndoRecord& R = frames[i];
        const double ratio = R.audioUndoViewWidth > 0 ? shell.zoomValue / R.audioUndoViewWidth : 1.0;
        f->trackRatio = f->durationInSeconds / C;
        lane->viewWidthRatioAtOneSpeed = f->trackRatio;
        setLaneFrame(*lane, R.audioUndoFrameOrigin * ratio, R.audioUndoFrameWidth * ratio);
        lane->oldBounds = lane->frameRect();
        f->audioOriginInPercent = R.audioUndoPercentOrigin;
        f->audioDurationInPercent = R.audioUndoPercentDuration;
        const double W = lane->frameWidth();
        const QRectF P = regionOf(*lane);
        setRegion(*lane, keptInside(QRectF(R.audioUndoPercentOrigin * W, P.y(),
                                           R.audioUndoPercentDuration * W, P.height()),
                                    *lane, ui.audioView->frameWidth()));
        finishTrackLayout(*this, *f, *lane);
    }
    CompositionDurationChangeUndoRecord inverse{current, std::move(inverseFrames)};
    if (undo) undo->registerUndo(this, [this, inverse] { updateCompositionDuration(inverse); });
    if (anyWithoutEntry) {
        // Re-lays every track for the length (those with an entry keep
        // their restored geometry, which fits it) and rebuilds the player.
        updateAllTracksForNewCompositionDuration();
        return;
    }
    setupLabelsWithUpdate(true);
    setupAudioSliderWithTotalTime(shell.compositionDuration);
    rewindPlayLine(ui.lineView);
    updatePlayerWithNewCompositionSettings();
}

void AudioController::resetCompositionDurationWithOldTime(const CompositionDurationUndoRecord& record) {
    const MediaTime t = record.audioUndoCompositionDuration.value_or(MediaTime::zero());
    const bool empties = !(t.seconds() > 0);
    // Back to an empty composition: the fields offer the length the next
    // first track will take, as they did at launch.
    showCompositionDurationInFields(empties ? shell.emptyCompositionFieldSeconds : t.seconds());
    CompositionDurationUndoRecord inverse{shell.compositionDuration};
    if (UndoManager* undo = ui.audioView ? ui.audioView->undoManager() : nullptr)
        undo->registerUndo(this, [this, inverse] { resetCompositionDurationWithOldTime(inverse); });
    shell.compositionDuration = t;
    // The timeline shows the length again, as the first track made it do;
    // an empty composition gets back the timeline it had at launch.
    if (!empties) {
        resizeTimeline();
    } else {
        resetEmptyTimeline();
        setupLabelsWithUpdate(true);
    }
    // An empty timeline keeps its zero labels and slider range: the length
    // shows in the fields until a track comes.
    if (trackCount() > 0) {
        setupLabelsWithUpdate(true);
        setupAudioSliderWithTotalTime(shell.compositionDuration);
    }
    rewindPlayLine(ui.lineView);
}

void AudioController::resetEmptyTimeline() {
    shell.timelineDuration = kEmptyTimelineSeconds;
    if (ui.audioView)
        ui.audioView->setFrameWidth(shell.timelineDuration * shell.scaleFactor * shell.zoomValue,
                             ui.audioView->height());
    layoutLineViewContainer();
}

void AudioController::updateCompositionDurationFromPreferences(double minutes, double seconds) {
    const double total = minutes * 60.0 + seconds;
    // A stored length under a second (or not a number) is not taken.
    if (!(total >= kShortestComposition)) return;
    const MediaTime length = MediaTime::fromSeconds(total, scaleOf(shell.playerSampleRate));
    // At launch the composition is empty, and an empty composition has no
    // length whatever the preferences hold: the window is the same on every
    // launch. The preferred length waits in the fields for the first track.
    if (trackCount() == 0) {
        shell.emptyCompositionFieldSeconds = length.seconds();
        showCompositionDurationInFields(length.seconds());
        return;
    }
    const bool changed = !(length == shell.compositionDuration);
    shell.compositionDuration = length;
    showCompositionDurationInFields(length.seconds());
    if (changed) {
        resizeTimeline();
        if (ui.lineView) ui.lineView->update();
    }
}

void AudioController::updateTrackColorFromPreferencesForAllFilters(const QColor& color) {
    if (trackCount() == 0) return;
    const QColor rgb = color.toRgb();
    for (auto& track : ui.audioView->audioTracks) {
        if (!track.audioFilter) continue;
        track.audioFilter->setTrackColor(rgb);
        if (auto* lane = trackLaneOf(track.audioFilter.get())) lane->update();
    }
    ui.audioView->update();
    if (ui.eqView) ui.eqView->update();
}
