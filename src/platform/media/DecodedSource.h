#pragma once

#include "platform/media/WaveformPeaks.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// The decoded samples of one audio track: float, one contiguous array per
// channel, immutable once made, safe to read from any thread. The storage is
// either memory of its own or a memory-mapped cache file; the renderer reads
// it directly and never touches the compressed file.
class DecodedSource {
public:
    DecodedSource(int64_t frameCount, double sampleRate, std::vector<const float*> channels,
                  std::shared_ptr<const void> storage);
    // A source whose peaks were computed already (the decoded cache).
    DecodedSource(int64_t frameCount, double sampleRate, std::vector<const float*> channels,
                  std::shared_ptr<const void> storage, std::shared_ptr<const WaveformPeaks> peaks,
                  QString cachePath);

    // A source over samples held in memory (tests, generated material).
    static std::shared_ptr<DecodedSource> fromBuffers(std::vector<std::vector<float>> channels,
                                                      double sampleRate);

    int64_t frameCount() const { return frameCount_; }
    double sampleRate() const { return sampleRate_; }
    int channelCount() const { return static_cast<int>(channels_.size()); }
    const float* channelData(int channel) const { return channels_[channel]; }
    const std::vector<const float*>& channels() const { return channels_; }
    double durationSeconds() const { return sampleRate_ > 0 ? double(frameCount_) / sampleRate_ : 0; }

    // Copies frames [start, start + frames) of every channel into `out`
    // (one pointer per channel); frames outside the source are zeros.
    void copyFrames(int64_t start, int64_t frames, float* const* out) const;

    // The waveform peaks: those made with the cache, or computed from the
    // samples on first call.
    std::shared_ptr<const WaveformPeaks> peaks() const;
    // The cache file the samples are mapped from; empty for samples in memory.
    const QString& cachePath() const { return cachePath_; }

    // After a read through every sample (the waveform's values): the mapped
    // pages leave this process's memory and come back from the cache file
    // when next read. Samples in memory stay as they are. Any thread.
    void releaseMappedPages() const;

private:
    int64_t frameCount_;
    double sampleRate_;
    std::vector<const float*> channels_;
    std::shared_ptr<const void> storage_;  // keeps the samples alive
    mutable std::once_flag peaksOnce_;
    mutable std::shared_ptr<const WaveformPeaks> peaks_;
    QString cachePath_;
};
