// Solo, mute and unmute from a track's lane. A solo silences the other
// tracks at their taps (the render outputs silence for them from its next
// slice); a mute flattens the track's level curve, keeping a copy of the
// whole automation store to come back to, or turns its level down.
#include "app/AudioController.h"

#include "automation/RecordedParameters.h"
#include "engine/MusicFilter.h"
#include "engine/TrackTapContext.h"
#include "platform/core/UndoManager.h"
#include "platform/media/AudioMix.h"
#include "views/AudioDrawingView.h"
#include "views/EQSubview.h"

namespace {

const QString kAudioMixKey = QStringLiteral("inputAudioMix");

// Calls `f(context, isOwn)` for every input of the track's mix that has a tap.
template <typename F>
void forEachTapOfMix(const MusicFilter& track, F&& f) {
    const auto mix = track.currentAudioMix.lock();
    if (!mix) return;
    for (const auto& input : mix->inputParameters()) {
        if (!input) continue;
        TrackTapContext* context = MusicFilter::contextOfTap(input->audioTapProcessor().get());
        if (!context) continue;
        f(*context, input->trackID() == track.trackID);
    }
}

bool hasLevelCurve(const RecordedParameters& store, const QString& identifier) {
    const auto t = store.find(identifier);
    return t != store.end() && t->second.count(kAudioMixKey) != 0;
}

}  // namespace

bool AudioController::trackIsSoloSilenced(const MusicFilter& track) {
    bool silenced = false;
    forEachTapOfMix(track, [&](TrackTapContext& context, bool own) {
        if (own && context.soloMuted.load() == 1) silenced = true;
    });
    return silenced;
}

void AudioController::soloTrackFrom(quint64 index) {
    MusicFilter* track = trackAt(index);
    if (!track) return;
    forEachTapOfMix(*track, [](TrackTapContext& context, bool own) { context.soloMuted.store(own ? 0 : 1); });
}

void AudioController::unmuteTrackFrom(quint64 index) {
    MusicFilter* track = trackAt(index);
    if (!track) return;
    forEachTapOfMix(*track, [](TrackTapContext& context, bool own) {
        if (own) context.soloMuted.store(0);
    });
    // A curve mute is undone by giving the store back as it was at the mute.
    if (track->senderRecorderParameters &&
        hasLevelCurve(*track->senderRecorderParameters, track->identifierOfFilter)) {
        const RecordedParameters saved = *track->senderRecorderParameters;
        resetAudioMixCurve(saved);
        track->senderRecorderParameters.reset();
        return;
    }
    updateAudioMixToUnmuteVolumeFrom(EffectSender(ui.sliderAudioMix));
}

void AudioController::muteTrackFrom(quint64 index) {
    MusicFilter* track = trackAt(index);
    if (!track) return;
    auto& working = automation.tempRecorderParameters;
    const auto entry = working.find(track->identifierOfFilter);
    KeyPointCurve* curve = nullptr;
    if (entry != working.end())
        if (auto k = entry->second.find(kAudioMixKey); k != entry->second.end()) curve = &k->second;
    if (!curve) {
        updateAudioMixToMuteVolumeFrom(EffectSender(ui.sliderAudioMix));
        return;
    }
    // Flatten the level curve: times kept, values 0, flagged points marked
    // as recording boundaries.
    for (KeyPoint& point : *curve) {
        point.value = 0.0;
        if (point.flag) point.flag = KeyPoint::kRecordingBoundary;
    }
    const RecordedParameters before = automation::copyRecordedDictionary(automation.recordedParameters);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, before] { resetAudioMixCurve(before); });
    track->senderRecorderParameters = automation::copyRecordedDictionary(automation.recordedParameters);
    automation.recordedParameters = automation::copyRecordedDictionary(working);
    publishAllRecordedParameters();
    verifyRecordedInputValuesForSeekToTime(currentTime(), automation.recordedParameters);
    if (auto* lane = trackLaneOf(track)) lane->update();
}

void AudioController::resetAudioMixCurve(const RecordedParameters& store) {
    const RecordedParameters current = automation::copyRecordedDictionary(automation.recordedParameters);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, current] { resetAudioMixCurve(current); });
    automation.recordedParameters = automation::copyRecordedDictionary(store);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(store);
    publishAllRecordedParameters();
    verifyRecordedInputValuesForSeekToTime(currentTime(), automation.recordedParameters);
    if (ui.audioView) ui.audioView->update();
}
