#pragma once

// The filter and equaliser units. Parameter tables (global scope, element 0;
// identifiers are stored in presets and projects and never change):
//
// Low-pass "lpas" and high-pass "hpas" (second order; resonance 0 dB is the
// Butterworth response, -3 dB at the cutoff):
//   0  Cutoff Frequency   Hz     10 .. 22050    default 6900
//   1  Resonance          dB    -20 .. 40       default 0
//
// Band-pass "bpas" (0 dB at the centre):
//   0  Center Frequency   Hz     20 .. 22050    default 5000
//   1  Bandwidth          cents 100 .. 12000    default 600
//
// Low shelf "lshf" (cutoff = the frequency of half the shelf's gain in dB):
//   0  Cutoff Frequency   Hz     10 .. 200      default 80
//   1  Gain               dB    -40 .. 40       default 0
//
// Filter "filt" (a high-pass, a peaking band and a low-pass in series; a
// cutoff at its end of the range switches that filter off):
//   0  Low-pass Cutoff    Hz     10 .. 22050    default 22050 (off)
//   1  Low-pass Resonance dB    -20 .. 40       default 0
//   2  High-pass Cutoff   Hz     10 .. 22050    default 10 (off)
//   3  High-pass Resonance dB   -20 .. 40       default 0
//   4  Peak Frequency     Hz     20 .. 20000    default 1000
//   5  Peak Gain          dB    -24 .. 24       default 0 (off)
//   6  Peak Bandwidth     octaves 0.05 .. 5     default 1
//
// N-band equaliser "nbeq" (1 to 16 bands, 10 by default; the band count is
// the NumberOfBands property, and only the parameters of bands in use are
// listed). For band b:
//   0        Global Gain  dB    -96 .. 24       default 0
//   1000+b   Bypass       boolean               default 1 (bypassed)
//   2000+b   Filter Type  indexed 0 .. 10       default 0 (parametric):
//            0 Parametric, 1 Butterworth Low-pass, 2 Butterworth High-pass,
//            3 Resonant Low-pass, 4 Resonant High-pass, 5 Band-pass,
//            6 Band-stop, 7 Low Shelf, 8 High Shelf, 9 Resonant Low Shelf,
//            10 Resonant High Shelf
//   3000+b   Frequency    Hz     20 .. 22050    default 32, 64, 125, 250,
//            500, 1000, 2000, 4000, 8000, 16000 for bands 0-9, then 1000
//   4000+b   Gain         dB    -96 .. 24       default 0
//   5000+b   Bandwidth    octaves 0.05 .. 5     default 1 (the resonant
//            types take their quality factor from it: Q = 1 / bandwidth)
//
// Graphic equaliser "greq" (peaking bands at fixed ISO frequencies, one
// octave wide with 10 bands, a third of an octave with 31):
//   10000    Number of Bands indexed 0 .. 1     default 0: 0 "10 Band", 1 "31 Band"
//   0 .. 30  Band 1 .. Band 31 gains  dB  -20 .. 20  default 0 (0 .. 9
//            listed with 10 bands at 32 Hz .. 16 kHz, 0 .. 30 with 31 bands
//            at 20 Hz .. 20 kHz)

#include "platform/units/Dsp.h"
#include "platform/units/Unit.h"

#include <array>
#include <atomic>
#include <vector>

namespace units {

// Shared machinery: a series of biquad stages over every channel, designed
// again at the start of a slice whenever a parameter changed.
class BiquadUnit : public EffectUnit {
protected:
    static constexpr int kMaxStages = 32;
    using EffectUnit::EffectUnit;

    Status doInitialize() override;
    void doReset() override;
    void parameterChanged(ParameterID, float) override { dirty_.store(true, std::memory_order_release); }
    void process(float* const* channels, uint32_t channelCount, uint32_t frames) override;

    // Fills the first `count` of `stages` and returns the gain applied after
    // them; identity stages are skipped.
    virtual double design(std::array<dsp::BiquadCoefficients, kMaxStages>& stages, int& count) = 0;
    float value(ParameterID id) const { return parameterSlot(id).load(std::memory_order_relaxed); }

private:
    std::array<dsp::BiquadCoefficients, kMaxStages> stages_{};
    int stageCount_ = 0;
    double gain_ = 1.0;
    std::vector<dsp::BiquadState> state_;  // channel-major: [channel][stage]
    std::atomic<bool> dirty_{true};
};

class LowPassUnit : public BiquadUnit {
public:
    LowPassUnit();
protected:
    double design(std::array<dsp::BiquadCoefficients, kMaxStages>& s, int& n) override;
};

class HighPassUnit : public BiquadUnit {
public:
    HighPassUnit();
protected:
    double design(std::array<dsp::BiquadCoefficients, kMaxStages>& s, int& n) override;
};

class BandPassUnit : public BiquadUnit {
public:
    BandPassUnit();
protected:
    double design(std::array<dsp::BiquadCoefficients, kMaxStages>& s, int& n) override;
};

class LowShelfUnit : public BiquadUnit {
public:
    LowShelfUnit();
protected:
    double design(std::array<dsp::BiquadCoefficients, kMaxStages>& s, int& n) override;
};

class AudioFilterUnit : public BiquadUnit {
public:
    AudioFilterUnit();
protected:
    double design(std::array<dsp::BiquadCoefficients, kMaxStages>& s, int& n) override;
};

class NBandEQUnit : public BiquadUnit {
public:
    static constexpr uint32_t kMaxBands = 16;
    static constexpr uint32_t kDefaultBands = 10;
    // Per-band parameters: the kind plus the band's index (0 to kMaxBands - 1).
    static constexpr ParameterID kBypassBand = 1000;
    static constexpr ParameterID kFilterType = 2000;
    static constexpr ParameterID kFrequency = 3000;
    static constexpr ParameterID kGain = 4000;
    static constexpr ParameterID kBandwidth = 5000;
    enum FilterType {
        Parametric, ButterworthLowPass, ButterworthHighPass, ResonantLowPass, ResonantHighPass,
        BandPass, BandStop, LowShelf, HighShelf, ResonantLowShelf, ResonantHighShelf,
    };
    NBandEQUnit();
protected:
    double design(std::array<dsp::BiquadCoefficients, kMaxStages>& s, int& n) override;
    bool supportsBands() const override { return true; }
    uint32_t doNumberOfBands() const override { return bands_.load(); }
    Status doSetNumberOfBands(uint32_t bands) override;
private:
    std::atomic<uint32_t> bands_{kDefaultBands};
};

class GraphicEQUnit : public BiquadUnit {
public:
    static constexpr ParameterID kNumberOfBands = 10000;
    GraphicEQUnit();
    static const std::array<double, 10>& tenBandFrequencies();
    static const std::array<double, 31>& thirtyOneBandFrequencies();
protected:
    double design(std::array<dsp::BiquadCoefficients, kMaxStages>& s, int& n) override;
    void parameterChanged(ParameterID id, float v) override;
};

}  // namespace units
