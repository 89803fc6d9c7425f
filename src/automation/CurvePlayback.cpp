// The curves while audio renders: the main thread publishes each track's
// curves as an immutable snapshot, the render evaluates them once per slice
// and sets the units and inputs, and a main-thread timer moves the selected
// track's sliders after them.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/units/EventListener.h"
#include "platform/units/FilterUnits.h"
#include "platform/units/Unit.h"
#include "views/FloatSlider.h"
#include "views/StyledControls.h"
#include "views/EQSubview.h"

#include <QTimer>

#include <cmath>

void AudioController::publishRecordedParametersForFilter(MusicFilter* track) {
    if (!track) return;
    // The inputs the render set from the old curves become the track's own:
    // its units and their active bytes follow them, so that a curve taken
    // away leaves the sound where the curve left it.
    track->updateAudioMixState();
    const RecordedParameters& store = track->needsUpdateParametersWithTempDictionary
                                          ? automation.tempRecorderParameters
                                          : automation.recordedParameters;
    auto entry = store.find(track->identifierOfFilter);
    if (entry == store.end() || entry->second.empty()) {
        if (track->rt_automation()) track->publishAutomation(nullptr);
        return;
    }
    auto snapshot = std::make_unique<TrackAutomation>();
    snapshot->style = track->typeOfRecordedCurve == 1 ? CurveStyle::Linear : CurveStyle::Step;
    for (const auto& [key, curve] : entry->second) {
        const auto input = effectinputs::fromKey(key);
        if (!input || curve.empty()) continue;
        snapshot->curves[size_t(*input)] = curve;
        snapshot->automatedInputs |= 1u << int(*input);
    }
    track->publishAutomation(std::move(snapshot));
}

void AudioController::publishAllRecordedParameters() {
    if (!ui.audioView) return;
    for (const auto& record : ui.audioView->audioTracks)
        publishRecordedParametersForFilter(record.audioFilter.get());
}

namespace {

using units::Scope;

constexpr float kBandPassNeutral = 11025.0f;

// The unit parameter an automated input sets.
units::ParameterID parameterOf(EffectInput input) {
    switch (input) {
    case EffectInput::Pitch: return 1;
    case EffectInput::ReverbSmallLargeMix: return 1;
    case EffectInput::LowShelfGain: return 1;
    case EffectInput::BandPassBandwidth: return 1;
    case EffectInput::LowPassResonance: return 1;
    case EffectInput::HighPassResonance: return 1;
    default: break;
    }
    const auto& bands = effectinputs::bandGains();
    for (uint32_t i = 0; i < bands.size(); ++i)
        if (bands[i] == input) return units::NBandEQUnit::kGain + i;
    return 0;
}

bool isBand(EffectInput input) {
    const int n = int(input);
    return n >= int(EffectInput::Gain32) && n <= int(EffectInput::Gain16K);
}

bool equaliserHasWork(const MusicFilter& track) {
    if (track.value(EffectInput::GlobalGain) != 0.0f) return true;
    for (EffectInput band : effectinputs::bandGains())
        if (track.value(band) != 0.0f) return true;
    return false;
}

}  // namespace

