#pragma once

#include <cstddef>
#include <optional>

// The arithmetic of a track's level, fades and balance for one render slice.
// The whole slice gets one gain, taken at the slice's start time.
namespace slicegain {

// What shapes one slice: the track's start S and end E in composition
// seconds, fade lengths FI and FO (0 = none) and level V.
struct LevelState {
    double startTime = 0;     // S
    double endTime = 0;       // E
    double fadeIn = 0;        // FI
    double fadeOut = 0;       // FO
    double volume = 1;        // V
};

// The gain of a slice starting at t, before clamping; no value leaves the
// samples unchanged. An automated level replaces fades and V.
std::optional<double> levelGain(double t, const LevelState& s,
                                std::optional<double> automatedLevel = std::nullopt);

// Gains of the left (buffer 0) and right (buffer 1) channels for balance b,
// -1 left only to 1 right only; a balance that is no number is centred.
struct BalanceGains {
    double left = 1;
    double right = 1;
};
BalanceGains balanceGains(double b);

// Multiplies n samples by gain clamped to [0, 1], in double precision; a
// gain that is no number silences them.
void applyGain(float* samples, size_t n, double gain);
// out = clamp(a + b, -1, 1) over n samples; a sum that is no number is 0.
void mixClamped(float* out, const float* a, const float* b, size_t n);
// a = clamp(a + b, -1, 1) over n samples; a sum that is no number is 0.
void accumulateClamped(float* a, const float* b, size_t n);
// Root mean square of n samples, summed in single precision; 0 when n is 0.
float rmsLevel(const float* samples, size_t n);

}  // namespace slicegain
