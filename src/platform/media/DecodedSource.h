#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// The decoded samples of one audio track: float, one contiguous array per
// channel, immutable once made, safe to read from any thread. The storage is
// either memory of its own or a memory-mapped cache file; the renderer reads
// it directly and never touches the compressed file.
class DecodedSource {
public:
    DecodedSource(int64_t frameCount, double sampleRate, std::vector<const float*> channels,
                  std::shared_ptr<const void> storage);

    // A source over samples held in memory (tests, generated material).
    static std::shared_ptr<DecodedSource> fromBuffers(std::vector<std::vector<float>> channels,
                                                      double sampleRate);

    int64_t frameCount() const { return frameCount_; }
    double sampleRate() const { return sampleRate_; }
    int channelCount() const { return static_cast<int>(channels_.size()); }
    const float* channelData(int channel) const { return channels_[channel]; }

private:
    int64_t frameCount_;
    double sampleRate_;
    std::vector<const float*> channels_;
    std::shared_ptr<const void> storage_;  // keeps the samples alive
};
