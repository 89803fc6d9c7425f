// Effect value changes from the 27 effect sliders: each change is applied at
// once, a burst of changes from one control becomes one deferred step with
// one undo step, and while a track records the changes become key points.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/StyledControls.h"
#include "views/EQSubview.h"

#include <QPointer>
#include <QWidget>

namespace {

const QString kUpdateValueForSender = QStringLiteral("updateValueForSender:");

// The curve a recorded key shows in the track's lane; 0 leaves it as it is.
uint64_t curveIndexOfKey(EffectInput input) {
    switch (input) {
    case EffectInput::AudioMix: return 1;
    case EffectInput::ChannelMix: return 2;
    case EffectInput::GlobalGain: return 3;
    case EffectInput::Pitch: return 4;
    case EffectInput::ReverbWetDryMix:
    case EffectInput::ReverbSmallLargeMix: return 5;
    case EffectInput::LowShelfGain:
    case EffectInput::LowShelfCutoff: return 6;
    case EffectInput::LowPassCutoff:
    case EffectInput::LowPassResonance: return 7;
    case EffectInput::HighPassCutoff:
    case EffectInput::HighPassResonance: return 8;
    case EffectInput::BandPassCenterFrequency:
    case EffectInput::BandPassBandwidth: return 9;
    default: return 0;
    }
}

}  // namespace

const std::array<EffectAction, EffectInputCount>& AudioController::effectActions() {
    static const std::array<EffectAction, EffectInputCount> actions = {
        &AudioController::updateChannelMixFrom,     &AudioController::updateSpeedFrom,
        &AudioController::updateAudioMixFrom,       &AudioController::updatePitchFrom,
        &AudioController::updateReverbFrom,         &AudioController::updateAmbienceFrom,
        &AudioController::updateLowShelfCutoffFrom, &AudioController::updateLowShelfGainFrom,
        &AudioController::updateFadeInFrom,         &AudioController::updateFadeOutFrom,
        &AudioController::updateLowPassCutoffFrom,  &AudioController::updateLowPassResonanceFrom,
        &AudioController::updateHighPassCutoffFrom, &AudioController::updateHighPassResonanceFrom,
        &AudioController::updateBandPassCenterFrom, &AudioController::updateBandPassBandwidthFrom,
        &AudioController::updateGlobalGainFrom,     &AudioController::updateGain32From,
        &AudioController::updateGain64From,         &AudioController::updateGain125From,
        &AudioController::updateGain250From,        &AudioController::updateGain500From,
        &AudioController::updateGain1KFrom,         &AudioController::updateGain2KFrom,
        &AudioController::updateGain4KFrom,         &AudioController::updateGain8KFrom,
        &AudioController::updateGain16KFrom,
    };
    return actions;
}

int AudioController::effectRowOfSlider(const FloatSlider* slider) const {
    if (!slider) return -1;
    const auto controls = ui.effectControls();
    for (size_t i = 0; i < controls.size(); ++i)
        if (controls[i].first == slider) return int(i);
    return -1;
}

void AudioController::connectEffectControls() {
    // The queue of deferred steps watches the mouse from now on, so that the
    // first press on a slider already holds its burst's step back.
    MainQueue::instance();
    const auto controls = ui.effectControls();
    for (size_t i = 0; i < controls.size(); ++i) {
        FloatSlider* slider = controls[i].first;
        if (!slider) continue;
        const EffectAction action = effectActions()[i];
        connect(slider, &FloatSlider::action, this,
                [this, action](FloatSlider* sender) { (this->*action)(EffectSender(sender)); });
    }
}

// The 27 actions: each passes its sender on with itself and its key.
#define TREVALUNE_EFFECT_ACTION(NAME, KEY)                                        \
    void AudioController::NAME(const EffectSender& sender) {                      \
        updateAudioValue(sender, &AudioController::NAME, QStringLiteral(KEY));    \
    }
