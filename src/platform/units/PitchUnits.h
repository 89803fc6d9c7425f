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
// Length and latency: at rate 1 a slice of n frames in gives n frames out,
// the input delayed by latencyFrames(), a constant fixed when the unit is
// initialised (from its sample rate and maximum slice): the longest the
// stretcher can hold input back at any pitch, so the timing of a track does
// not move when the pitch does. The output starts with that much silence;
// an offline render runs on by latency() and trims it from the head. The
// stretcher's own delay, which it misreports once it shifts the pitch, is
// measured with a click at each new pitch (see startDelay()). Should
// the stretcher ever fall behind, the missing frames are silence and as many
// are skipped once they come, so the delay stays the same. While the unit
// has heard only silence since it started, a pitch change starts it over at
// the new pitch, whose alignment the stretcher then knows exactly. reset()
// starts over, the stretcher exactly as new (see startClean()): the same
// input gives the same output, and the same delay, after every start.
//
// The stretcher and its buffers (about 3 MB) are made on demand when the
// host asks for it (Unit::setPartsOnDemand): initialize() then fixes the
// latency only, and prepareForRender() makes them on the calling thread
// (main thread or a worker) and hands them to the render through a
// snapshot; the render starts them over the first time it sees them.

#include "platform/core/Snapshot.h"
#include "platform/units/Unit.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>

namespace RubberBand {
class RubberBandStretcher;
}

namespace units {

class TimePitchUnit : public Unit {
public:
    ~TimePitchUnit() override;
    double latency() const override { return double(latency_.load()) / sampleRate(); }
    uint64_t latencyFrames() const { return latency_.load(); }
    void prepareForRender() override;
    bool readyToRender() const override { return ready_.load(std::memory_order_acquire); }

protected:
    TimePitchUnit(const ComponentDescription& description, const QString& name, bool withRate);
    Status doInitialize() override;
    void doUninitialize() override;
    void doReset() override;
    Status doRender(RenderActionFlags& flags, const TimeStamp& timeStamp, uint32_t bus, uint32_t frames,
                    BufferList& io) override;

private:
    // The stretcher and the memory it works in. Once published, the
    // pointers never change; what they point at is the render's alone.
    struct Stretch {
        ~Stretch();
        std::unique_ptr<RubberBand::RubberBandStretcher> stretcher;
        std::unique_ptr<float[]> in, out;  // channels × maximum slice
        std::unique_ptr<float[]> ring;     // channels × ring capacity
        float* inPtr[BufferList::kCapacity] = {};
        float* outPtr[BufferList::kCapacity] = {};
    };
    std::unique_ptr<Stretch> makeStretch() const;
    uint32_t channels() const { return std::min(outputChannelCount(), BufferList::kCapacity); }

    // ---- render thread (and initialize)
    void restart(const Stretch& s);
    void startClean(const Stretch& s);
    size_t startDelay(const Stretch& s);
    void drain(const Stretch& s);
    void applyParameters(const Stretch& s);

    bool withRate_;
    size_t ringCapacity_ = 0;  // fixed by initialize()
    std::atomic<uint64_t> latency_{0};

    // ---- made off the render thread, read by it
    std::mutex making_;  // one maker at a time; the render never takes it
    realtime::Snapshot<Stretch> stretch_;
    std::atomic<bool> ready_{false};

    // ---- the render's own
    const Stretch* rt_started_ = nullptr;  // the stretch the render has started over
    size_t ringRead_ = 0, ringFill_ = 0;
    size_t discard_ = 0;
    size_t owed_ = 0;       // frames given out as silence, to skip when they come
    double carry_ = 0;
    bool heardSignal_ = false;  // non-silent input since the last start
    bool rt_holdsSignal_ = true;  // the stretcher took sound since it was last cleared
    float appliedPitch_ = 0, appliedRate_ = 1;
    float measuredPitch_ = std::nanf(""), measuredRate_ = std::nanf("");
    size_t measuredDelay_ = 0;
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
