#include "platform/units/SoundFontUnit.h"

#include "platform/units/Component.h"

#include <algorithm>
#include <cstring>

namespace units {

using namespace soundfontunit;

SoundFontUnit::SoundFontUnit(FourCC subtype, const QString& name, const QString& soundFontPath)
    : Unit({componenttype::MusicDevice, subtype, kBuiltInManufacturer}, name, 0, 1),
      soundFontPath_(soundFontPath) {
    addParameter(kGain, {QStringLiteral("Gain"), ParameterUnit::Decibels, -40.f, 12.f, 0.f});
    addParameter(kReverb, {QStringLiteral("Reverb"), ParameterUnit::Boolean, 0.f, 1.f, 1.f});
    addParameter(kChorus, {QStringLiteral("Chorus"), ParameterUnit::Boolean, 0.f, 1.f, 0.f});
    // Loaded here, at the usual rate, so that an asynchronous instantiation
    // does the slow part off the main thread.
    synth_ = std::make_unique<SoundFontSynth>(44100.0, soundFontPath_);
    applyParameters();
}

SoundFontUnit::~SoundFontUnit() = default;

void SoundFontUnit::applyParameters() {
    if (!synth_) return;
    synth_->setGainDecibels(parameterSlot(kGain).load());
    synth_->setReverbOn(parameterSlot(kReverb).load() > 0.5f);
    synth_->setChorusOn(parameterSlot(kChorus).load() > 0.5f);
}

Status SoundFontUnit::doInitialize() {
    if (!synth_ || synth_->sampleRate() != sampleRate()) synth_ = std::make_unique<SoundFontSynth>(sampleRate(), soundFontPath_);
    if (!synth_->isValid()) return Status::FailedInitialization;
    applyParameters();
    scratch_.assign(maximumFramesPerSlice(), 0.f);
    return Status::Ok;
}

void SoundFontUnit::doUninitialize() { scratch_ = {}; }

void SoundFontUnit::doReset() {
    if (synth_) synth_->reset();
}

void SoundFontUnit::parameterChanged(ParameterID id, float value) {
    if (!synth_) return;
    switch (id) {
    case kGain: synth_->setGainDecibels(value); break;
    case kReverb: synth_->setReverbOn(value > 0.5f); break;
    case kChorus: synth_->setChorusOn(value > 0.5f); break;
    default: break;
    }
}

Status SoundFontUnit::midiEvent(uint32_t status, uint32_t data1, uint32_t data2, uint32_t) {
    if (!synth_) return Status::Uninitialized;
    return synth_->midiEvent(uint8_t(status), uint8_t(data1), uint8_t(data2)) ? Status::Ok : Status::InvalidPropertyValue;
}

Status SoundFontUnit::doRender(RenderActionFlags&, const TimeStamp&, uint32_t, uint32_t frames, BufferList& io) {
    const uint32_t n = std::min(io.numberBuffers, outputChannelCount());
    if (n == 0) return Status::Ok;
    for (uint32_t i = 0; i < n; ++i)
        if (!io.channel(i)) return Status::ParamError;
    float* left = io.channel(0);
    float* right = n > 1 ? io.channel(1) : scratch_.data();
    synth_->render(frames, left, right);
    if (n == 1)
        for (uint32_t i = 0; i < frames; ++i) left[i] = 0.5f * (left[i] + right[i]);
    for (uint32_t c = 2; c < n; ++c) std::memset(io.channel(c), 0, frames * sizeof(float));
    return Status::Ok;
}

void registerSoundFontInstruments(ComponentRegistry& registry) {
    struct Entry {
        FourCC subtype;
        const char* name;
    } entries[] = {{kSamplerSubType, "Apple: AU Sampler"}, {kDLSSynthSubType, "Apple: DLS Synth"}};
    for (const Entry& e : entries) {
        const QString name = QString::fromLatin1(e.name);
        const FourCC subtype = e.subtype;
        registry.registerComponent({componenttype::MusicDevice, subtype, kBuiltInManufacturer}, name, 0,
                                   [subtype, name]() -> std::unique_ptr<Unit> {
                                       auto unit = std::make_unique<SoundFontUnit>(subtype, name);
                                       if (!unit->isValid()) return nullptr;
                                       return unit;
                                   });
    }
}

}  // namespace units