TREVALUNE_EFFECT_ACTION(updateChannelMixFrom, "inputChannelMix")
TREVALUNE_EFFECT_ACTION(updateSpeedFrom, "inputSpeed")
TREVALUNE_EFFECT_ACTION(updateAudioMixFrom, "inputAudioMix")
TREVALUNE_EFFECT_ACTION(updatePitchFrom, "inputPitch")
TREVALUNE_EFFECT_ACTION(updateReverbFrom, "inputReverbWetDryMix")
TREVALUNE_EFFECT_ACTION(updateAmbienceFrom, "inputReverbSmallLargeMix")
TREVALUNE_EFFECT_ACTION(updateLowShelfCutoffFrom, "inputLowShelfCutoff")
TREVALUNE_EFFECT_ACTION(updateLowShelfGainFrom, "inputLowShelfGain")
TREVALUNE_EFFECT_ACTION(updateFadeInFrom, "inputFadeIn")
TREVALUNE_EFFECT_ACTION(updateFadeOutFrom, "inputFadeOut")
TREVALUNE_EFFECT_ACTION(updateLowPassCutoffFrom, "inputLowPassCutoff")
TREVALUNE_EFFECT_ACTION(updateLowPassResonanceFrom, "inputLowPassResonance")
TREVALUNE_EFFECT_ACTION(updateHighPassCutoffFrom, "inputHighPassCutoff")
TREVALUNE_EFFECT_ACTION(updateHighPassResonanceFrom, "inputHighPassResonance")
TREVALUNE_EFFECT_ACTION(updateBandPassCenterFrom, "inputBandPassCenterFrequency")
TREVALUNE_EFFECT_ACTION(updateBandPassBandwidthFrom, "inputBandPassBandwidth")
TREVALUNE_EFFECT_ACTION(updateGlobalGainFrom, "inputGlobalGain")
TREVALUNE_EFFECT_ACTION(updateGain32From, "inputGain32")
TREVALUNE_EFFECT_ACTION(updateGain64From, "inputGain64")
TREVALUNE_EFFECT_ACTION(updateGain125From, "inputGain125")
TREVALUNE_EFFECT_ACTION(updateGain250From, "inputGain250")
TREVALUNE_EFFECT_ACTION(updateGain500From, "inputGain500")
TREVALUNE_EFFECT_ACTION(updateGain1KFrom, "inputGain1K")
TREVALUNE_EFFECT_ACTION(updateGain2KFrom, "inputGain2K")
TREVALUNE_EFFECT_ACTION(updateGain4KFrom, "inputGain4K")
TREVALUNE_EFFECT_ACTION(updateGain8KFrom, "inputGain8K")
TREVALUNE_EFFECT_ACTION(updateGain16KFrom, "inputGain16K")
#undef TREVALUNE_EFFECT_ACTION

// Mute and unmute set the level slider first; their undo comes back through
// the level's own action.
void AudioController::updateAudioMixToMuteVolumeFrom(const EffectSender&) {
    if (!ui.sliderAudioMix) return;
    ui.sliderAudioMix->setFloatValue(0.0);
    updateAudioValue(EffectSender(ui.sliderAudioMix), &AudioController::updateAudioMixFrom,
                     QStringLiteral("inputAudioMix"));
}

void AudioController::updateAudioMixToUnmuteVolumeFrom(const EffectSender&) {
    if (!ui.sliderAudioMix) return;
    ui.sliderAudioMix->setFloatValue(1.0);
    updateAudioValue(EffectSender(ui.sliderAudioMix), &AudioController::updateAudioMixFrom,
                     QStringLiteral("inputAudioMix"));
}

TrackFrameUndoRecord AudioController::trackFrameUndoRecordOf(MusicFilter* track) const {
    TrackFrameUndoRecord r;
    r.audioUndoViewWidth = shell.zoomValue;
    if (!track) return r;
    r.audioUndoPercentOrigin = track->audioOriginInPercent;
    r.audioUndoPercentDuration = track->audioDurationInPercent;
    if (auto* lane = trackLaneOf(track)) {
        r.audioUndoFrameOrigin = lane->frameX();
        r.audioUndoFrameWidth = lane->frameWidth();
    }
    return r;
}

namespace {

bool isSpeedOrFade(const MainWindowUi& ui, const FloatSlider* s) {
    return s && (s == ui.sliderSpeed || s == ui.sliderFadeIn || s == ui.sliderFadeOut);
}

bool isEqualiserSlider(const AudioController& c, const FloatSlider* s) {
    const int row = c.effectRowOfSlider(s);
    return row >= 0 && effectControlTable[size_t(row)].isEqualiser;
}

// The lane's fade display follows the track's fade inputs.
void showFades(const MainWindowUi& ui, MusicFilter* track, const FloatSlider* s) {
    if (!s || (s != ui.sliderFadeIn && s != ui.sliderFadeOut)) return;
    auto* lane = AudioController::trackLaneOf(track);
    if (!lane) return;
    if (s == ui.sliderFadeIn) lane->fadeInPercent = track->value(EffectInput::FadeIn);
    else lane->fadeOutPercent = track->value(EffectInput::FadeOut);
    lane->update();
}

}  // namespace

