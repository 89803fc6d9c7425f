#include "platform/media/AssetTrack.h"

#include "platform/core/MainQueue.h"
#include "platform/media/MediaWorkers.h"

#include <atomic>

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

std::shared_ptr<AssetTrack> AssetTrack::withDecodedLength(std::shared_ptr<DecodedSource> source) const {
    Info info = info_;
    info.frameCount = source->frameCount();
    // An audio track counts its time in its frames.
    const int32_t scale = int32_t(source->sampleRate());
    info.timeRange = MediaTimeRange(MediaTime::zero(), MediaTime(source->frameCount(), scale));
    auto track = std::make_shared<AssetTrack>(info, decoder_);
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

FormatDescription AssetTrack::formatDescription() const {
    FormatDescription d;
    d.mediaType = info_.mediaType;
    d.codecName = info_.codecName;
    if (info_.mediaType == MediaType::Audio) {
        d.sampleRate = info_.sampleRate;
        d.channelCount = info_.channelCount;
        d.bitsPerSample = info_.bitsPerSample;
    } else {
        d.width = info_.width;
        d.height = info_.height;
    }
    return d;
}

void AssetTrack::loadDecodedSourceAsync(std::function<void(double)> progress,
                                        DecodeCompletion completion) const {
    auto self = shared_from_this();
    mediaworkers::start(mediaworkers::Work::Decode, [self, progress = std::move(progress),
                                      completion = std::move(completion)] {
        // Progress is coalesced: at most one pending main-thread update.
        auto pending = std::make_shared<std::atomic<bool>>(false);
        auto latest = std::make_shared<std::atomic<double>>(0.0);
        Progress report;
        if (progress) {
            report = [pending, latest, progress](double f) {
                latest->store(f);
                if (!pending->exchange(true))
                    MainQueue::async([pending, latest, progress] {
                        pending->store(false);
                        progress(latest->load());
                    });
            };
        }
        QString error;
        auto source = self->loadDecodedSource(report, &error);
        MainQueue::async([self, source, error, completion] {
            if (completion) completion(source, error);
        });
    });
}
