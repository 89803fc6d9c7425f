// Bringing a freshly prepared tap in line with the track's settings, and
// pushing changed effect inputs to the tap and its units.
//
// One rule decides whether the low-pass unit is in the chain, wherever its
// cutoff is applied: a cutoff below 22050 Hz.

#include "engine/MusicFilter.h"

#include "platform/core/MainQueue.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/ProcessingTap.h"
#include "platform/units/EventListener.h"
#include "platform/units/FilterUnits.h"
#include "platform/units/Unit.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

using units::Scope;

constexpr float kBandFrequencies[10] = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

bool lowPassActive(float cutoff) { return cutoff < 22050.0f; }
bool highPassActive(float cutoff) { return cutoff > 0.0f; }
bool bandPassActive(float centre, float bandwidth) { return centre != 11025.0f || bandwidth != 11025.0f; }

void set(units::Unit* unit, units::ParameterID id, float v) {
    if (unit) unit->setParameter(id, Scope::Global, 0, v);
}

int32_t scaleOr(int32_t scale) { return scale > 0 ? scale : MediaTime::DefaultTimeScale; }

}  // namespace

bool MusicFilter::eqInputsNonZero() const {
    if (value(EffectInput::GlobalGain) != 0.0f) return true;
    for (auto band : effectinputs::bandGains())
        if (value(band) != 0.0f) return true;
    return false;
}

QList<PluginRecord> MusicFilter::pluginRecordsFromCatalogue() {
    pluginsMenuDictionary.clear();
    QList<PluginRecord> records;
    for (int i = 0; i < dynamicAudioUnits.size(); ++i) {
        const auto& bundle = dynamicAudioUnits[i];
        if (bundle.AudioComponents.isEmpty()) continue;
        const auto& c = bundle.AudioComponents.first();
        if (!c.sandboxSafe.value_or(false)) continue;
        const units::FourCC type = units::fourCCFromString(c.type);
        const units::FourCC subtype = units::fourCCFromString(c.subtype);
        const units::FourCC manufacturer = units::fourCCFromString(c.manufacturer);
        if (type == units::fourCC("adec")) continue;
        const QString name = c.name.isEmpty() ? QStringLiteral("Plugin %1\n").arg(i) : c.name;
        records.append(PluginRecord{nullptr, name, false, uint32_t(type + subtype + manufacturer), false});
        const QStringList parts = name.split(QStringLiteral(": "));
        const QString group = parts.size() == 2 ? parts[0] : c.manufacturer;
        const QString title = parts.size() == 2 ? parts[1] : name;
        QVariantList entries = pluginsMenuDictionary.value(group).toList();
        entries.append(QVariant(QVariantList{name, title}));
        pluginsMenuDictionary.insert(group, entries);
    }
    std::stable_sort(records.begin(), records.end(), [](const PluginRecord& a, const PluginRecord& b) {
        return QString::localeAwareCompare(a.audioUnitName, b.audioUnitName) < 0;
    });
    return records;
}

// ---------------------------------------------------------------------------
// Preparing the tap

