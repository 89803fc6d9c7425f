// The curve commands of the track menu: recording and mouse modes, the
// shown curve, step or linear curves, and per effect add, show, reset,
// remove, copy and paste, with undo of the whole curve store.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/EQSubview.h"
#include "views/FloatSlider.h"
#include "views/NumberTextField.h"

const std::array<AudioController::CurveEffect, 10>& AudioController::curveEffects() {
    static const std::array<CurveEffect, 10> effects = {{
        {"", {}, {}},
        {"Audio Mix", {"inputAudioMix"}, {"Volume Key Points"}},
        {"Channel Mix", {"inputChannelMix"}, {"Channel Key Points"}},
        {"EQ Gain", {"inputGlobalGain"}, {"EQ Gain Key Points"}},
        {"Pitch", {"inputPitch"}, {"Pitch Key Points"}},
        {"Reverb & Ambience",
         {"inputReverbWetDryMix", "inputReverbSmallLargeMix"},
         {"Reverb Key Points", "Ambience Key Points"}},
        {"Bass Boost",
         {"inputLowShelfGain", "inputLowShelfCutoff"},
         {"Bass Boost Key Points", "Bass Boost - Cutoff Key Points"}},
        {"Low Pass",
         {"inputLowPassCutoff", "inputLowPassResonance"},
         {"Low Pass - Cutoff Key Points", "Low Pass - Resonance Key Points"}},
        {"High Pass",
         {"inputHighPassCutoff", "inputHighPassResonance"},
         {"High Pass - Cutoff Key Points", "High Pass - Resonance Key Points"}},
        {"Band Pass",
         {"inputBandPassCenterFrequency", "inputBandPassBandwidth"},
         {"Band Pass - Center Key Points", "Band Pass - Bandwidth Key Points"}},
    }};
    return effects;
}

uint64_t AudioController::curveEffectOfKey(const QString& key) {
    const auto& effects = curveEffects();
    for (uint64_t i = 1; i < effects.size(); ++i)
        if (effects[i].keys.contains(key)) return i;
    return 0;
}

namespace {

void redrawLane(MusicFilter* track) {
    if (auto* lane = AudioController::trackLaneOf(track)) lane->update();
}

bool validEffect(uint64_t index) { return index >= 1 && index < AudioController::curveEffects().size(); }

}  // namespace

// ---- Modes and display -----------------------------------------------------------------

void AudioController::noRecorParameters() {
    if (MusicFilter* t = trackAt(currentSelectedAudio.load())) t->isRecordingParameters = 0;
}

void AudioController::freeRecordParameters() {
    if (MusicFilter* t = trackAt(currentSelectedAudio.load())) t->isRecordingParameters = 1;
}

void AudioController::addAdjustKeyPoints() {
    if (MusicFilter* t = trackAt(currentSelectedAudio.load())) {
        t->isDeletingKeyPoints = 0;
        redrawLane(t);
    }
}

void AudioController::removeKeyPoints() {
    if (MusicFilter* t = trackAt(currentSelectedAudio.load())) {
        t->isDeletingKeyPoints = 1;
        redrawLane(t);
    }
}

void AudioController::showNoRecordCurve() { showRecordCurve(0); }

void AudioController::showRecordCurve(uint64_t index) {
    MusicFilter* t = trackAt(currentSelectedAudio.load());
    if (!t || index >= curveEffects().size()) return;
    t->showParameterCurve = index;
    redrawLane(t);
}

namespace {

void setCurveType(AudioController& c, uint64_t type) {
    MusicFilter* t = c.trackAt(c.currentSelectedAudio.load());
    if (!t) return;
    t->typeOfRecordedCurve = type;
    c.publishRecordedParametersForFilter(t);
    redrawLane(t);
    c.verifyRecordedInputValuesForSeekToTime(c.currentTime(), c.automation.recordedParameters);
}

}  // namespace

void AudioController::sustainCurve() { setCurveType(*this, 0); }
void AudioController::linearRampCurve() { setCurveType(*this, 1); }

// ---- Per effect --------------------------------------------------------------------------

