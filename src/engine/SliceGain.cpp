#include "engine/SliceGain.h"

#include <algorithm>
#include <cmath>

namespace slicegain {

std::optional<double> levelGain(double t, const LevelState& s,
                                std::optional<double> automatedLevel) {
    if (automatedLevel) return *automatedLevel;
    if (s.fadeIn > 0 && t - s.startTime <= s.fadeIn) return (t - s.startTime) * s.volume / s.fadeIn;
    if (s.fadeOut > 0 && t >= s.endTime - s.fadeOut) return (s.endTime - t) * s.volume / s.fadeOut;
    if (s.volume < 1) return s.volume;
    return std::nullopt;
}

namespace {

// clamp(v, -1, 1), with a value that is no number taken as silence (clamp
// itself would pass a NaN on to every later sum).
float clampSample(float v) {
    if (!(v >= -1.0f)) return v < -1.0f ? -1.0f : 0.0f;
    return v > 1.0f ? 1.0f : v;
}

}  // namespace

BalanceGains balanceGains(double b) {
    BalanceGains g;
    if (!std::isfinite(b)) b = 0;  // centred
    g.left = b < 0 ? 1.0 : std::clamp(1.0 - b, 0.0, 1.0);
    g.right = b > 0 ? 1.0 : std::clamp(1.0 - std::fabs(b), 0.0, 1.0);
    return g;
}

void applyGain(float* samples, size_t n, double gain) {
    if (!samples) return;
    // A gain that is no number silences the slice.
    gain = gain > 0 ? std::min(gain, 1.0) : 0.0;
    if (gain == 1.0) return;
    const float g = static_cast<float>(gain);  // in single precision: no conversion per sample
    for (size_t i = 0; i < n; ++i) samples[i] *= g;
}

void mixClamped(float* out, const float* a, const float* b, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = clampSample(a[i] + b[i]);
}

void accumulateClamped(float* a, const float* b, size_t n) {
    for (size_t i = 0; i < n; ++i) a[i] = clampSample(a[i] + b[i]);
}

float rmsLevel(const float* samples, size_t n) {
    if (!samples || n == 0) return 0.0f;
    float sum = 0.0f;
    for (size_t i = 0; i < n; ++i) sum += samples[i] * samples[i];
    return std::sqrt(sum / static_cast<float>(n));
}

}  // namespace slicegain