void MusicFilter::prepareTapForProcessing(ProcessingTap* tap) {
    auto* context = contextOfTap(tap);
    if (!context) return;

    // Units of an earlier tap go before the records are rebuilt.
    bool holdsUnits = false;
    for (const auto& r : pluginsArray_) holdsUnits = holdsUnits || r.audioUnit;
    if (holdsUnits) releasePluginUnitsAndContexts();
    setPluginsArray({});

    if (listenerParametersUpdated) updateListenerParametersToAudioUnits();
    else updateListenerParametersFromAudioUnits();
    listenerParametersUpdated = false;

    // The catalogue of the plug-ins the track can host.
    const QList<PluginRecord> records = pluginRecordsFromCatalogue();
    AudioControllerServices* controller = audioController();
    if (!records.isEmpty()) {
        setPluginsArray(records);
        if (controller) controller->createPopUpButtonForFilter(this);
    }
    if (controller) controller->enablePluginsNameForFilter(this);

    // The track's place and passes.
    auto composition = currentComposition.lock();
    const CompositionTrack* C = composition ? composition->trackWithTrackID(trackID) : nullptr;
    const MediaTimeRange R = currentTimeRange();
    const float speed = value(EffectInput::Speed);
    context->contextTrackStartTime.store(maxTime(animationStart(), MediaTime::zero()).seconds());
    context->contextTrackEndTime.store(animationEnd().seconds());
    context->contextTrackPassDuration.store(R.duration.seconds() / speed);
    if (C) context->contextTrackTimeScale.store(uint32_t(C->naturalTimeScale()));
    context->contextRepeatCount.store(value(EffectInput::Repeat));
    const MediaTime d = animationStart() - MediaTime::fromSeconds(compositionStartTime, scaleOr(timeScale));
    context->contextTrackStartTime.store(d.seconds());
    if (C && R.duration > MediaTime::zero()) {
        if (auto ratio = trackDurationRatio()) context->contextTrackDurationRatio.store(*ratio);
    } else if (R.duration > MediaTime::zero()) {
        context->contextTrackDurationRatio.store(0.0);
    }
    context->contextTrackChannelMix.store(value(EffectInput::ChannelMix));

    // Every effect input into its unit.
    units::Unit* pitch = context->pitchUnit().load();
    units::Unit* reverb = context->reverbUnit().load();
    units::Unit* lowShelf = context->lowShelfUnit().load();
    units::Unit* bandPass = context->bandPassUnit().load();
    units::Unit* lowPass = context->lowPassUnit().load();
    units::Unit* highPass = context->highPassUnit().load();
    units::Unit* eq = context->eqUnit().load();
    const float pitchValue = value(EffectInput::Pitch);
    const float wetDry = value(EffectInput::ReverbWetDryMix);
    const float shelfGain = value(EffectInput::LowShelfGain);
    const float centre = value(EffectInput::BandPassCenterFrequency);
    const float bandwidth = value(EffectInput::BandPassBandwidth);
    const float lowCutoff = value(EffectInput::LowPassCutoff);
    const float highCutoff = value(EffectInput::HighPassCutoff);
    set(pitch, 1, pitchValue);
    set(reverb, 0, wetDry);
    set(reverb, 1, value(EffectInput::ReverbSmallLargeMix));
    set(lowShelf, 0, value(EffectInput::LowShelfCutoff));
    set(lowShelf, 1, shelfGain);
    set(bandPass, 0, centre);
    set(bandPass, 1, bandwidth);
    set(lowPass, 0, float(std::max(double(lowCutoff), 10.0)));
    set(lowPass, 1, value(EffectInput::LowPassResonance));
    set(highPass, 0, float(std::max(double(highCutoff), 10.0)));
    set(highPass, 1, value(EffectInput::HighPassResonance));
    set(eq, 0, value(EffectInput::GlobalGain));
    const auto& bands = effectinputs::bandGains();
    for (uint32_t b = 0; b < 10; ++b) set(eq, units::NBandEQUnit::kGain + b, value(bands[b]));
    if (eq)
        for (uint32_t b = 0; b < 10; ++b) {
            set(eq, units::NBandEQUnit::kFilterType + b, 0.0f);
            set(eq, units::NBandEQUnit::kFrequency + b, kBandFrequencies[b]);
            set(eq, units::NBandEQUnit::kBypassBand + b, 0.0f);
        }

    context->setFlag(BuiltInUnit::Pitch, pitch && pitchValue != 1.0f);
    context->setFlag(BuiltInUnit::Reverb, reverb && wetDry != 0.0f);
    context->setFlag(BuiltInUnit::LowShelf, lowShelf && shelfGain != 0.0f);
    context->setFlag(BuiltInUnit::BandPass, bandPass && bandPassActive(centre, bandwidth));
    context->setFlag(BuiltInUnit::LowPass, lowPass && lowPassActive(lowCutoff));
    context->setFlag(BuiltInUnit::HighPass, highPass && highPassActive(highCutoff));
    context->setFlag(BuiltInUnit::EQ, eq && eqInputsNonZero());

    if (controller && controller->loadTapFromProject()) {
        std::weak_ptr<MusicFilter> weak = weak_from_this();
        MainQueue::async([weak] {
            auto track = weak.lock();
            if (!track) return;
            AudioControllerServices* c = track->audioController();
            if (!c) return;
            if (track->canUpdateAudioUnits) c->updateAudioUnitsForFilter(track.get());
            else track->canUpdateAudioUnits = true;
            c->countOffProjectTap();
        });
    }
}

// ---------------------------------------------------------------------------
// Pushing changed inputs

