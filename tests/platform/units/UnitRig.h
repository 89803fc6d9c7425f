#pragma once

// A small harness for the built-in units: makes a unit from the registry,
// feeds it a generated signal through its input callback and renders it in
// slices; testsupport's signals measure the result (levels, FFT spectra).

#include "platform/units/Component.h"
#include "support/Signals.h"

#include <cstdint>
#include <memory>
#include <vector>

using testsupport::Signal;

Signal impulse(size_t frames, size_t at = 0, float value = 1.0f);
Signal noise(size_t frames, float amplitude, uint32_t seed = 1);

class UnitRig {
public:
    UnitRig(units::FourCC type, units::FourCC subtype, double sampleRate = 48000,
            uint32_t channels = 2, uint32_t maxFrames = 4096);
    units::Unit& unit() { return *unit_; }
    double sampleRate() const { return sampleRate_; }

    // Renders the input (the same signal on every channel, or one per
    // channel) in slices of `slice` frames; after the input ends the unit
    // hears silence. `frames` = 0 renders the input's length.
    std::vector<Signal> run(const std::vector<Signal>& input, uint32_t slice = 512, size_t frames = 0);
    Signal runMono(const Signal& input, uint32_t slice = 512, size_t frames = 0) {
        return run({input}, slice, frames)[0];
    }
    // Output level minus input level (dB) for a sine at `hz`, measured over
    // the second half of half a second.
    double gainDb(double hz, double amplitude = 0.25);

    uint64_t renderErrors = 0;
    // Input frames the unit has pulled during the last run.
    size_t consumed() const { return position_; }

private:
    static units::Status feed(void* ref, units::RenderActionFlags*, const units::TimeStamp&,
                              uint32_t, uint32_t frames, units::BufferList* io);
    std::unique_ptr<units::Unit> unit_;
    double sampleRate_;
    uint32_t channels_;
    const std::vector<Signal>* input_ = nullptr;
    size_t position_ = 0;
    double sampleTime_ = 0;
};