void AudioController::addRecordCurve(uint64_t index) {
    MusicFilter* t = trackAt(currentSelectedAudio.load());
    if (!t || !validEffect(index)) return;
    t->isDeletingKeyPoints = 0;
    t->isRecordingParameters = 1;
    t->showParameterCurve = index;
    t->typeOfRecordedCurve = 1;
    publishRecordedParametersForFilter(t);
    // Each key's present value goes through the value-change path, which
    // seeds its curve and commits it as one undo step at once.
    automation.needsToUpdateValueImmediately = true;
    if (index == 3) {
        if (ui.sliderGlobalGain) updateGlobalGainFrom(EffectSender(ui.sliderGlobalGain));
    } else {
        const auto controls = ui.effectControls();
        for (const QString& key : curveEffects()[index].keys)
            for (size_t row = 0; row < controls.size(); ++row)
                if (key == QLatin1String(effectControlTable[row].key)) updateTextFieldValueFrom(controls[row].second);
    }
    automation.needsToUpdateValueImmediately = false;
}

namespace {

// Registers an undo step that puts the whole store back as it is now.
void registerStoreUndo(AudioController& c, void (AudioController::*undo)(const RecordedParameters&)) {
    UndoManager* manager = c.undoManager();
    if (!manager) return;
    RecordedParameters snapshot = automation::copyRecordedDictionary(c.automation.recordedParameters);
    QPointer<AudioController> self(&c);
    manager->registerUndo(&c, [self, undo, snapshot] {
        if (self) (self.data()->*undo)(snapshot);
    });
}

}  // namespace

void AudioController::resetRecordCurve(uint64_t index) {
    MusicFilter* t = trackAt(currentSelectedAudio.load());
    if (!t || !validEffect(index)) return;
    registerStoreUndo(*this, &AudioController::undoResetRecordedCurve);
    resetRecordedCurveForFilter(t, curveEffects()[index].keys);
    verifyRecordedInputValuesForSeekToTime(currentTime(), automation.recordedParameters);
    redrawLane(t);
}

void AudioController::removeRecordCurve(uint64_t index) {
    MusicFilter* t = trackAt(currentSelectedAudio.load());
    if (!t || !validEffect(index)) return;
    auto it = automation.recordedParameters.find(t->identifierOfFilter);
    if (it == automation.recordedParameters.end()) return;
    const QStringList& keys = curveEffects()[index].keys;
    bool any = false;
    for (const QString& key : keys) any = any || it->second.count(key) != 0;
    if (!any) return;
    registerStoreUndo(*this, &AudioController::undoRemoveRecordedCurve);
    for (const QString& key : keys) it->second.erase(key);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(automation.recordedParameters);
    publishAllRecordedParameters();
    redrawLane(t);
}

void AudioController::copyRecordCurve(uint64_t index) {
    MusicFilter* t = trackAt(currentSelectedAudio.load());
    if (!t || !validEffect(index)) return;
    auto it = automation.recordedParameters.find(t->identifierOfFilter);
    if (it == automation.recordedParameters.end()) return;
    CurvePasteboardRecord record;
    for (const QString& key : curveEffects()[index].keys)
        if (auto curve = it->second.find(key); curve != it->second.end())
            record.curves.push_back({modifyInPercentKeyValues(curve->second, *t), key});
    // With no curve for any of its keys the clipboard keeps what it holds.
    if (record.curves.empty()) return;
    record.curveType = t->typeOfRecordedCurve;
    pasteboardItems = std::move(record);
}

namespace {

PastedCurveTrackState pastedStateOf(MusicFilter& t, const CurvePasteboardRecord& record) {
    PastedCurveTrackState state;
    state.track = t.weak_from_this();
    for (const auto& c : record.curves)
        if (const auto input = effectinputs::fromKey(c.key)) state.values.emplace_back(c.key, t.value(*input));
    state.typeOfRecordedCurve = t.typeOfRecordedCurve;
    state.showParameterCurve = t.showParameterCurve;
    return state;
}

// Registers the paste's undo step: the store and the track's state as they
// are now.
void registerPasteUndo(AudioController& c, const PastedCurveTrackState& track) {
    UndoManager* manager = c.undoManager();
    if (!manager) return;
    RecordedParameters snapshot = automation::copyRecordedDictionary(c.automation.recordedParameters);
    QPointer<AudioController> self(&c);
    manager->registerUndo(&c, [self, snapshot, track] {
        if (self) self->undoPasteRecordedCurve(snapshot, track);
    });
}

}  // namespace

