#include "platform/media/AssetTrack.h"

AssetTrack::AssetTrack(Info info, Decoder decoder)
    : info_(std::move(info)), decoder_(std::move(decoder)) {}

std::shared_ptr<AssetTrack> AssetTrack::fromDecodedSource(std::shared_ptr<DecodedSource> source,
                                                         int32_t trackID) {
    Info info;
    info.trackID = trackID;
    info.mediaType = MediaType::Audio;
    const int32_t scale = static_cast<int32_t>(source->sampleRate());
    info.naturalTimeScale = scale;
    info.sampleRate = source->sampleRate();
    info.channelCount = source->channelCount();
    info.timeRange = MediaTimeRange(MediaTime::zero(), MediaTime(source->frameCount(), scale));
    info.codecName = QStringLiteral("pcm_f32");
    auto track = std::make_shared<AssetTrack>(info, nullptr);
    track->decoded_ = std::move(source);
    return track;
}

std::shared_ptr<DecodedSource> AssetTrack::decodedSource() const {
    std::lock_guard lock(publishMutex_);
    return decoded_;
}

std::shared_ptr<DecodedSource> AssetTrack::loadDecodedSource(const Progress& progress,
                                                             QString* error) const {
    if (auto d = decodedSource()) return d;
    std::lock_guard decodeLock(decodeMutex_);
    if (auto d = decodedSource()) return d;  // decoded while we waited
    if (!decoder_) {
        if (error) *error = QStringLiteral("This track has no audio to decode.");
        return nullptr;
    }
    auto d = decoder_(progress, error);
    if (d) {
        std::lock_guard lock(publishMutex_);
        decoded_ = d;
    }
    return d;
}
