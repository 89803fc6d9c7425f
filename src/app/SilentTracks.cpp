// Silent tracks: the popover that asks for a length and a sample rate, the
// silent resource file added as an ordinary track, and its length fitted
// once the player has taken it up. The selected track's least range edits
// (silence inserted, the lane's selected range removed) live here too, each
// one undo step that lays the lane out at the track's new length.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Composition.h"
#include "platform/media/MediaResources.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/EmptyTrackPopover.h"
#include "views/FloatSlider.h"
#include "views/NumberTextField.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace {

// What a range edit changes on a track and its lane, kept for its undo.
struct TrackLengthState {
    size_t versionIndex = kNoIndex;
    MediaTimeRange range;
    MediaTime start, end;
    double durationInSeconds = 0, trackRatio = 0, originInPercent = 0, durationInPercent = 0;
    QRect laneGeometry;
    QPainterPath region;
    double laneRatio = 1.0;
    QList<SelectionPathRecord> selectionPaths;
};

TrackLengthState stateOf(const MusicFilter& track, const AudioDrawingView& lane) {
    TrackLengthState s;
    s.versionIndex = track.indexOfUpdatedTrack;
    s.range = track.currentTimeRange();
    s.start = track.animationStart();
    s.end = track.animationEnd();
    s.durationInSeconds = track.durationInSeconds;
    s.trackRatio = track.trackRatio;
    s.originInPercent = track.audioOriginInPercent;
    s.durationInPercent = track.audioDurationInPercent;
    s.laneGeometry = lane.geometry();
    s.region = lane.drawingBezierPath;
    s.laneRatio = lane.viewWidthRatioAtOneSpeed;
    s.selectionPaths = lane.selectionPaths;
    return s;
}

// The track's "used / whole" length under its thumbnail.
void showTrackLength(AudioController& c, MusicFilter& track) {
    const double C = c.compositionDuration().seconds(), D = track.durationInSeconds;
    if (auto* label = qobject_cast<QLabel*>(track.audioTimeLabel.data()))
        label->setText(AudioController::trackTimeText(std::min(C, D), D));
}

void applyState(MusicFilter& track, AudioDrawingView& lane, const TrackLengthState& s) {
    track.indexOfUpdatedTrack = s.versionIndex;
    track.setCurrentTimeRange(s.range);
    track.setAnimationStart(s.start);
    track.setAnimationEnd(s.end);
    track.durationInSeconds = s.durationInSeconds;
    track.trackRatio = s.trackRatio;
    track.audioOriginInPercent = s.originInPercent;
    track.audioDurationInPercent = s.durationInPercent;
    lane.setGeometry(s.laneGeometry);
    lane.oldBounds = lane.rect();
    lane.drawingBezierPath = s.region;
    lane.viewWidthRatioAtOneSpeed = s.laneRatio;
    lane.selectionPaths = s.selectionPaths;
    lane.update();
}

// The track and its lane as `state` has them, the player rebuilt; the undo
// of that step puts back what was there, so undo and redo alternate.
void restoreTrackLength(AudioController& c, const std::weak_ptr<MusicFilter>& weak, const TrackLengthState& state) {
    auto track = weak.lock();
    AudioDrawingView* lane = track ? AudioController::trackLaneOf(track.get()) : nullptr;
    if (!track || !lane || c.indexOfTrack(track.get()) == kNoIndex) return;
    const TrackLengthState now = stateOf(*track, *lane);
    QPointer<AudioController> self(&c);
    c.undoManager()->registerUndo(track.get(), [self, weak, now] {
        if (self) restoreTrackLength(*self, weak, now);
    });
    applyState(*track, *lane, state);
    showTrackLength(c, *track);
    c.updatePlayerWithNewTrackSettings(track.get());
}

}  // namespace

// ---- The popover ----------------------------------------------------------------------

EmptyTrackPopover* AudioController::emptyTrackPopover() {
    if (!silentTracks.showEmptyTrackPopover) {
        auto* popover = new EmptyTrackPopover(ui.window);
        silentTracks.showEmptyTrackPopover = popover;
        textFieldSetup(popover->durationField);
        connect(popover->durationField, &NumberTextField::action, this, [this] { addEmptyTrackFrom(); });
        popover->durationField->setFloatValue(60);
        popover->addClicked = [this] { addEmptyTrackFrom(); };
    }
    return silentTracks.showEmptyTrackPopover;
}

NumberTextField* AudioController::emptyTrackDurationTextField() {
    return emptyTrackPopover()->durationField;
}

void AudioController::showEmptyTrackPopoverFrom() {
    EmptyTrackPopover* popover = emptyTrackPopover();
    if (!popover->isVisible()) popover->showBelow(ui.audioSlider);
}

void AudioController::addEmptyTrackFrom() {
    EmptyTrackPopover* popover = emptyTrackPopover();
    const double rate = popover->sampleRatePopUp->currentIndex() == 0 ? 44100 : 48000;
    const QString path = mediaresources::emptyTrackPath(rate);
    if (path.isEmpty()) {
        popover->hide();
        return;
    }
    const double d = popover->durationField->floatValue();
    if (!(d >= 1 && d <= 3600)) return;
    // The length is the one accepted now: the field may change before the
    // track's player item is ready.
    silentTracks.requestedDuration = d;
    shell.shouldUpdateEmptyTrackDuration = d != 60;
    QPointer<AudioController> self(this);
    const QUrl url = QUrl::fromLocalFile(path);
    MainQueue::async([self, url] {
        if (self) self->addAudioFileToComposition(url);
    });
    popover->hide();
}

