#pragma once

#include "platform/core/MediaTime.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

class Asset;

// Pictures of a file's video: the frame shown at a given time, as a QImage.
// Decoding is done with FFmpeg and scaled with libswscale. Calls are
// serialised; each generator keeps its file open between calls, and its
// decoder where the last call left it: a time a little ahead of the last
// one is reached by decoding on (as playback asks), a time within the last
// frame is answered from that frame, and only a jump backwards or far ahead
// seeks to a key frame. Copies share the open file and that position.
class ImageGenerator {
public:
    explicit ImageGenerator(const QString& path);
    explicit ImageGenerator(const Asset& asset);
    ~ImageGenerator();

    // Pictures larger than this are scaled down to fit, keeping their shape
    // (an empty size: no limit).
    void setMaximumSize(const QSize& size) { maximumSize_ = size; }
    // Whether pictures are turned as the track asks to be displayed.
    void setAppliesPreferredTrackTransform(bool applies) { appliesTransform_ = applies; }

    // The frame on screen at `time` (the last one that starts at or before
    // it; the last frame for times past the end). A null image, with `error`
    // set, when the file has no video or it cannot be decoded. `actualTime`
    // gets the frame's own time. Several calls that land in one frame give
    // the same picture, converted once.
    QImage imageAt(const MediaTime& time, MediaTime* actualTime = nullptr, QString* error = nullptr);

    // Frames the decoder has given since the file was opened, seeks
    // included (shared by copies).
    uint64_t decodedFrames() const;

    // The same on a worker thread, the completion on the main thread.
    using Completion = std::function<void(const QImage& image, const MediaTime& actualTime, const QString& error)>;
    void generateAsync(const MediaTime& time, Completion completion);

private:
    struct State;
    QString path_;
    QSize maximumSize_;
    bool appliesTransform_ = true;
    std::shared_ptr<State> state_;
};
