#pragma once

#include <cmath>
#include <cstdint>

// What the writers check before a block of samples is encoded: a sample
// that is no number (NaN or an infinity) fails the file instead of being
// written as full-scale noise or as NaN.
namespace samplecheck {

inline bool allFinite(const float* const* channels, int channelCount, int64_t frames) {
    for (int c = 0; c < channelCount; ++c)
        for (int64_t i = 0; i < frames; ++i)
            if (!std::isfinite(channels[c][i])) return false;
    return true;
}

inline const char* kNotFiniteText = "The audio to write holds a sample that is not a number.";

}  // namespace samplecheck
