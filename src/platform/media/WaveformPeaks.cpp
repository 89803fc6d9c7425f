#include "platform/media/WaveformPeaks.h"

#include <algorithm>
#include <immintrin.h>
#include <limits>

WaveformPeaks::WaveformPeaks(int channelCount, int64_t frameCount,
                             std::vector<std::vector<const MinMax*>> data,
                             std::shared_ptr<const void> storage)
    : channels_(channelCount), frames_(frameCount), data_(std::move(data)),
      storage_(std::move(storage)) {}

WaveformPeaks::MinMax WaveformPeaks::range(int channel, int64_t start, int64_t end) const {
    start = std::max<int64_t>(start, 0);
    end = std::min(end, frames_);
    if (channel < 0 || channel >= channels_ || end <= start) return {};
    MinMax r{std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    auto take = [&](const MinMax& m) {
        r.min = std::min(r.min, m.min);
        r.max = std::max(r.max, m.max);
    };
    const MinMax* fine = data_[0][channel];
    const MinMax* coarse = data_[1][channel];
    int64_t b = start / FineBlock;
    const int64_t last = (end - 1) / FineBlock;  // inclusive
    constexpr int64_t finePerCoarse = CoarseBlock / FineBlock;
    while (b <= last) {
        if (b % finePerCoarse == 0 && b + finePerCoarse - 1 <= last) {
            take(coarse[b / finePerCoarse]);
            b += finePerCoarse;
        } else {
            take(fine[b]);
            ++b;
        }
    }
    return r;
}

namespace {
template <typename T>
std::shared_ptr<WaveformPeaks> computePeaks(const std::vector<const T*>& channels, int64_t frameCount) {
    using MinMax = WaveformPeaks::MinMax;
    PeakAccumulator acc(static_cast<int>(channels.size()));
    acc.add(channels.data(), frameCount);
    auto levels = std::make_shared<std::vector<std::vector<std::vector<MinMax>>>>(acc.finish());
    std::vector<std::vector<const MinMax*>> data(WaveformPeaks::LevelCount);
    for (int l = 0; l < WaveformPeaks::LevelCount; ++l)
        for (auto& ch : (*levels)[l]) data[l].push_back(ch.data());
    return std::make_shared<WaveformPeaks>(static_cast<int>(channels.size()), frameCount,
                                           std::move(data), levels);
}
}  // namespace

std::shared_ptr<WaveformPeaks> WaveformPeaks::compute(const std::vector<const float*>& channels,
                                                      int64_t frameCount) {
    return computePeaks(channels, frameCount);
}

std::shared_ptr<WaveformPeaks> WaveformPeaks::compute(const std::vector<const int16_t*>& channels,
                                                      int64_t frameCount) {
    return computePeaks(channels, frameCount);
}

namespace {
// p[1..n) eight samples at a time (n >= 9), into eight lanes: the lanes'
// lows go to lanes[0..8), their highs to lanes[8..16). Answers where the
// lanes stopped. minps and maxps keep std::min's and std::max's choice (the
// new value only when it compares less or greater), so a NaN sample is
// passed over unless it comes first, as in the plain loop.
int64_t laneRanges(const float* p, int64_t n, float* lanes) {
    __m128 l0 = _mm_set1_ps(p[0]), l1 = l0, h0 = l0, h1 = l0;
    int64_t i = 1;
    for (; i + 8 <= n; i += 8) {
        const __m128 a = _mm_loadu_ps(p + i), b = _mm_loadu_ps(p + i + 4);
        l0 = _mm_min_ps(a, l0);
        l1 = _mm_min_ps(b, l1);
        h0 = _mm_max_ps(a, h0);
        h1 = _mm_max_ps(b, h1);
    }
    _mm_store_ps(lanes, l0);
    _mm_store_ps(lanes + 4, l1);
    _mm_store_ps(lanes + 8, h0);
    _mm_store_ps(lanes + 12, h1);
    return i;
}
int64_t laneRanges(const int16_t* p, int64_t n, int16_t* lanes) {
    __m128i l0 = _mm_set1_epi16(p[0]), h0 = l0;
    int64_t i = 1;
    for (; i + 8 <= n; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        l0 = _mm_min_epi16(a, l0);
        h0 = _mm_max_epi16(a, h0);
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), l0);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes + 8), h0);
    return i;
}

// The least and greatest of p[0..n), n > 0: eight lanes at a time, then the
// lanes and the rest.
template <class T>
void rangeOf(const T* p, int64_t n, T& l, T& h) {
    l = h = p[0];
    alignas(16) T lanes[16];
    int64_t i = 1;
    if (n >= 9) {
        i = laneRanges(p, n, lanes);
        for (int k = 0; k < 8; ++k) {
            l = std::min(l, lanes[k]);
            h = std::max(h, lanes[8 + k]);
        }
    }
    for (; i < n; ++i) {
        l = std::min(l, p[i]);
        h = std::max(h, p[i]);
    }
}

void blockRange(const float* p, int64_t n, float* lo, float* hi) { rangeOf(p, n, *lo, *hi); }

// The same over 16-bit samples, given as float (value / 32768, exact).
void blockRange(const int16_t* p, int64_t n, float* lo, float* hi) {
    int16_t l = 0, h = 0;
    rangeOf(p, n, l, h);
    *lo = float(l) * (1.0f / 32768.0f);
    *hi = float(h) * (1.0f / 32768.0f);
}
}  // namespace

PeakAccumulator::PeakAccumulator(int channelCount)
    : channels_(channelCount),
      levels_(WaveformPeaks::LevelCount, std::vector<std::vector<WaveformPeaks::MinMax>>(channelCount)),
      currentFine_(channelCount) {}

void PeakAccumulator::add(const float* const* channels, int64_t frames) { addBlocks(channels, frames); }

void PeakAccumulator::add(const int16_t* const* channels, int64_t frames) { addBlocks(channels, frames); }

template <typename T>
void PeakAccumulator::addBlocks(const T* const* channels, int64_t frames) {
    using MinMax = WaveformPeaks::MinMax;
    constexpr int64_t B = WaveformPeaks::FineBlock;
    int64_t done = 0;
    while (done < frames) {
        const int64_t inBlock = frames_ % B;
        const int64_t n = std::min(B - inBlock, frames - done);
        for (int c = 0; c < channels_; ++c) {
            float lo, hi;
            blockRange(channels[c] + done, n, &lo, &hi);
            MinMax& cur = currentFine_[c];
            if (inBlock == 0) {
                cur = {lo, hi};
            } else {
                cur.min = std::min(cur.min, lo);
                cur.max = std::max(cur.max, hi);
            }
            if (inBlock + n == B) appendFine(c, cur);
        }
        frames_ += n;
        done += n;
    }
}

void PeakAccumulator::appendFine(int channel, const WaveformPeaks::MinMax& block) {
    constexpr size_t finePerCoarse = WaveformPeaks::CoarseBlock / WaveformPeaks::FineBlock;
    auto& fine = levels_[0][channel];
    fine.push_back(block);
    auto& coarse = levels_[1][channel];
    if ((fine.size() - 1) % finePerCoarse == 0) {
        coarse.push_back(block);
    } else {
        coarse.back().min = std::min(coarse.back().min, block.min);
        coarse.back().max = std::max(coarse.back().max, block.max);
    }
}

std::vector<std::vector<std::vector<WaveformPeaks::MinMax>>> PeakAccumulator::finish() {
    if (frames_ % WaveformPeaks::FineBlock != 0)
        for (int c = 0; c < channels_; ++c) appendFine(c, currentFine_[c]);  // the partial last block
    return std::move(levels_);
}