void AudioController::updateAudioValue(const EffectSender& sender, EffectAction action,
                                       const QString& key) {
    const auto input = effectinputs::fromKey(key);
    if (!input) return;
    UndoManager* undo = undoManager();

    if (const auto* record = std::get_if<ParameterUndoRecord>(&sender)) {
        // The replay of an undo or redo acts on the record's track.
        MusicFilter* track = record->audioFilter.get();
        if (!track) return;
        FloatSlider* slider = record->audioObject;
        ParameterUndoRecord inverse{record->audioFilter, track->valueForKey(key), slider,
                                    record->audioIndex, trackFrameUndoRecordOf(track)};
        if (undo) undo->registerUndo(this, [this, action, inverse] { (this->*action)(inverse); });
        track->setValueForKey(key, record->audioValue);
        if (slider && record->audioIndex == currentSelectedAudio.load())
            slider->setFloatValue(record->audioValue.toFloat());
        showFades(ui, track, slider);
        if (isEqualiserSlider(*this, slider) && ui.eqView) ui.eqView->update();
        if (slider && slider == ui.sliderSpeed) {
            track->listenerParametersUpdated = true;
            updateFilterSpeed(track, &record->audioUndoInfoDictionary, inverse.audioValue.toDouble());
        } else {
            track->updateAudioMixState();
        }
        return;
    }

    FloatSlider* control = std::get<FloatSlider*>(sender);
    if (!control) return;
    const std::shared_ptr<MusicFilter> owner = [&] {
        const TrackRecord* r = trackRecordAt(currentSelectedAudio.load());
        return r ? r->audioFilter : nullptr;
    }();
    MusicFilter* track = owner.get();
    if (!track) return;
    if (shell.audioControllerIsWorking) {
        control->setFloatValue(track->valueForKey(key).toFloat());
        return;
    }
    if (shell.isPlaying) {
        QStringList paused = pauseUpdateRecordedParameters();
        if (!paused.contains(key)) setPauseUpdateRecordedParameters(paused << key);
        automation.pauseUpdateSelectionParameters = true;
    }
    automation.burstFilter = owner;
    const bool immediately = automation.needsToUpdateValueImmediately;
    if (!immediately) {
        automation.filterMovingSliderKey = key;
        if (isEqualiserSlider(*this, control) && ui.eqView)
            ui.eqView->showInfoValue(control, control == ui.sliderGain16K);
        QPointer<FloatSlider> guarded(control);
        MainQueue::instance().performCoalesced(this, kUpdateValueForSender,
                                               QVariant::fromValue(quintptr(control)), [this, guarded] {
                                                   if (guarded) updateValueForSender(guarded);
                                               });
    }
    if (!automation.originalValue) automation.originalValue = track->valueForKey(key);

    const float value = float(control->floatValue());
    if (track->isRecordingParameters == 1 && !isSpeedOrFade(ui, control)) {
        KeyPointCurve& curve = automation.tempRecorderParameters[track->identifierOfFilter][key];
        const double speed = std::max(double(track->value(EffectInput::Speed)), 1e-9);
        const double lo = track->animationStart().seconds() - track->currentTimeRange().start.seconds() / speed;
        const automation::SourceSpan span{lo, lo + track->durationInSeconds / speed};
        auto recorded = automation::recordKeyPoint(curve, currentTime(), value, span, track->timeScale,
                                                   !automation.nonsortedValuesArray.has_value());
        automation.nonsortedValuesArray = std::move(recorded.unsorted);
        automation.filterMovingPoint =
            AutomationState::MovingPoint{recorded.time, value, control->minValue(), control->maxValue(), control};
        if (const uint64_t shown = curveIndexOfKey(*input)) track->showParameterCurve = shown;
    }
    if (automation.notNeedShowInfoFromTextField) {
        automation.filterMovingSliderKey.clear();
        automation.filterMovingPoint.reset();
        automation.notNeedShowInfoFromTextField = false;
    }
    if (immediately) updateValueForSender(control);

    track->setValueForKey(key, value);
    control->setFloatValue(value);
    showFades(ui, track, control);
    if (control != ui.sliderSpeed) track->updateAudioMixState();
    if (track->showParameterCurve != 0 && !isSpeedOrFade(ui, control)) {
        track->needsUpdateParametersWithTempDictionary = true;
        publishRecordedParametersForFilter(track);
        if (auto* lane = trackLaneOf(track)) lane->update();
    }
}

