#include "platform/media/DecodedSource.h"

DecodedSource::DecodedSource(int64_t frameCount, double sampleRate,
                             std::vector<const float*> channels,
                             std::shared_ptr<const void> storage)
    : frameCount_(frameCount),
      sampleRate_(sampleRate),
      channels_(std::move(channels)),
      storage_(std::move(storage)) {}

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
