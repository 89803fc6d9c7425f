#include "engine/MusicFilter.h"

#include <algorithm>

#include "platform/core/NotificationCenter.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioMix.h"
#include "platform/media/ProcessingTap.h"
#include "platform/units/Unit.h"

#include <QCoreApplication>
#include <QThread>

#include <thread>

namespace {
std::atomic<uint64_t> nextFilterNumber{1};
}  // namespace

std::shared_ptr<MusicFilter> MusicFilter::filterWithName(const QString&) {
    return std::shared_ptr<MusicFilter>(new MusicFilter());
}

MusicFilter::MusicFilter() {
    // A counter, not an address: a new track never takes over the
    // automation of a track that is gone.
    identifierOfFilter = QStringLiteral("MusicFilter-%1").arg(nextFilterNumber.fetch_add(1));
    setTrackColor(QColor::fromRgbF(1.0f, 0.73f, 0.15f, 1.0f));
    referencePathTime = QString();
    publishPluginChain();
    publishNotes();
}

MusicFilter::~MusicFilter() {
    clearAllVideoAssets();
    // Whatever still holds the tap (a player item's copy of the mix) must
    // not reach this object any more.
    if (auto* context = contextOfTap(tap_.lock().get())) detachTap(context);
    // No render reaches the MIDI scheduler now; the manager stops its input
    // before the inbox it writes into goes.
    notesPublished = nullptr;
    midiManager.reset();
    releasePluginUnitsAndContexts();
    NotificationCenter::defaultCenter().removeObserver(this);
    // The plug-in pop-up and check box belong to this track alone, whether
    // the popover holds them at the moment or nothing does.
    // (Once the application object is gone no widget may be touched.)
    if (QCoreApplication::instance())
        for (QPointer<QWidget>* control : {&pluginsPopUpButton, &pluginsCheckButton})
            if (QWidget* w = control->data()) {
                if (w->thread() == QThread::currentThread())
                    delete w;
                else
                    w->deleteLater();
            }
}

// ---------------------------------------------------------------------------
// Effect inputs

QVariant MusicFilter::valueForKey(const QString& key) const {
    auto input = effectinputs::fromKey(key);
    if (!input) return {};
    return QVariant(value(*input));
}

bool MusicFilter::setValueForKey(const QString& key, const QVariant& v) {
    auto input = effectinputs::fromKey(key);
    if (!input) return false;
    bool ok = false;
    float f = v.toFloat(&ok);
    if (!ok) return false;
    setValue(*input, f);
    return true;
}

void MusicFilter::setDefaults() {
    for (auto input : effectinputs::all()) setValue(input, effectinputs::startingValue(input));
}

double& MusicFilter::lastAppliedValue(EffectInput input) {
    switch (input) {
    case EffectInput::Repeat: return repeatMix;
    case EffectInput::Speed: return speedMix;
    case EffectInput::AudioMix: return volumeMix;
    case EffectInput::ChannelMix: return channelMix;
    case EffectInput::Pitch: return pitchMix;
    case EffectInput::ReverbWetDryMix: return reverbWetDryMix;
    case EffectInput::ReverbSmallLargeMix: return reverbSmallLargeMix;
    case EffectInput::LowShelfCutoff: return lowShelfCutoffMix;
    case EffectInput::LowShelfGain: return lowShelfGainMix;
    case EffectInput::FadeIn: return fadeInMix;
    case EffectInput::FadeOut: return fadeOutMix;
    case EffectInput::LowPassCutoff: return lowPassCutoffMix;
    case EffectInput::LowPassResonance: return lowPassResonanceMix;
    case EffectInput::HighPassCutoff: return highPassCutoffMix;
    case EffectInput::HighPassResonance: return highPassResonanceMix;
    case EffectInput::BandPassCenterFrequency: return bandPassCenterFrequencyMix;
    case EffectInput::BandPassBandwidth: return bandPassBandwidthMix;
    case EffectInput::GlobalGain: return globalGainMix;
    case EffectInput::Gain32: return gain32Mix;
    case EffectInput::Gain64: return gain64Mix;
    case EffectInput::Gain125: return gain125Mix;
    case EffectInput::Gain250: return gain250Mix;
    case EffectInput::Gain500: return gain500Mix;
    case EffectInput::Gain1K: return gain1KMix;
    case EffectInput::Gain2K: return gain2KMix;
    case EffectInput::Gain4K: return gain4KMix;
    case EffectInput::Gain8K: return gain8KMix;
    case EffectInput::Gain16K: return gain16KMix;
    }
    return volumeMix;
}

void MusicFilter::setLastAppliedToStartingValues() {
    for (auto input : effectinputs::all()) lastAppliedValue(input) = effectinputs::startingValue(input);
}

