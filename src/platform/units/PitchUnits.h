#pragma once

// The pitch units, on Rubber Band's real-time engine. Parameter tables
// (global scope, element 0; stable identifiers):
//
// Time-pitch "tmpt" (type "aufx", the panel's pitch unit):
//   0  Rate    rate   0.03125 .. 32     default 1 (playback speed; the unit
//                                       pulls rate × frames of input per slice)
//   1  Pitch   cents    -2400 .. 2400   default 0
//
// Pitch "nutp" (type "aufc", driven by the track's pitch slider):
//   1  Pitch   cents    -2400 .. 2400   default 0
//
// Length: at rate 1 a slice of n frames in gives n frames out. The stretcher
// needs some input before it gives output; the unit outputs silence until
// it has a little more than a slice in hand, and latency() reports the
// frames of silence so inserted, so that an offline render can run on by
// that much and trim it from the head (then the output is exactly as long
// as the input, aligned with it). reset() starts over.

#include "platform/units/Unit.h"

#include <atomic>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace units {

class TimePitchUnit : public Unit {
public:
    ~TimePitchUnit() override;
    double latency() const override { return double(inserted_.load()) / sampleRate(); }
    uint64_t latencyFrames() const { return inserted_.load(); }

protected:
    TimePitchUnit(const ComponentDescription& description, const QString& name, bool withRate);
    Status doInitialize() override;
    void doUninitialize() override;
    void doReset() override;
    Status doRender(RenderActionFlags& flags, const TimeStamp& ts, uint32_t bus, uint32_t frames,
                    BufferList& io) override;

private:
    void restart();
    void drain();
    void applyParameters();
    bool withRate_;
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    std::vector<float> inMemory_, outMemory_, ring_;
    std::vector<float*> inPtr_, outPtr_;
    size_t ringCapacity_ = 0, ringRead_ = 0, ringFill_ = 0;
    size_t margin_ = 0;
    size_t discard_ = 0;
    double carry_ = 0;
    bool started_ = false;
    float appliedPitch_ = 0, appliedRate_ = 1;
    std::atomic<uint64_t> inserted_{0};
};

class TimePitchEffectUnit : public TimePitchUnit {
public:
    TimePitchEffectUnit();
};

class NewTimePitchUnit : public TimePitchUnit {
public:
    NewTimePitchUnit();
};

}  // namespace units