void AudioController::updateValueForSender(FloatSlider* control) {
    const int row = effectRowOfSlider(control);
    if (row < 0) return;
    const QString key = QString::fromLatin1(effectControlTable[size_t(row)].key);
    const EffectAction action = effectActions()[size_t(row)];

    auto endBurst = [this] {
        automation.originalValue.reset();
        automation.pauseUpdateSelectionParameters = false;
        setPauseUpdateRecordedParameters({});
        automation.burstFilter.reset();
    };
    automation.filterMovingSliderKey.clear();
    if (ui.eqView) ui.eqView->hideInfoValue();
    // The burst acts on the track it changed; a track removed since only ends it.
    const std::shared_ptr<MusicFilter> owner = automation.burstFilter.lock();
    const quint64 index = owner ? indexOfTrack(owner.get()) : kNoIndex;
    MusicFilter* track = index == kNoIndex ? nullptr : owner.get();
    if (!track) {
        automation.nonsortedValuesArray.reset();
        automation.filterMovingPoint.reset();
        endBurst();
        return;
    }
    if (track->needsUpdateParametersWithTempDictionary.exchange(false)) publishRecordedParametersForFilter(track);
    UndoManager* undo = undoManager();
    const bool speedOrFade = isSpeedOrFade(ui, control);

    if (track->isRecordingParameters == 1 && !speedOrFade) {
        // The end of a recording burst: the committed curves take the
        // working copy, and one undo step restores them as they were.
        RecordedParameters before = automation::copyRecordedDictionary(automation.recordedParameters);
        if (undo) undo->registerUndo(this, [this, before] { undoRedoRecordedParameters(before); });
        updateRecordedLastValueForFilter(track, key);
        automation.nonsortedValuesArray.reset();
        automation.filterMovingPoint.reset();
        automation.recordedParameters = automation::copyRecordedDictionary(automation.tempRecorderParameters);
        publishAllRecordedParameters();
        if (track->showParameterCurve != 0)
            if (auto* lane = trackLaneOf(track)) lane->update();
        endBurst();
        return;
    }

    bool registerRecord = speedOrFade;
    if (!speedOrFade) {
        // A committed curve takes its value back at the player's time; an
        // input without one (or whose curve starts later) keeps the user's
        // value, with an undo step.
        verifyRecordedInputValuesForSeekToTime(currentTime(), automation.recordedParameters);
        if (track->showParameterCurve != 0)
            if (auto* lane = trackLaneOf(track)) lane->update();
        registerRecord = true;
        auto t = automation.recordedParameters.find(track->identifierOfFilter);
        if (t != automation.recordedParameters.end()) {
            auto curve = t->second.find(key);
            if (curve != t->second.end() && automation::keyPointAtOrBefore(curve->second, currentTime()))
                registerRecord = false;
        }
    }
    if (registerRecord && undo && automation.originalValue) {
        ParameterUndoRecord record{owner, *automation.originalValue, control, index,
                                   trackFrameUndoRecordOf(track)};
        undo->registerUndo(this, [this, action, record] { (this->*action)(record); });
    }
    if (control == ui.sliderSpeed) {
        track->listenerParametersUpdated = true;
        updateFilterSpeed(track, nullptr, automation.originalValue ? automation.originalValue->toDouble() : 0.0);
    }
    endBurst();
}

void AudioController::undoRedoRecordedParameters(const RecordedParameters& store) {
    RecordedParameters current = automation::copyRecordedDictionary(automation.recordedParameters);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(this, [this, current] { undoRedoRecordedParameters(current); });
    automation.recordedParameters = automation::copyRecordedDictionary(store);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(store);
    publishAllRecordedParameters();
    MusicFilter* selected = trackAt(currentSelectedAudio.load());
    if (!selected) return;
    verifyRecordedInputValuesForSeekToTime(currentTime(), automation.recordedParameters);
    if (selected->showParameterCurve != 0 && ui.audioView) ui.audioView->update();
    if (ui.eqView) ui.eqView->update();
}

void AudioController::verifyParameterRecordingForSlider(FilterSlider which) {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    if (!track || track->isRecordingParameters != 1) return;
    FloatSlider* slider = filterSlider(which);
    const int row = effectRowOfSlider(slider);
    if (row < 0) return;
    const QString key = QString::fromLatin1(effectControlTable[size_t(row)].key);
    if (shell.isPlaying) {
        QStringList paused = pauseUpdateRecordedParameters();
        if (!paused.contains(key)) setPauseUpdateRecordedParameters(paused << key);
    }
    KeyPointCurve& curve = automation.tempRecorderParameters[track->identifierOfFilter][key];
    const double t = currentTime();
    const double value = double(float(slider->floatValue()));
    if (t > 0 && curve.empty()) curve.push_back({0.0, value, std::nullopt});
    const int32_t scale = track->timeScale > 0 ? track->timeScale : 44100;
    auto match = std::find_if(curve.begin(), curve.end(), [&](const KeyPoint& p) {
        return MediaTime::fromSeconds(p.time, scale) == MediaTime::fromSeconds(t, scale);
    });
    if (match != curve.end())
        *match = KeyPoint{t, value,
                          match->flag ? std::optional<int32_t>(KeyPoint::kRecordingBoundary) : std::nullopt};
    else
        curve.push_back({t, value, std::nullopt});
    automation::sortCurve(curve);
}