void AudioController::addRemoveDurationToEmptyTrack() {
    const int n = trackCount();
    if (n <= 0) return;
    const quint64 last = quint64(n - 1);
    const TrackRecord* record = trackRecordAt(last);
    MusicFilter* track = trackAt(last);
    if (!record || !track) return;
    const QString name = QFileInfo(record->audioURL.toLocalFile()).fileName();
    if (name != mediaresources::emptyTrackFileName(44100) && name != mediaresources::emptyTrackFileName(48000))
        return;
    const double d = silentTracks.requestedDuration;
    if (d == 60) return;
    AudioDrawingView* lane = trackLaneOf(track);
    const double D = track->audioDuration().seconds();
    if (!lane || !(D > 0)) return;
    // The edits act on the selected track, which the user may have changed
    // since the request.
    if (currentSelectedAudio.load() != last) rulerSelectTrack(last);
    if (d > D) {
        pasteSelectionEmptyInFilterFrom(nullptr, track->animationEnd().seconds(), d - D, true);
        lane->selectionPastes.clear();
    } else if (d < D) {
        const double W = lane->width();
        lane->selectionPaths.append(SelectionPathRecord{QPointF(d / D * W, 0), QPointF(W, 0)});
        menuRemoveSelection(nullptr, true);
    }
}

// ---- The selected track's range edits ---------------------------------------------------

namespace {

// The lane laid out for the track's current version: its whole length, from
// where the lane starts, cut at the track area's right edge.
void layOutForVersion(AudioController& c, MusicFilter& track, AudioDrawingView& lane) {
    const double D = track.audioDuration().seconds();
    const double C = c.compositionDuration().seconds();
    AudioView* area = c.ui.audioView;
    double speed = track.value(EffectInput::Speed);
    if (!(speed > 0)) speed = 1.0;
    track.durationInSeconds = D;
    track.trackRatio = C > 0 ? D / C : 1.0;
    track.setCurrentTimeRange({MediaTime::zero(), MediaTime::fromSeconds(D, track.timeScale)});
    const double A = track.animationStart().seconds();
    track.setAnimationEnd(MediaTime::fromSeconds(std::min(A + D / speed, C), track.timeScale));
    lane.viewWidthRatioAtOneSpeed = track.trackRatio;
    const double areaWidth = area ? area->width() : lane.width();
    const int width = int(std::lround(track.trackRatio * areaWidth / speed));
    lane.setGeometry(lane.x(), lane.y(), width, lane.height());
    lane.oldBounds = lane.rect();
    const double visible = std::clamp(areaWidth - lane.x(), 0.0, double(width));
    lane.drawingBezierPath = AudioDrawingView::regionPath(QRectF(0, 10, visible, lane.height() - 20));
    lane.verifyDrawingBezierPath();
    track.audioOriginInPercent = 0;
    track.audioDurationInPercent = width > 0 ? visible / width : 1.0;
    lane.update();
    showTrackLength(c, track);
}

}  // namespace

bool AudioController::pasteSelectionEmptyInFilterFrom(QObject*, double insertionTime, double duration,
                                                      bool updateAudioPlayer) {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    AudioDrawingView* lane = trackLaneOf(track);
    if (!track || !lane || !(duration > 0)) return false;
    const TrackLengthState before = stateOf(*track, *lane);
    // From the timeline to the track's source.
    const double at = std::max(insertionTime - track->animationStart().seconds(), 0.0) +
                      track->currentTimeRange().start.seconds();
    const int32_t scale = track->timeScale > 0 ? track->timeScale : 44100;
    if (!track->addEmptyTrackTimeRange({MediaTime::fromSeconds(at, scale), MediaTime::fromSeconds(duration, scale)}))
        return false;
    layOutForVersion(*this, *track, *lane);
    std::weak_ptr<MusicFilter> weak = track->weak_from_this();
    QPointer<AudioController> self(this);
    undoManager()->registerUndo(track, [self, weak, before] {
        if (self) restoreTrackLength(*self, weak, before);
    });
    if (updateAudioPlayer) updatePlayerWithNewTrackSettings(track);
    else updateTrackWithNewTrackSettings(track);
    return true;
}

bool AudioController::menuRemoveSelection(QObject*, bool updateAudioPlayer) {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    AudioDrawingView* lane = trackLaneOf(track);
    if (!track || !lane || lane->selectionPaths.isEmpty() || !(lane->width() > 0)) return false;
    const SelectionPathRecord& path = lane->selectionPaths.back();
    if (path.size() < 2) return false;
    const double W = lane->width();
    const double x0 = std::clamp(std::min(path.front().x(), path.back().x()), 0.0, W);
    const double x1 = std::clamp(std::max(path.front().x(), path.back().x()), 0.0, W);
    const double D = track->audioDuration().seconds();
    if (!(x1 > x0) || !(D > 0)) return false;
    double speed = track->value(EffectInput::Speed);
    if (!(speed > 0)) speed = 1.0;
    const TrackLengthState before = stateOf(*track, *lane);
    const int32_t scale = track->timeScale > 0 ? track->timeScale : 44100;
    // The lane spans the whole source: a pixel is D / W seconds of it.
    const MediaTimeRange r{MediaTime::fromSeconds(x0 / W * D / speed, scale),
                           MediaTime::fromSeconds((x1 - x0) / W * D, scale)};
    if (!track->removeTrackTimeRange(r)) return false;
    lane->selectionPaths.clear();
    layOutForVersion(*this, *track, *lane);
    std::weak_ptr<MusicFilter> weak = track->weak_from_this();
    QPointer<AudioController> self(this);
    undoManager()->registerUndo(track, [self, weak, before] {
        if (self) restoreTrackLength(*self, weak, before);
    });
    if (updateAudioPlayer) updatePlayerWithNewTrackSettings(track);
    else updateTrackWithNewTrackSettings(track);
    return true;
}