void MusicFilter::updateAudioMixState() {
    if (!playerAsset || trackID == -1) return;
    const float level = value(EffectInput::AudioMix), repeat = value(EffectInput::Repeat),
                fadeIn = value(EffectInput::FadeIn), fadeOut = value(EffectInput::FadeOut),
                balance = value(EffectInput::ChannelMix);
    if (volumeMix != double(level) || fadeInMix != double(fadeIn) || fadeOutMix != double(fadeOut)) {
        mixAudioToVolume(level);
        volumeMix = level;
        fadeInMix = fadeIn;
        fadeOutMix = fadeOut;
    }
    if (repeatMix != double(repeat)) {
        updateRepeatValue();
        repeatMix = repeat;
    }
    if (channelMix != double(balance)) {
        updateChannelMixValue();
        channelMix = balance;
    }
    speedMix = value(EffectInput::Speed);

    const float global = value(EffectInput::GlobalGain);
    if (globalGainMix != double(global)) {
        updateGlobalGain();
        globalGainMix = global;
    }
    double* bandMix[10] = {&gain32Mix, &gain64Mix, &gain125Mix, &gain250Mix, &gain500Mix,
                           &gain1KMix, &gain2KMix, &gain4KMix, &gain8KMix, &gain16KMix};
    const auto& bands = effectinputs::bandGains();
    for (uint32_t i = 0; i < 10; ++i) {
        const float g = value(bands[i]);
        if (*bandMix[i] != double(g)) {
            updateGainValue(g, i);
            *bandMix[i] = g;
        }
    }

    auto pair = [this](double& mixA, EffectInput a, double& mixB, EffectInput b, void (MusicFilter::*push)()) {
        const float va = value(a), vb = value(b);
        if (mixA != double(va) || mixB != double(vb)) {
            (this->*push)();
            mixA = va;
            mixB = vb;
        }
    };
    pair(lowPassCutoffMix, EffectInput::LowPassCutoff, lowPassResonanceMix, EffectInput::LowPassResonance,
         &MusicFilter::updateLowPassValue);
    pair(highPassCutoffMix, EffectInput::HighPassCutoff, highPassResonanceMix,
         EffectInput::HighPassResonance, &MusicFilter::updateHighPassValue);
    pair(bandPassCenterFrequencyMix, EffectInput::BandPassCenterFrequency, bandPassBandwidthMix,
         EffectInput::BandPassBandwidth, &MusicFilter::updateBandPassValue);
    pair(lowShelfGainMix, EffectInput::LowShelfGain, lowShelfCutoffMix, EffectInput::LowShelfCutoff,
         &MusicFilter::updateLowShelfValue);
    const float pitch = value(EffectInput::Pitch);
    if (pitchMix != double(pitch)) {
        updatePitchValue();
        pitchMix = pitch;
    }
    pair(reverbWetDryMix, EffectInput::ReverbWetDryMix, reverbSmallLargeMix,
         EffectInput::ReverbSmallLargeMix, &MusicFilter::updateReverbValue);
}

TrackTapContext* MusicFilter::tapContextOrMakeTap() {
    if (!mixInput()) return nullptr;
    if (auto* context = getProcessorContext()) return context;
    // The new tap takes every value from the inputs once it is prepared.
    applyAudioEffectAndResetAudioUnits(true);
    mixAudioToVolume(volumeMix);
    return nullptr;
}

void MusicFilter::pushUnitParameters(BuiltInUnit which, const UnitPush* values, int count,
                                     bool active, const QWidget* view) {
    if (!mixInput()) return;
    TrackTapContext* context = getProcessorContext();
    if (!context) {
        // Making the tap sets every unit from the inputs once it is prepared.
        applyAudioEffectAndResetAudioUnits(true);
        if (auto* controller = audioController()) controller->resetPlayerItemAudioMixForFilter(this);
        return;
    }
    units::Unit* unit = context->unit(which).load();
    if (!unit) {
        context->setFlag(which, false);
        return;
    }
    // A unit view shown in the panel follows the change; the track's own
    // listener does not hear it back.
    const uint32_t inPanel = which == BuiltInUnit::LowPass    ? LowPassInPanel
                             : which == BuiltInUnit::HighPass ? HighPassInPanel
                             : which == BuiltInUnit::BandPass ? BandPassInPanel
                                                              : 0u;
    const bool notify = view && (unitViewsInPanel.load(std::memory_order_acquire) & inPanel) != 0;
    for (int i = 0; i < count; ++i) {
        if (notify)
            units::setParameterAndNotify(context->parameterListener.get(), this, unit, values[i].id,
                                         Scope::Global, 0, values[i].value);
        else
            unit->setParameter(values[i].id, Scope::Global, 0, values[i].value);
    }
    context->setFlag(which, active && context->unit(which).load());
}

