#pragma once

// The dynamics units. Levels are peak levels in dBFS (a sine of amplitude 1
// reads 0 dB); the channels are linked (one gain for all). Parameter tables
// (global scope, element 0; stable identifiers):
//
// Dynamics processor "dcmp" (compressor above the threshold, downward
// expander below the expansion threshold):
//   0  Threshold            dB     -60 .. 0       default -20
//   1  Ratio                ratio    1 .. 50      default 4   (compression)
//   2  Attack Time          s   0.0001 .. 0.2     default 0.001
//   3  Release Time         s     0.01 .. 3       default 0.05
//   4  Master Gain          dB     -40 .. 40      default 0
//   5  Knee Width           dB       0 .. 24      default 0
//   6  Expansion Ratio      ratio    1 .. 50      default 1   (off)
//   7  Expansion Threshold  dB    -120 .. 0       default -100
//
// Multiband compressor "mcmp" (four bands split by fourth-order
// Linkwitz-Riley crossovers, which sum back flat):
//   0  Pre-gain             dB     -40 .. 40      default 0
//   1  Post-gain            dB     -40 .. 40      default 0
//   2  Crossover 1          Hz      20 .. 20000   default 200
//   3  Crossover 2          Hz      20 .. 20000   default 2000
//   4  Crossover 3          Hz      20 .. 20000   default 8000
//   5..8    Band 1..4 Threshold  dB  -60 .. 0     default -20
//   9..12   Band 1..4 Ratio      ratio 1 .. 50    default 2
//   13..16  Band 1..4 Gain       dB  -40 .. 40    default 0
//   17 Attack Time          s   0.0001 .. 0.2     default 0.005
//   18 Release Time         s     0.01 .. 3       default 0.1
//
// Peak limiter "lmtr" (look-ahead: the output never exceeds the ceiling;
// the look-ahead is the attack time; the output is delayed by the longest
// look-ahead, 30 ms, whatever the attack, and that is the latency):
//   0  Attack Time          s    0.001 .. 0.03    default 0.012
//   1  Decay Time           s    0.001 .. 0.06    default 0.024
//   2  Pre-gain             dB     -40 .. 40      default 0
//   3  Ceiling              dB     -40 .. 0       default 0

#include "platform/units/Dsp.h"
#include "platform/units/Unit.h"

#include <atomic>
#include <vector>

namespace units {

// Gain computer and envelope shared by the compressors.
struct Compressor {
    double envelope = 0;   // linear peak envelope
    double attack = 0, release = 0;
    double gain = 1;       // gain applied at the end of the last block

    void setTimes(double attackSeconds, double releaseSeconds, double sr) {
        attack = dsp::onePoleCoefficient(attackSeconds, sr);
        release = dsp::onePoleCoefficient(releaseSeconds, sr);
    }
    void follow(double peak) {
        const double c = peak > envelope ? attack : release;
        envelope = peak + (envelope - peak) * c;
    }
};

class DynamicsProcessorUnit : public EffectUnit {
public:
    DynamicsProcessorUnit();
protected:
    Status doInitialize() override;
    void doReset() override { comp_ = {}; }
    void process(float* const* ch, uint32_t n, uint32_t frames) override;
private:
    float value(ParameterID id) const { return parameterSlot(id).load(std::memory_order_relaxed); }
    double gainDbFor(double levelDb) const;
    Compressor comp_;
};

class MultibandCompressorUnit : public EffectUnit {
public:
    MultibandCompressorUnit();
protected:
    Status doInitialize() override;
    void doReset() override;
    void parameterChanged(ParameterID, float) override { dirty_.store(true); }
    void process(float* const* ch, uint32_t n, uint32_t frames) override;
private:
    float value(ParameterID id) const { return parameterSlot(id).load(std::memory_order_relaxed); }
    void design();
    // A stereo slice on processors with wide vectors (see the .cpp).
    void processPairWide(float* const* ch, uint32_t frames);
    // Per crossover: low-pass and high-pass (two sections each) and the
    // matching all-pass for the bands below it.
    dsp::BiquadCoefficients lp_[3], hp_[3], ap_[3];
    struct ChannelState {
        dsp::BiquadState lp[3][2], hp[3][2], ap[3][3];
    };
    std::vector<ChannelState> state_;
    std::vector<float> bands_;  // [band][channel][frame]; [frame][band][channel] in processPairWide
    std::vector<double> blockEnvelopes_;  // [block][band]: the envelopes at the end of each block
    Compressor comp_[4];
    std::atomic<bool> dirty_{true};
};

class PeakLimiterUnit : public EffectUnit {
public:
    PeakLimiterUnit();
    double latency() const override;
protected:
    Status doInitialize() override;
    void doReset() override;
    void process(float* const* ch, uint32_t n, uint32_t frames) override;
private:
    float value(ParameterID id) const { return parameterSlot(id).load(std::memory_order_relaxed); }
    void restart(uint32_t lookahead);
    uint32_t capacity_ = 0;   // the longest look-ahead, in frames
    uint32_t lookahead_ = 1;  // current look-ahead L
    std::vector<float> delay_;  // [channel][capacity]
    std::vector<double> ratio_;  // required gains, ring of capacity
    std::vector<uint32_t> minQueue_;  // indices of a monotonic queue over ratio_
    uint32_t qHead_ = 0, qTail_ = 0;
    std::vector<double> envRing_;  // smoothed gains of the last L frames
    double envSum_ = 0, envelope_ = 1;
    uint64_t frame_ = 0;
};

}  // namespace units
