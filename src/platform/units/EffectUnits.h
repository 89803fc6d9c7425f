#pragma once

// Delay, reverb, distortion and panner. Parameter tables (global scope,
// element 0; stable identifiers):
//
// Delay "dely" (the low-pass acts on the repeats only, so the first echo is
// the input exactly, delayed):
//   0  Dry/Wet Mix        %       0 .. 100      default 50
//   1  Delay Time         s       0 .. 2        default 1 (at least one frame)
//   2  Feedback           %   -99.9 .. 99.9     default 50
//   3  Low-pass Cutoff    Hz     10 .. 22050    default 15000
//
// Matrix reverb "mrev" (two feedback-delay networks, a small and a large
// room, eight lines each, mixed by the small/large mix):
//   0  Dry/Wet Mix        %       0 .. 100      default 40
//   1  Small/Large Mix    %       0 .. 100      default 50
//   2  Pre-delay          s   0.001 .. 0.1      default 0.02
//   3  Small Room Decay   s     0.1 .. 4        default 0.6  (time to fall 60 dB)
//   4  Large Room Decay   s     0.5 .. 12       default 2.5
//   5  Damping Frequency  Hz   1000 .. 20000    default 8000 (high frequencies
//                                                decay faster above it)
//
// Distortion "dist":
//   0  Drive              dB      0 .. 60       default 12
//   1  Shape              indexed 0 .. 2        default 0: "Soft Clip",
//                                                "Hard Clip", "Asymmetric"
//   2  Tone               Hz    500 .. 20000    default 12000 (low-pass after the shaper)
//   3  Output Gain        dB    -40 .. 20       default 0
//   4  Dry/Wet Mix        %       0 .. 100      default 100
//
// Panner "hrtf" (type "aupn"; the input's channels are mixed to one source
// placed around the listener; the output is stereo, further output channels
// stay silent, a mono output gets the mix):
//   0  Azimuth            degrees -180 .. 180   default 0 (negative: left)
//   1  Elevation          degrees  -90 .. 90    default 0
//   2  Distance           metres   0.1 .. 100   default 1 (gain 1 up to 1 m, then 1/d)
//   3  Rendering Mode     indexed 0 .. 1        default 1: "Equal Power", "Binaural"
//                                                (binaural: interaural delay and head shadow)

#include "platform/units/Dsp.h"
#include "platform/units/Unit.h"

#include <array>
#include <vector>

namespace units {

class DelayUnit : public EffectUnit {
public:
    DelayUnit();
    double tailTime() const override;
protected:
    Status doInitialize() override;
    void doReset() override;
    void process(float* const* ch, uint32_t n, uint32_t frames) override;
private:
    float value(ParameterID id) const { return parameterSlot(id).load(std::memory_order_relaxed); }
    std::vector<float> line_;  // [channel][length]
    std::vector<double> damp_;  // one-pole state per channel
    uint32_t length_ = 0, write_ = 0;
};

class MatrixReverbUnit : public EffectUnit {
public:
    static constexpr int kLines = 8;
    MatrixReverbUnit();
    double tailTime() const override;
protected:
    Status doInitialize() override;
    void doReset() override;
    void process(float* const* ch, uint32_t n, uint32_t frames) override;
private:
    float value(ParameterID id) const { return parameterSlot(id).load(std::memory_order_relaxed); }
    struct Room {
        std::array<std::vector<float>, kLines> lines;
        std::array<uint32_t, kLines> length{};
        std::array<double, kLines> gain{};
        std::array<double, kLines> damp{};
        std::array<uint32_t, kLines> pos{};
        void clear();
    };
    void tune(Room& room, double decay, double damping);
    // The whole slice in blocks of eight frames, on processors with wide
    // vectors (see process()).
    void processBlocks(float* const* ch, uint32_t n, uint32_t frames, uint32_t pre, float damping, float mix,
                       float size);
    Room small_, large_;
    std::vector<float> preDelay_;  // [2][length]
    uint32_t preLength_ = 0, prePos_ = 0;
    double dampCoef_ = 0;
    float lastDecay_[2] = {-1, -1};
    float lastDamping_ = -1;
};

class DistortionUnit : public EffectUnit {
public:
    DistortionUnit();
protected:
    Status doInitialize() override;
    void doReset() override;
    void process(float* const* ch, uint32_t n, uint32_t frames) override;
private:
    float value(ParameterID id) const { return parameterSlot(id).load(std::memory_order_relaxed); }
    std::vector<double> tone_;
};

class PannerUnit : public Unit {
public:
    PannerUnit();
protected:
    Status doInitialize() override;
    void doReset() override;
    Status doRender(RenderActionFlags& flags, const TimeStamp& ts, uint32_t bus, uint32_t frames,
                    BufferList& io) override;
    Status checkFormats() const override;
private:
    float value(ParameterID id) const { return parameterSlot(id).load(std::memory_order_relaxed); }
    std::vector<float> input_;   // [input channel][max frames]
    std::vector<float> mono_;    // the source, with history for the interaural delay
    std::vector<double> delayed_;  // [frame][ear]: the delayed source, on processors with wide vectors
    uint32_t history_ = 0;
    double shadow_[2] = {0, 0};  // head-shadow low-pass state per ear
    double rear_[2] = {0, 0};
    double lastDelay_[2] = {0, 0};
    double lastGain_[2] = {1, 1};
};

}  // namespace units