void MusicFilter::updateGainValue(double v, uint32_t index) {
    const UnitPush p[] = {{units::NBandEQUnit::kGain + index, float(v)}};
    pushUnitParameters(BuiltInUnit::EQ, p, 1, eqInputsNonZero(), nullptr);
}

void MusicFilter::updateGlobalGain() {
    const UnitPush p[] = {{0, value(EffectInput::GlobalGain)}};
    pushUnitParameters(BuiltInUnit::EQ, p, 1, eqInputsNonZero(), nullptr);
}

void MusicFilter::updateLowPassValue() {
    const float cutoff = value(EffectInput::LowPassCutoff);
    const UnitPush p[] = {{0, float(std::max(double(cutoff), 10.0))},
                          {1, value(EffectInput::LowPassResonance)}};
    pushUnitParameters(BuiltInUnit::LowPass, p, 2, lowPassActive(cutoff), audioUnitLowPassView.data());
}

void MusicFilter::updateHighPassValue() {
    const float cutoff = value(EffectInput::HighPassCutoff);
    const UnitPush p[] = {{0, float(std::max(double(cutoff), 10.0))},
                          {1, value(EffectInput::HighPassResonance)}};
    pushUnitParameters(BuiltInUnit::HighPass, p, 2, highPassActive(cutoff), audioUnitHighPassView.data());
}

void MusicFilter::updateBandPassValue() {
    const float centre = value(EffectInput::BandPassCenterFrequency);
    const float bandwidth = value(EffectInput::BandPassBandwidth);
    const UnitPush p[] = {{0, centre}, {1, bandwidth}};
    pushUnitParameters(BuiltInUnit::BandPass, p, 2, bandPassActive(centre, bandwidth),
                       audioUnitBandPassView.data());
}

void MusicFilter::updateLowShelfValue() {
    const float gain = value(EffectInput::LowShelfGain);
    const UnitPush p[] = {{0, value(EffectInput::LowShelfCutoff)}, {1, gain}};
    pushUnitParameters(BuiltInUnit::LowShelf, p, 2, gain != 0.0f, nullptr);
}

void MusicFilter::updatePitchValue() {
    const float pitch = value(EffectInput::Pitch);
    const UnitPush p[] = {{1, pitch}};
    pushUnitParameters(BuiltInUnit::Pitch, p, 1, pitch != 1.0f, nullptr);
}

void MusicFilter::updateReverbValue() {
    const float wetDry = value(EffectInput::ReverbWetDryMix);
    const UnitPush p[] = {{0, wetDry}, {1, value(EffectInput::ReverbSmallLargeMix)}};
    pushUnitParameters(BuiltInUnit::Reverb, p, 2, wetDry != 0.0f, nullptr);
}

void MusicFilter::updateRepeatValue() {
    TrackTapContext* context = tapContextOrMakeTap();
    if (!context) return;
    auto composition = currentComposition.lock();
    const CompositionTrack* C = composition ? composition->trackWithTrackID(trackID) : nullptr;
    if (!C) return;
    const float speed = value(EffectInput::Speed);
    const double pass = currentTimeRange().duration.seconds() / speed;
    context->contextTrackPassDuration.store(pass);
    context->contextTrackTimeScale.store(uint32_t(C->naturalTimeScale()));
    const MediaTime d = animationStart() - MediaTime::fromSeconds(compositionStartTime, scaleOr(timeScale));
    context->contextTrackStartTime.store(d.seconds());
    context->contextRepeatCount.store(value(EffectInput::Repeat));
    if (auto ratio = trackDurationRatio()) context->contextTrackDurationRatio.store(*ratio);
    mixAudioToVolume(volumeMix);
}

std::optional<double> MusicFilter::trackDurationRatio() const {
    auto composition = currentComposition.lock();
    const CompositionTrack* C = composition ? composition->trackWithTrackID(trackID) : nullptr;
    const MediaTimeRange R = currentTimeRange();
    if (!C || !(R.duration > MediaTime::zero())) return std::nullopt;
    const MediaTime d = animationStart() - MediaTime::fromSeconds(compositionStartTime, scaleOr(timeScale));
    double covered = C->duration().seconds();
    if (d < MediaTime::zero()) covered += std::fabs(d.seconds());
    return covered / R.duration.seconds();
}

void MusicFilter::updateChannelMixValue() {
    TrackTapContext* context = tapContextOrMakeTap();
    if (!context) return;
    context->contextTrackChannelMix.store(double(value(EffectInput::ChannelMix)));
}
