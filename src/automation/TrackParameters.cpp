// Track parameter records: built from a track, applied to one, and the
// conversions of a track's curves to and from fractions of its source.
#include "automation/TrackParameters.h"

#include "app/AudioController.h"
#include "engine/EngineConstants.h"
#include "engine/MusicFilter.h"

#include <algorithm>
#include <cmath>

std::optional<float> TrackParametersRecord::valueForKey(const QString& key) const {
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        if (key == QLatin1String(effectControlTable[i].key)) return inputs[i];
    return std::nullopt;
}

namespace {

// The built-in units with a switch of their own on the track: every type
// index but the three filter units driven by the effect inputs.
bool hasSwitch(uint64_t type) { return type <= 6 || (type >= 10 && type <= 13); }

bool switchOf(const MusicFilter& f, uint64_t type) {
    switch (type) {
    case 0: return f.getNBandEQEnabled();
    case 1: return f.get31BandEQEnabled();
    case 2: return f.getAUFilterEnabled();
    case 3: return f.getDynamicProcessorEnabled();
    case 4: return f.getMultibandCompressorEnabled();
    case 5: return f.getDistortionEnabled();
    case 6: return f.getDelayEnabled();
    case 10: return f.getPeakLimiterEnabled();
    case 11: return f.getPitchFilterEnabled();
    case 12: return f.getMatrixRFilterEnabled();
    case 13: return f.getNewFilter0Enabled();
    default: return false;
    }
}

void setSwitch(MusicFilter& f, uint64_t type, bool on) {
    switch (type) {
    case 0: f.updateNBandEQEnabled(on); break;
    case 1: f.updateGraphicBandEQEnabled(on); break;
    case 2: f.updateAUFilterEnabled(on); break;
    case 3: f.updateDynamicProcessorEnabled(on); break;
    case 4: f.updateMultibandCompressorEnabled(on); break;
    case 5: f.updateDistortionEnabled(on); break;
    case 6: f.updateDelayEnabled(on); break;
    case 10: f.updatePeakLimiterEnabled(on); break;
    case 11: f.updatePitchFilterEnabled(on); break;
    case 12: f.updateMatrixRFilterEnabled(on); break;
    case 13: f.updateNewFilter0Enabled(on); break;
    default: break;
    }
}

// The 27 values of a track in control order.
std::array<float, EffectInputCount> inputsOf(const MusicFilter& f) {
    std::array<float, EffectInputCount> values{};
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        values[i] = f.valueForKey(QString::fromLatin1(effectControlTable[i].key)).toFloat();
    return values;
}

void setInputs(MusicFilter& f, const std::array<float, EffectInputCount>& values) {
    for (size_t i = 0; i < effectControlTable.size(); ++i)
        f.setValueForKey(QString::fromLatin1(effectControlTable[i].key), values[i]);
}

}  // namespace

TrackParametersRecord AudioController::parametersDictionaryAtIndex(quint64 index) {
    TrackParametersRecord record;
    MusicFilter* f = trackAt(index);
    if (!f) return record;
    record.inputs = inputsOf(*f);
    record.filterAudioUnits = listenerAudioUnitsParametersArray(f, true);
    return record;
}

std::vector<ListenerParameterRecord> AudioController::listenerAudioUnitsParametersArray(MusicFilter* f,
                                                                                        bool update) {
    std::vector<ListenerParameterRecord> out;
    if (!f) return out;
    // The switches are read once, before the band count is read again.
    std::array<bool, 14> switches{};
    for (uint64_t t = 0; t < switches.size(); ++t)
        if (hasSwitch(t)) switches[t] = switchOf(*f, t);
    if (update) f->updateNBandEQNumberOfBands();
    const auto& plugins = f->pluginsArray();
    out.reserve(f->listenerParameters.size());
    for (const MAudioParameter& p : f->listenerParameters) {
        ListenerParameterRecord r;
        if (update) {
            bool on = p.type < switches.size() && hasSwitch(p.type) && switches[p.type];
            for (const PluginRecord& plugin : plugins)
                if (plugin.audioUnitType == p.type) {
                    on = plugin.audioUnitEnabled;
                    break;
                }
            r.filterAudioUnitEnabled = on ? 1 : 0;
        } else {
            r.filterAudioUnitEnabled = p.enabled;
        }
        r.filterAudioUnitType = p.type;
        r.filterAudioUnitParameterID = p.parameterID;
        r.filterAudioUnitParameterValue = p.value;
        r.filterAudioUnitNBandProp = f->nBandEQNumberOfBandsProperty;
        r.filterAudioUnitNBandPropSize = f->nBandEQNumberOfBandsPropertySize;
        out.push_back(r);
    }
    return out;
}

