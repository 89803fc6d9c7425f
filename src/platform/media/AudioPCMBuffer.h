#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A buffer of float audio, one array per channel (non-interleaved), with a
// fixed capacity and a current length in frames.
class AudioPCMBuffer {
public:
    AudioPCMBuffer(int channelCount, int64_t frameCapacity, double sampleRate)
        : sampleRate_(sampleRate), capacity_(frameCapacity < 0 ? 0 : frameCapacity),
          data_(size_t(channelCount), std::vector<float>(size_t(capacity_))) {
        for (auto& c : data_) pointers_.push_back(c.data());
    }

    int channelCount() const { return static_cast<int>(data_.size()); }
    double sampleRate() const { return sampleRate_; }
    int64_t frameCapacity() const { return capacity_; }
    int64_t frameLength() const { return length_; }
    void setFrameLength(int64_t frames) { length_ = frames < 0 ? 0 : (frames > capacity_ ? capacity_ : frames); }

    float* channelData(int channel) { return pointers_[size_t(channel)]; }
    const float* channelData(int channel) const { return pointers_[size_t(channel)]; }
    float* const* channels() { return pointers_.data(); }
    const float* const* channels() const { return pointers_.data(); }

private:
    double sampleRate_;
    int64_t capacity_;
    int64_t length_ = 0;
    std::vector<std::vector<float>> data_;
    std::vector<float*> pointers_;
};
