#pragma once

// The General MIDI instruments "Apple: AU Sampler" ('aumu'/'samp') and
// "Apple: DLS Synth" ('aumu'/'dls '): SoundFont synthesisers as units with
// no input element, one stereo output and MIDI input.
//
// Parameters (global scope):
//   0 "Gain"    decibels, -40 ... 12, default 0
//   1 "Reverb"  Boolean, default on
//   2 "Chorus"  Boolean, default off

#include "platform/units/SoundFontSynth.h"
#include "platform/units/Unit.h"

#include <memory>
#include <vector>

namespace units {

namespace soundfontunit {
constexpr FourCC kSamplerSubType = fourCC("samp");
constexpr FourCC kDLSSynthSubType = fourCC("dls ");
constexpr ParameterID kGain = 0;
constexpr ParameterID kReverb = 1;
constexpr ParameterID kChorus = 2;
}  // namespace soundfontunit

class SoundFontUnit : public Unit {
public:
    // Loads the SoundFont; isValid() says whether it could.
    SoundFontUnit(FourCC subtype, const QString& name, const QString& soundFontPath = SoundFontSynth::defaultSoundFontPath());
    ~SoundFontUnit() override;

    bool isValid() const { return synth_ && synth_->isValid(); }
    QString error() const { return synth_ ? synth_->error() : QString(); }
    const QString& soundFontPath() const { return soundFontPath_; }
    int activeVoiceCount() const { return synth_ ? synth_->activeVoiceCount() : 0; }

    // Note on and off, pitch bend, controllers, program changes and pressure,
    // all at the start of the next slice.
    Status midiEvent(uint32_t status, uint32_t data1, uint32_t data2, uint32_t offsetSampleFrame) override;

protected:
    Status doInitialize() override;
    void doUninitialize() override;
    void doReset() override;
    Status doRender(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t bus, uint32_t frames,
                    BufferList& io) override;
    void parameterChanged(ParameterID id, float value) override;

private:
    void applyParameters();
    QString soundFontPath_;
    std::unique_ptr<SoundFontSynth> synth_;
    std::vector<float> scratch_;
};

// Registers the two instruments with the registry.
class ComponentRegistry;
void registerSoundFontInstruments(ComponentRegistry& registry);

}  // namespace units