void AudioController::updateListenerAudioUnitsFromArray(const std::vector<ListenerParameterRecord>* array,
                                                        MusicFilter* f, PluginSwitches plugins) {
    if (!array || !f) return;
    // Merge the snapshots: a record replaces the first snapshot of its unit
    // and parameter, or is appended; nothing is removed.
    auto& list = f->listenerParameters;
    for (const ListenerParameterRecord& r : *array) {
        const MAudioParameter p{r.filterAudioUnitType, uint8_t(r.filterAudioUnitEnabled ? 1 : 0),
                                r.filterAudioUnitParameterID, r.filterAudioUnitParameterValue};
        auto it = std::find_if(list.begin(), list.end(), [&](const MAudioParameter& e) {
            return e.type == p.type && e.parameterID == p.parameterID;
        });
        if (it != list.end()) *it = p;
        else list.push_back(p);
    }
    // The switches: the first snapshot of each built-in unit decides it. A
    // switch rewrites the enabled byte of its unit's snapshots, so the list
    // is read afresh at each step.
    for (size_t i = 0; i < list.size(); ++i)
        if (hasSwitch(list[i].type)) setSwitch(*f, list[i].type, list[i].enabled != 0);
    // The plug-ins take the enabled byte of their first snapshot; one
    // without any is switched off.
    if (plugins == PluginSwitches::FromRecord) {
        QList<PluginRecord> records = f->pluginsArray();
        for (PluginRecord& plugin : records) {
            auto it = std::find_if(list.begin(), list.end(),
                                   [&](const MAudioParameter& e) { return e.type == plugin.audioUnitType; });
            plugin.audioUnitEnabled = it != list.end() && it->enabled != 0;
        }
        if (!records.isEmpty()) f->setPluginsArray(records);
    } else {
        // The plug-ins' snapshots carry who is on as the user set it, so
        // that writing them into the units leaves every plug-in as it is.
        const QList<PluginRecord>& records = f->pluginsArray();
        for (int j = 0; j < records.size(); ++j) {
            const uint8_t on = f->pluginEnabledAsSet(j) ? 1 : 0;
            for (MAudioParameter& e : list)
                if (e.type == records[j].audioUnitType) e.enabled = on;
        }
    }
    // The band count comes from the first record; an empty array keeps the
    // track's own.
    if (!array->empty()) {
        f->nBandEQNumberOfBandsProperty = array->front().filterAudioUnitNBandProp;
        f->nBandEQNumberOfBandsPropertySize = array->front().filterAudioUnitNBandPropSize;
    }
}

void AudioController::copyFilterValuesFromDictionary(const TrackParametersRecord& source,
                                                     const TrackRecord& destination) {
    MusicFilter* f = destination.audioFilter.get();
    if (!f) return;
    setInputs(*f, source.inputs);
    f->tempAudioUnitsArray = source.filterAudioUnits.value_or(std::vector<ListenerParameterRecord>{});
    updateListenerAudioUnitsFromArray(source.filterAudioUnits ? &*source.filterAudioUnits : nullptr, f);
}

void AudioController::copyFilterValuesFromDictionary(const TrackRecord& source, const TrackRecord& destination) {
    MusicFilter* f = destination.audioFilter.get();
    if (!f || !source.audioFilter) return;
    setInputs(*f, inputsOf(*source.audioFilter));
    f->tempAudioUnitsArray.clear();
}

// ---- Curves as fractions of a track's source -----------------------------------------

namespace {

struct SourceGeometry {
    double A = 0, S = 0, v = 1, D = 0;
};

SourceGeometry geometryOf(const MusicFilter& f) {
    SourceGeometry g;
    g.A = f.animationStart().seconds();
    g.S = f.currentTimeRange().start.seconds();
    g.v = f.value(EffectInput::Speed);
    if (!(g.v > 0)) g.v = 1;
    g.D = f.durationInSeconds;
    return g;
}

std::optional<int32_t> boundaryFlag(const KeyPoint& p) {
    return p.flag ? std::optional<int32_t>(KeyPoint::kRecordingBoundary) : std::nullopt;
}

}  // namespace

KeyPointCurve AudioController::modifyInPercentKeyValues(const KeyPointCurve& curve, const MusicFilter& f) {
    const SourceGeometry g = geometryOf(f);
    KeyPointCurve out;
    out.reserve(curve.size());
    for (const KeyPoint& p : curve) {
        // A source of no length has every point at its start.
        double fraction = g.D > 0 ? ((p.time - g.A) + g.S / g.v) / (g.D / g.v) : 0.0;
        if (!std::isfinite(fraction)) fraction = 0.0;
        out.push_back(KeyPoint{std::clamp(fraction, 0.0, 1.0), p.value, boundaryFlag(p)});
    }
    return out;
}

KeyPointCurve AudioController::modifyInRelativeTimeKeyValues(const KeyPointCurve& curve, const MusicFilter& f) {
    const SourceGeometry g = geometryOf(f);
    KeyPointCurve out;
    out.reserve(curve.size());
    for (const KeyPoint& p : curve)
        out.push_back(KeyPoint{g.A - g.S / g.v + p.time * g.D / g.v, p.value, boundaryFlag(p)});
    return out;
}

TrackCurves AudioController::createRecordedDictionaryForPresetAtIndex(quint64 index) {
    TrackCurves out;
    MusicFilter* f = trackAt(index);
    if (!f) return out;
    auto it = automation.recordedParameters.find(f->identifierOfFilter);
    if (it == automation.recordedParameters.end()) return out;
    for (const auto& [key, curve] : it->second) out[key] = modifyInPercentKeyValues(curve, *f);
    return out;
}