// ---------------------------------------------------------------------------
// Notifications

void MusicFilter::setupObserver() {
    auto& center = NotificationCenter::defaultCenter();
    const void* thumbnail = imageView.data();
    center.addObserver(this, QStringLiteral("clearAllVideoAssets"), thumbnail,
                       [this](const Notification&) { clearAllVideoAssets(); });
    center.addObserver(this, QStringLiteral("setupNewPlayerAsset"), thumbnail,
                       [this](const Notification&) { setupNewPlayerAssetFromNotification(); });
}

void MusicFilter::clearAllVideoAssets() {
    playerAsset.reset();
    audioTrack.reset();
    removeTrackFromComposition();
}

// ---------------------------------------------------------------------------
// Level meter

void MusicFilter::setChannelLevels(double left, double right) {
    left_.store(left, std::memory_order_relaxed);
    right_.store(right, std::memory_order_relaxed);
    meterGeneration_.fetch_add(1, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Plug-ins

// A record whose unit is there says how the user left the plug-in; one still
// being re-made leaves that as it was.
void MusicFilter::setPluginsArray(const QList<PluginRecord>& records) {
    pluginsArray_ = records;
    for (const PluginRecord& r : records)
        if (r.audioUnitPointerSet && r.audioUnit) setPluginSwitchedOff(r.audioUnitName, !r.audioUnitEnabled);
    publishPluginChain();
}

void MusicFilter::replacePluginRecord(int index, const PluginRecord& record) {
    if (index < 0 || index >= pluginsArray_.size()) return;
    pluginsArray_[index] = record;
    if (record.audioUnitPointerSet && record.audioUnit) setPluginSwitchedOff(record.audioUnitName, !record.audioUnitEnabled);
    publishPluginChain();
}

int MusicFilter::firstPluginIndexNamed(const QString& name) const {
    for (int i = 0; i < pluginsArray_.size(); ++i)
        if (pluginsArray_[i].audioUnitName == name) return i;
    return -1;
}

ChainUnitRenderContext* MusicFilter::addChainUnitRenderContext(
    std::unique_ptr<ChainUnitRenderContext> c) {
    procRefInfoArray_.push_back(std::move(c));
    publishPluginChain();
    return procRefInfoArray_.back().get();
}

std::unique_ptr<MusicFilter::PluginChain> MusicFilter::chainOfRecords() const {
    auto chain = std::make_unique<PluginChain>();
    for (const auto& r : pluginsArray_) {
        if (!r.audioUnitEnabled || !r.audioUnit) continue;
        uint32_t mode = ChainUnitEffect;
        for (const auto& c : procRefInfoArray_)
            if (c->unit == r.audioUnit) {
                mode = c->mode;
                break;
            }
        chain->entries.push_back({r.audioUnit, mode});
    }
    return chain;
}

void MusicFilter::publishPluginChain() { pluginChain_.publish(chainOfRecords()); }

void MusicFilter::releasePluginUnits(std::vector<units::Unit*> gone) {
    std::sort(gone.begin(), gone.end());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    std::erase_if(gone, [this](units::Unit* u) {
        return !u || std::any_of(pluginsArray_.begin(), pluginsArray_.end(),
                                 [u](const PluginRecord& r) { return r.audioUnit == u; });
    });
    if (gone.empty()) {
        publishPluginChain();
        return;
    }
    // No view may outlive its unit.
    if (auto* controller = audioController()) controller->trackUnitsWillBeFreed(this);
    // Their render contexts leave the list now and go with them.
    std::vector<std::unique_ptr<ChainUnitRenderContext>> contexts;
    for (auto& c : procRefInfoArray_)
        if (std::find(gone.begin(), gone.end(), c->unit) != gone.end()) contexts.push_back(std::move(c));
    std::erase(procRefInfoArray_, nullptr);
    pluginChain_.publishThenRelease(chainOfRecords(), [&] {
        for (const auto& c : contexts)
            if (c->mode == ChainUnitInstrumentNotify && c->unit)
                c->unit->removeRenderNotify(&tracktap::chainUnitRenderCallback, c.get());
        for (units::Unit* u : gone) {
            u->uninitialize();
            delete u;
        }
    });
}

void MusicFilter::setPluginSwitchedOff(const QString& name, bool off) {
    if (filterSwitchedOffPluginsName.contains(name) == off) return;
    if (off) filterSwitchedOffPluginsName.append(name);
    else filterSwitchedOffPluginsName.removeAll(name);
}

bool MusicFilter::pluginEnabledAsSet(int index) const {
    if (index < 0 || index >= pluginsArray_.size()) return false;
    const PluginRecord& r = pluginsArray_[index];
    if (r.audioUnitPointerSet) return r.audioUnitEnabled;
    return filterActivePluginsName.contains(r.audioUnitName) &&
           !filterSwitchedOffPluginsName.contains(r.audioUnitName);
}

// ---------------------------------------------------------------------------
// MIDI notes

void MusicFilter::publishNotes() {
    notes_.publish(std::make_unique<const MidiNoteList>(midiArray));
    if (notesPublished) notesPublished(*this);
}

void MusicFilter::detachTap(TrackTapContext* context) {
    context->trackFilter.store(nullptr);
    context->waitForRenderToLetGo();
}

void MusicFilter::releasePluginUnitsAndContexts() {
    std::vector<units::Unit*> gone;
    QList<PluginRecord> records = pluginsArray_;
    for (auto& r : records) {
        if (r.audioUnit) gone.push_back(r.audioUnit);
        r = PluginRecord{nullptr, r.audioUnitName, false, r.audioUnitType, false};
    }
    pluginsArray_ = records;
    releasePluginUnits(std::move(gone));
    procRefInfoArray_.clear();
}

// ---------------------------------------------------------------------------
// The tap's units and their enable flags

bool MusicFilter::automatesUnit(BuiltInUnit unit) const {
    // Of the units with parts made on demand, only the pitch unit follows a curve.
    if (unit != BuiltInUnit::Pitch) return false;
    auto curves = automation_.read();
    return curves && ((curves->automatedInputs >> static_cast<int>(EffectInput::Pitch)) & 1u);
}

void MusicFilter::publishAutomation(std::unique_ptr<const TrackAutomation> curves) {
    automation_.publish(std::move(curves));
    if (!automatesUnit(BuiltInUnit::Pitch)) return;
    if (TrackTapContext* context = getProcessorContext())
        if (units::Unit* pitch = context->pitchUnit().load()) pitch->prepareForRender();
}

std::shared_ptr<AudioMixInputParameters> MusicFilter::mixInput() const {
    if (trackID == -1) return nullptr;
    auto mix = currentAudioMix.lock();
    if (!mix) return nullptr;
    std::shared_ptr<AudioMixInputParameters> input;
    for (const auto& p : mix->inputParameters())
        if (p->trackID() == trackID) input = p;
    return input;
}

std::shared_ptr<ProcessingTap> MusicFilter::mixInputTap() const {
    auto input = mixInput();
    return input ? input->audioTapProcessor() : nullptr;
}

TrackTapContext* MusicFilter::contextOfTap(const ProcessingTap* tap) {
    return tap ? static_cast<TrackTapContext*>(tap->storage()) : nullptr;
}

TrackTapContext* MusicFilter::getProcessorContext() const {
    return contextOfTap(mixInputTap().get());
}

uint64_t MusicFilter::getTypeForAudioUnit(const units::Unit* unit) const {
    auto* context = getProcessorContext();
    if (!context) return kNoIndex;
    for (int i = 0; i < int(unittype::kBuiltInCount); ++i)
        if (context->unit(builtinunits::unitForTypeIndex(i)).load() == unit) return uint64_t(i);
    for (const auto& r : pluginsArray_)
        if (r.audioUnit == unit) return r.audioUnitType;
    return kNoIndex;
}

units::Unit* MusicFilter::getAudioUnitForType(uint64_t type) const {
    auto* context = getProcessorContext();
    if (!context) return nullptr;
    if (unittype::isBuiltIn(type)) return context->unit(builtinunits::unitForTypeIndex(int(type))).load();
    for (const auto& r : pluginsArray_)
        if (r.audioUnitType == type) return r.audioUnit;
    return nullptr;
}

bool MusicFilter::getAudioUnitEnabledForType(uint64_t type) const {
    auto* context = getProcessorContext();
    if (!context || !unittype::isBuiltIn(type)) return false;
    return context->flag(builtinunits::unitForTypeIndex(int(type))).load() != 0;
}

bool MusicFilter::enabledFlag(BuiltInUnit unit) const {
    auto* context = getProcessorContext();
    return context && context->flag(unit).load() != 0;
}

void MusicFilter::setEnabledFlag(BuiltInUnit unit, bool on) {
    if (auto* context = getProcessorContext())
        context->setFlag(unit, on && context->unit(unit).load());
    const uint64_t index = uint64_t(builtinunits::typeIndex(unit));
    for (auto& p : listenerParameters)
        if (p.type == index) p.enabled = on ? 1 : 0;
}

bool MusicFilter::getNBandEQEnabled() const { return enabledFlag(BuiltInUnit::NBandEQ); }
bool MusicFilter::get31BandEQEnabled() const { return enabledFlag(BuiltInUnit::GraphicEQ); }
bool MusicFilter::getAUFilterEnabled() const { return enabledFlag(BuiltInUnit::AUFilter); }
bool MusicFilter::getDynamicProcessorEnabled() const { return enabledFlag(BuiltInUnit::DynamicProcessor); }
bool MusicFilter::getMultibandCompressorEnabled() const { return enabledFlag(BuiltInUnit::MultibandCompressor); }
bool MusicFilter::getDistortionEnabled() const { return enabledFlag(BuiltInUnit::Distortion); }
bool MusicFilter::getDelayEnabled() const { return enabledFlag(BuiltInUnit::Delay); }
bool MusicFilter::getPeakLimiterEnabled() const { return enabledFlag(BuiltInUnit::PeakLimiter); }
bool MusicFilter::getPitchFilterEnabled() const { return enabledFlag(BuiltInUnit::PitchFilter); }
bool MusicFilter::getMatrixRFilterEnabled() const { return enabledFlag(BuiltInUnit::MatrixReverb); }
bool MusicFilter::getNewFilter0Enabled() const { return enabledFlag(BuiltInUnit::NewFilter0); }
void MusicFilter::updateNBandEQEnabled(bool on) { setEnabledFlag(BuiltInUnit::NBandEQ, on); }
void MusicFilter::updateGraphicBandEQEnabled(bool on) { setEnabledFlag(BuiltInUnit::GraphicEQ, on); }
void MusicFilter::updateAUFilterEnabled(bool on) { setEnabledFlag(BuiltInUnit::AUFilter, on); }
void MusicFilter::updateDynamicProcessorEnabled(bool on) { setEnabledFlag(BuiltInUnit::DynamicProcessor, on); }
void MusicFilter::updateMultibandCompressorEnabled(bool on) { setEnabledFlag(BuiltInUnit::MultibandCompressor, on); }
void MusicFilter::updateDistortionEnabled(bool on) { setEnabledFlag(BuiltInUnit::Distortion, on); }
void MusicFilter::updateDelayEnabled(bool on) { setEnabledFlag(BuiltInUnit::Delay, on); }
void MusicFilter::updatePeakLimiterEnabled(bool on) { setEnabledFlag(BuiltInUnit::PeakLimiter, on); }
void MusicFilter::updatePitchFilterEnabled(bool on) { setEnabledFlag(BuiltInUnit::PitchFilter, on); }
void MusicFilter::updateMatrixRFilterEnabled(bool on) { setEnabledFlag(BuiltInUnit::MatrixReverb, on); }
void MusicFilter::updateNewFilter0Enabled(bool on) { setEnabledFlag(BuiltInUnit::NewFilter0, on); }

void MusicFilter::updateAudioUnitEnabled(bool on, uint64_t type) {
    if (!unittype::isBuiltIn(type) || unittype::isFilterSliderUnit(type)) return;
    setEnabledFlag(builtinunits::unitForTypeIndex(int(type)), on);
}

void MusicFilter::updateAudioUnitPluginEnabled(bool on, uint64_t type) {
    for (int i = 0; i < pluginsArray_.size(); ++i) {
        if (pluginsArray_[i].audioUnitType != type) continue;
        PluginRecord r = pluginsArray_[i];
        r.audioUnitEnabled = on && r.audioUnit;
        replacePluginRecord(i, r);
        // A unit still being re-made takes this state when it arrives, and
        // so do the values kept for it.
        setPluginSwitchedOff(r.audioUnitName, !on);
        for (auto& p : listenerParameters)
            if (p.type == type) p.enabled = on ? 1 : 0;
        return;
    }
}

void MusicFilter::updateAudioUnitsEnabled(bool on) {
    updateNBandEQEnabled(on);
    updateGraphicBandEQEnabled(on);
    updateAUFilterEnabled(on);
    updateDynamicProcessorEnabled(on);
    updateMultibandCompressorEnabled(on);
    updateDistortionEnabled(on);
    updateDelayEnabled(on);
    updatePeakLimiterEnabled(on);
    updatePitchFilterEnabled(on);
    updateMatrixRFilterEnabled(on);
    updateNewFilter0Enabled(on);
    QList<PluginRecord> records = pluginsArray_;
    for (auto& r : records) {
        r.audioUnitEnabled = r.audioUnitPointerSet ? on : false;
        if (filterActivePluginsName.contains(r.audioUnitName)) setPluginSwitchedOff(r.audioUnitName, !on);
        for (auto& p : listenerParameters)
            if (p.type == r.audioUnitType) p.enabled = r.audioUnitEnabled ? 1 : 0;
    }
    setPluginsArray(records);
}
