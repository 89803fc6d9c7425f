#pragma once

#include "platform/core/MediaTime.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class Composition;

// The picture of a composition's first video track, decoded on a worker
// thread. Requests never wait: the newest one replaces any request that has
// not started yet, so a slow decode drops frames rather than falling behind.
// Frames arrive on the main thread through `frameReady`.
class VideoFrames : public std::enable_shared_from_this<VideoFrames> {
public:
    // Pictures larger than `maximumSize` are scaled down to it, keeping their shape.
    static std::shared_ptr<VideoFrames> create(std::shared_ptr<const Composition> composition,
                                               const QSize& maximumSize = {});
    ~VideoFrames();

    bool hasVideo() const { return videoTrackID_ != 0; }
    // A new limit for the pictures, as the view is resized (main thread): the
    // frame last asked for is made again at that size on the next request.
    void setMaximumSize(const QSize& size);
    const Composition* composition() const { return composition_.get(); }

    // Decodes the frame for composition time `time` on the worker thread.
    // The same time as the frame last asked for is not decoded again, and a
    // frame the last delivery already gave is not delivered again.
    void requestFrame(const MediaTime& time);
    // Called on the main thread with each new frame; a null image where the
    // video track holds no picture at that time.
    std::function<void(const QImage& image, const MediaTime& time)> frameReady;

    // The frame for `time`, decoded on the calling thread.
    QImage frameAt(const MediaTime& time);

    // Requests replaced before their decode started, frames delivered, and
    // frames the decoders decoded for them.
    uint64_t droppedFrames() const { return dropped_.load(); }
    uint64_t deliveredFrames() const { return delivered_.load(); }
    uint64_t decodedFrames() const { return decoded_.load(); }

private:
    // Which source frame a picture is, and at what size: its file and its
    // time there (an empty path for no picture).
    struct FrameIdentity {
        QString path;
        MediaTime time;
        QSize size;
        bool operator==(const FrameIdentity&) const = default;
    };

    VideoFrames(std::shared_ptr<const Composition> composition, const QSize& maximumSize);
    QImage frameAt(const MediaTime& time, FrameIdentity* identity);
    void runWorker();

    struct Decoders;
    std::shared_ptr<const Composition> composition_;
    int32_t videoTrackID_ = 0;
    std::unique_ptr<Decoders> decoders_;  // the worker's, one at a time
    std::optional<FrameIdentity> lastDelivered_;  // the worker's

    std::mutex mutex_;  // guards the four below
    QSize maximumSize_;
    std::optional<MediaTime> pending_;
    std::optional<MediaTime> lastRequested_;
    bool working_ = false;
    std::atomic<uint64_t> dropped_{0}, delivered_{0}, decoded_{0};
};