void AudioController::pasteRecordedCurveInFilterFrom() {
    MusicFilter* t = trackAt(currentSelectedAudio.load());
    if (!t || !pasteboardItems) return;
    const auto* record = std::get_if<CurvePasteboardRecord>(&*pasteboardItems);
    if (!record || record->curves.empty()) return;
    // The undo step puts back what the curves are about to replace: the
    // pasted inputs' values among them.
    registerPasteUndo(*this, pastedStateOf(*t, *record));
    TrackCurves& curves = automation.tempRecorderParameters[t->identifierOfFilter];
    for (const auto& c : record->curves) curves[c.key] = modifyInRelativeTimeKeyValues(c.curve, *t);
    t->typeOfRecordedCurve = record->curveType;
    if (const uint64_t shown = curveEffectOfKey(record->curves.front().key)) t->showParameterCurve = shown;
    automation.recordedParameters = automation::copyRecordedDictionary(automation.tempRecorderParameters);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(automation.recordedParameters);
    publishAllRecordedParameters();
    redrawLane(t);
    verifyRecordedInputValuesForSeekToTime(currentTime(), automation.recordedParameters);
}

namespace {

void restoreStore(AudioController& c, const RecordedParameters& snapshot,
                  void (AudioController::*self)(const RecordedParameters&)) {
    registerStoreUndo(c, self);
    c.automation.recordedParameters = automation::copyRecordedDictionary(snapshot);
    c.automation.tempRecorderParameters = automation::copyRecordedDictionary(snapshot);
    c.publishAllRecordedParameters();
    c.verifyRecordedInputValuesForSeekToTime(c.currentTime(), c.automation.recordedParameters);
    if (c.ui.audioView) {
        c.ui.audioView->update();
        for (const TrackRecord& r : c.ui.audioView->audioTracks) redrawLane(r.audioFilter.get());
    }
}

}  // namespace

void AudioController::undoResetRecordedCurve(const RecordedParameters& snapshot) {
    restoreStore(*this, snapshot, &AudioController::undoResetRecordedCurve);
}
void AudioController::undoRemoveRecordedCurve(const RecordedParameters& snapshot) {
    restoreStore(*this, snapshot, &AudioController::undoRemoveRecordedCurve);
}
void AudioController::undoPasteRecordedCurve(const RecordedParameters& snapshot, const PastedCurveTrackState& track) {
    const std::shared_ptr<MusicFilter> t = track.track.lock();
    // The inverse keeps the track's state of now, for a redo to give back.
    PastedCurveTrackState now = track;
    if (t) {
        for (auto& [key, value] : now.values)
            if (const auto input = effectinputs::fromKey(key)) value = t->value(*input);
        now.typeOfRecordedCurve = t->typeOfRecordedCurve;
        now.showParameterCurve = t->showParameterCurve;
    }
    registerPasteUndo(*this, now);

    automation.recordedParameters = automation::copyRecordedDictionary(snapshot);
    automation.tempRecorderParameters = automation::copyRecordedDictionary(snapshot);
    if (t) {
        // The track's values first: the curves it keeps then take theirs
        // back at the player time.
        t->typeOfRecordedCurve = track.typeOfRecordedCurve;
        t->showParameterCurve = track.showParameterCurve;
        const quint64 index = indexOfTrack(t.get());
        const auto controls = ui.effectControls();
        for (const auto& [key, value] : track.values) {
            const auto input = effectinputs::fromKey(key);
            if (!input) continue;
            t->setValue(*input, value);
            if (index == kNoIndex || index != currentSelectedAudio.load()) continue;
            for (size_t row = 0; row < controls.size(); ++row)
                if (key == QLatin1String(effectControlTable[row].key) && controls[row].first)
                    controls[row].first->setFloatValue(value);
        }
        t->updateAudioMixState();
    }
    publishAllRecordedParameters();
    verifyRecordedInputValuesForSeekToTime(currentTime(), automation.recordedParameters);
    if (ui.audioView) {
        ui.audioView->update();
        for (const TrackRecord& r : ui.audioView->audioTracks) redrawLane(r.audioFilter.get());
    }
    if (ui.eqView) ui.eqView->update();
}

void AudioController::updateKeyPoints(const KeyPoint& point) { updateCurrentTime(point.time); }
