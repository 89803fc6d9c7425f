#pragma once

#include "platform/media/AssetTrack.h"
#include "support/Signals.h"

#include <memory>
#include <vector>

// Generated sources for the render tests; tones, files and measures come
// from testsupport.
namespace gen {

// A ramp that tells every frame apart: frame i holds (i % 1000) / 1000.
inline std::vector<float> ramp(int64_t frames, float offset = 0) {
    std::vector<float> v(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) v[static_cast<size_t>(i)] = offset + (i % 1000) / 1000.0f;
    return v;
}

inline std::shared_ptr<AssetTrack> track(std::vector<std::vector<float>> channels, double rate,
                                        int32_t id = 1) {
    return AssetTrack::fromDecodedSource(DecodedSource::fromBuffers(std::move(channels), rate), id);
}

}  // namespace gen