// Render thread. Reads the track's published curves and atomics only.
std::optional<double> AudioController::updateRecordedParametersForFilter(MusicFilter* track,
                                                                         const TrackAutomation* curves,
                                                                         const MediaTime& time,
                                                                         EffectInput input,
                                                                         units::Unit* unit,
                                                                         units::EventListener* listener) {
    if (!track || !time.isValid()) return std::nullopt;
    if (!curves || !(curves->automatedInputs >> int(input) & 1u)) return std::nullopt;
    const auto& points = curves->curves[size_t(input)];
    auto& cursor = track->rt_curveCursors[size_t(input)];
    uint32_t at = cursor.load(std::memory_order_relaxed);
    const auto found = automation::curveValueAt(points.data(), points.size(), time.seconds(), curves->style, at);
    cursor.store(at, std::memory_order_relaxed);
    if (!found) return std::nullopt;
    const float v = float(*found);
    const bool changed = track->value(input) != v;

    if (changed) {
        track->setValue(input, v);
        track->rt_inputsSetFromCurves.fetch_or(1u << int(input), std::memory_order_release);
    }
    const bool writes = changed || isBand(input);  // band gains are written on every slice
    if (unit && writes && input != EffectInput::AudioMix && input != EffectInput::ChannelMix) {
        float written = v;
        if (input == EffectInput::LowPassCutoff || input == EffectInput::HighPassCutoff)
            written = std::isnan(v) ? 10.0f : std::max(v, 10.0f);
        const uint32_t inPanel =
            (input == EffectInput::LowPassCutoff || input == EffectInput::LowPassResonance) ? MusicFilter::LowPassInPanel
            : (input == EffectInput::HighPassCutoff || input == EffectInput::HighPassResonance)
                ? MusicFilter::HighPassInPanel
            : (input == EffectInput::BandPassCenterFrequency || input == EffectInput::BandPassBandwidth)
                ? MusicFilter::BandPassInPanel
                : 0u;
        if (listener && (track->unitViewsInPanel.load(std::memory_order_acquire) & inPanel))
            units::setParameterAndNotify(listener, nullptr, unit, parameterOf(input), Scope::Global, 0, written);
        else
            unit->setParameter(parameterOf(input), Scope::Global, 0, written);
    }

    switch (input) {
    // A pitch of 1 cent and a dry reverb leave their units out.
    case EffectInput::Pitch: return v != 1.0f ? 1.0 : 0.0;
    case EffectInput::ReverbWetDryMix: return v != 0.0f ? 1.0 : 0.0;
    case EffectInput::LowShelfGain: return v != 0.0f ? 1.0 : 0.0;
    case EffectInput::LowPassCutoff: return v < 22050.0f ? 1.0 : 0.0;
    case EffectInput::HighPassCutoff: return v > 0.0f ? 1.0 : 0.0;
    // The band-pass unit plays when either of its values is away from the
    // neutral one, as the slider's change has it.
    case EffectInput::BandPassBandwidth:
        return (v != kBandPassNeutral || track->value(EffectInput::BandPassCenterFrequency) != kBandPassNeutral)
                   ? 1.0
                   : 0.0;
    case EffectInput::BandPassCenterFrequency:
        return (v != kBandPassNeutral || track->value(EffectInput::BandPassBandwidth) != kBandPassNeutral) ? 1.0
                                                                                                         : 0.0;
    case EffectInput::AudioMix:
    case EffectInput::ChannelMix: return *found;
    default: break;
    }
    if (input == EffectInput::GlobalGain || isBand(input)) return equaliserHasWork(*track) ? 1.0 : 0.0;
    return std::nullopt;
}

void AudioController::followCurvesOnControls() {
    if (!ui.audioView) return;
    followSelectionParameters();
    const auto controls = ui.effectControls();
    const quint64 selected = currentSelectedAudio.load();
    bool bandMoved = false;
    for (size_t i = 0; i < ui.audioView->audioTracks.size(); ++i) {
        MusicFilter* track = ui.audioView->audioTracks[i].audioFilter.get();
        if (!track) continue;
        const uint32_t set = track->rt_inputsSetFromCurves.exchange(0, std::memory_order_acquire);
        if (!set) continue;
        // The main thread's record of what the units play follows the render.
        track->updateAudioMixState();
        if (i != selected || shell.audioControllerIsWorking) continue;
        for (size_t row = 0; row < controls.size(); ++row) {
            const auto input = effectinputs::fromKey(QString::fromLatin1(effectControlTable[row].key));
            if (!input || !(set >> int(*input) & 1u) || !controls[row].first) continue;
            controls[row].first->setFloatValue(track->value(*input));
            bandMoved = bandMoved || effectControlTable[row].isEqualiser;
        }
    }
    if (bandMoved && ui.eqView) ui.eqView->update();
}

bool AudioController::followsCurves() const { return curveTimer_ && curveTimer_->isActive(); }

void AudioController::updateCurveFollowing() {
    if (!curveTimer_) {
        curveTimer_ = new QTimer(this);
        curveTimer_->setInterval(40);
        connect(curveTimer_, &QTimer::timeout, this, &AudioController::followCurvesOnControls);
    }
    if (shell.isPlaying) {
        if (!curveTimer_->isActive()) curveTimer_->start();
        return;
    }
    // One last pass for what the render set before it stopped.
    curveTimer_->stop();
    followCurvesOnControls();
}
