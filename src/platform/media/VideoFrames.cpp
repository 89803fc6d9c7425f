#include "platform/media/VideoFrames.h"

#include "platform/core/MainQueue.h"
#include "platform/media/Composition.h"
#include "platform/media/ImageGenerator.h"
#include "platform/media/MediaWorkers.h"

#include <QString>

#include <algorithm>
#include <map>

// One open decoder per source file, used by one decode at a time.
struct VideoFrames::Decoders {
    std::mutex mutex;
    std::map<QString, std::unique_ptr<ImageGenerator>> byPath;
};

std::shared_ptr<VideoFrames> VideoFrames::create(std::shared_ptr<const Composition> composition,
                                                 const QSize& maximumSize) {
    return std::shared_ptr<VideoFrames>(new VideoFrames(std::move(composition), maximumSize));
}

VideoFrames::VideoFrames(std::shared_ptr<const Composition> composition, const QSize& maximumSize)
    : composition_(std::move(composition)), decoders_(std::make_unique<Decoders>()), maximumSize_(maximumSize) {
    if (!composition_) return;
    const auto video = composition_->tracksWithMediaType(MediaType::Video);
    if (!video.empty()) videoTrackID_ = video.front()->trackID();
}

VideoFrames::~VideoFrames() = default;

QImage VideoFrames::frameAt(const MediaTime& time) { return frameAt(time, nullptr); }

QImage VideoFrames::frameAt(const MediaTime& time, FrameIdentity* identity) {
    if (identity) *identity = {};
    if (!composition_ || !videoTrackID_) return {};
    const CompositionTrack* track = composition_->trackWithTrackID(videoTrackID_);
    const CompositionSegment* segment = track ? track->segmentForTrackTime(time) : nullptr;
    if (!segment || segment->isEmpty()) return {};
    // The segment's source time for `time`, across a scaled segment too.
    const double into = (time - segment->targetRange.start).seconds();
    const double target = segment->targetRange.duration.seconds();
    const double ratio = target > 0 ? segment->sourceRange.duration.seconds() / target : 1.0;
    // Fine enough for any frame rate whatever scale the segment was made with.
    const int32_t scale = std::max({segment->sourceRange.start.timeScale, time.timeScale, 90000});
    const MediaTime source = segment->sourceRange.start + MediaTime::fromSeconds(into * ratio, scale);
    QSize limit;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        limit = maximumSize_;
    }
    std::lock_guard<std::mutex> lock(decoders_->mutex);
    auto& generator = decoders_->byPath[segment->sourcePath()];
    if (!generator) generator = std::make_unique<ImageGenerator>(segment->sourcePath());
    generator->setMaximumSize(limit);
    const uint64_t decodedBefore = generator->decodedFrames();
    MediaTime actual;
    QImage image = generator->imageAt(source, &actual);
    decoded_.fetch_add(generator->decodedFrames() - decodedBefore);
    if (identity && !image.isNull()) *identity = {segment->sourcePath(), actual, image.size()};
    return image;
}

void VideoFrames::setMaximumSize(const QSize& size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (size == maximumSize_) return;
    maximumSize_ = size;
    lastRequested_.reset();
}

void VideoFrames::requestFrame(const MediaTime& time) {
    if (!hasVideo()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lastRequested_ && *lastRequested_ == time) return;
        lastRequested_ = time;
        if (pending_) dropped_.fetch_add(1);
        pending_ = time;
        if (working_) return;
        working_ = true;
    }
    std::weak_ptr<VideoFrames> weak = weak_from_this();
    mediaworkers::start(mediaworkers::Work::Load, [weak] {
        if (auto self = weak.lock()) self->runWorker();
    });
}

void VideoFrames::runWorker() {
    for (;;) {
        MediaTime time;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!pending_) {
                working_ = false;
                return;
            }
            time = *pending_;
            pending_.reset();
        }
        FrameIdentity identity;
        const QImage image = frameAt(time, &identity);
        // A frame still on screen from the last delivery is not sent again.
        if (lastDelivered_ && *lastDelivered_ == identity) continue;
        lastDelivered_ = identity;
        delivered_.fetch_add(1);
        std::weak_ptr<VideoFrames> weak = weak_from_this();
        MainQueue::async([weak, image, time] {
            auto self = weak.lock();
            if (self && self->frameReady) self->frameReady(image, time);
        });
    }
}
