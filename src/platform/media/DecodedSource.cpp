#include "platform/media/DecodedSource.h"

#include <algorithm>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

DecodedSource::DecodedSource(int64_t frameCount, double sampleRate,
                             std::vector<const float*> channels,
                             std::shared_ptr<const void> storage)
    : frameCount_(frameCount),
      sampleRate_(sampleRate),
      channels_(std::move(channels)),
      storage_(std::move(storage)) {}

DecodedSource::DecodedSource(int64_t frameCount, double sampleRate,
                             std::vector<const float*> channels,
                             std::shared_ptr<const void> storage,
                             std::shared_ptr<const WaveformPeaks> peaks, QString cachePath)
    : frameCount_(frameCount),
      sampleRate_(sampleRate),
      channels_(std::move(channels)),
      storage_(std::move(storage)),
      peaks_(std::move(peaks)),
      cachePath_(std::move(cachePath)) {}

void DecodedSource::copyFrames(int64_t start, int64_t frames, float* const* out) const {
    const int64_t from = std::clamp<int64_t>(start, 0, frameCount_);
    const int64_t to = std::clamp<int64_t>(start + frames, 0, frameCount_);
    for (size_t c = 0; c < channels_.size(); ++c) {
        float* o = out[c];
        if (to <= from) {
            std::memset(o, 0, sizeof(float) * size_t(frames));
            continue;
        }
        const int64_t lead = from - start;
        if (lead > 0) std::memset(o, 0, sizeof(float) * size_t(lead));
        std::memcpy(o + lead, channels_[c] + from, sizeof(float) * size_t(to - from));
        const int64_t tail = frames - lead - (to - from);
        if (tail > 0) std::memset(o + lead + (to - from), 0, sizeof(float) * size_t(tail));
    }
}

std::shared_ptr<const WaveformPeaks> DecodedSource::peaks() const {
    std::call_once(peaksOnce_, [this] {
        if (!peaks_) peaks_ = WaveformPeaks::compute(channels_, frameCount_);
    });
    return peaks_;
}

std::shared_ptr<DecodedSource> DecodedSource::fromBuffers(std::vector<std::vector<float>> channels,
                                                          double sampleRate) {
    auto owned = std::make_shared<std::vector<std::vector<float>>>(std::move(channels));
    int64_t frames = owned->empty() ? 0 : static_cast<int64_t>(owned->front().size());
    std::vector<const float*> pointers;
    for (auto& c : *owned) {
        c.resize(static_cast<size_t>(frames));  // every channel the same length
        pointers.push_back(c.data());
    }
    return std::make_shared<DecodedSource>(frames, sampleRate, std::move(pointers), owned);
}

void DecodedSource::releaseMappedPages() const {
    if (cachePath_.isEmpty() || channels_.empty() || frameCount_ <= 0) return;
    const auto page = uintptr_t(::sysconf(_SC_PAGESIZE));
    for (const float* channel : channels_) {
        // Whole pages inside the channel only: a page shared with the file's
        // header or another channel stays.
        const auto from = (uintptr_t(channel) + page - 1) / page * page;
        const auto to = uintptr_t(channel + frameCount_) / page * page;
        if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    }
}
