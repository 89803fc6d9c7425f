#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// The waveform overview of a decoded track: for every channel the minimum and
// maximum sample of each block of 256 frames (the fine level) and of each
// block of 65536 frames (the coarse level). Computed in the same pass that
// decodes the track, stored beside the decoded cache, immutable once made.
class WaveformPeaks {
public:
    static constexpr int LevelCount = 2;
    static constexpr int64_t FineBlock = 256;
    static constexpr int64_t CoarseBlock = 65536;
    static constexpr int64_t blockSize(int level) { return level == 0 ? FineBlock : CoarseBlock; }

    struct MinMax {
        float min = 0, max = 0;
    };

    // Over arrays laid out as data[level][channel] = blockCount(level) pairs
    // (min, max); `storage` keeps them alive (a mapping or memory of its own).
    WaveformPeaks(int channelCount, int64_t frameCount,
                  std::vector<std::vector<const MinMax*>> data, std::shared_ptr<const void> storage);

    int channelCount() const { return channels_; }
    int64_t frameCount() const { return frames_; }
    int64_t blockCount(int level) const {
        return (frames_ + blockSize(level) - 1) / blockSize(level);
    }
    const MinMax* blocks(int level, int channel) const { return data_[level][channel]; }

    // Minimum and maximum of `channel` over the frames [start, end), from the
    // blocks: blocks that the range only touches count whole, so the result
    // may reach a little beyond the range. An empty range gives {0, 0}.
    MinMax range(int channel, int64_t start, int64_t end) const;

    // Computes the peaks of planar samples held in memory (16-bit samples
    // count as value / 32768).
    static std::shared_ptr<WaveformPeaks> compute(const std::vector<const float*>& channels,
                                                  int64_t frameCount);
    static std::shared_ptr<WaveformPeaks> compute(const std::vector<const int16_t*>& channels,
                                                  int64_t frameCount);

private:
    int channels_;
    int64_t frames_;
    std::vector<std::vector<const MinMax*>> data_;
    std::shared_ptr<const void> storage_;
};

// Builds peaks while samples stream through, chunk by chunk, in order.
class PeakAccumulator {
public:
    explicit PeakAccumulator(int channelCount);
    // Adds `frames` frames, one pointer per channel.
    void add(const float* const* channels, int64_t frames);
    void add(const int16_t* const* channels, int64_t frames);  // as value / 32768
    int64_t frameCount() const { return frames_; }
    // The finished blocks, with the partial last block included.
    // [level][channel] -> pairs.
    std::vector<std::vector<std::vector<WaveformPeaks::MinMax>>> finish();

private:
    template <typename T>
    void addBlocks(const T* const* channels, int64_t frames);
    // A finished fine block: appended, and folded into its coarse block.
    void appendFine(int channel, const WaveformPeaks::MinMax& block);

    int channels_;
    int64_t frames_ = 0;
    std::vector<std::vector<std::vector<WaveformPeaks::MinMax>>> levels_;
    std::vector<WaveformPeaks::MinMax> currentFine_;  // per channel, partial block
};
