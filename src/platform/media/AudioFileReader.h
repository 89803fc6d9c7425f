#pragma once

#include "platform/media/AudioPCMBuffer.h"
#include "platform/media/DecodedSource.h"

#include <QString>

#include <functional>
#include <memory>

// Reads an audio file's samples as float, non-interleaved, at the file's own
// sample rate, with 64-bit frame counts and positions. The samples come from
// the decoded cache (the file is decoded there on first use, so opening a
// file not yet decoded blocks: use it from worker code), memory-mapped, so
// reads of any size are cheap and seeking is free.
class AudioFileReader {
public:
    using Progress = std::function<void(double fraction)>;

    // The first audio track of the file. Null on failure, with `error` set.
    static std::unique_ptr<AudioFileReader> open(const QString& path, QString* error = nullptr,
                                                 const Progress& progress = {});
    // A reader over decoded samples at hand.
    explicit AudioFileReader(std::shared_ptr<DecodedSource> source, QString path = {});

    const QString& path() const { return path_; }
    double sampleRate() const { return source_->sampleRate(); }
    int channelCount() const { return source_->channelCount(); }
    int64_t length() const { return source_->frameCount(); }  // frames
    double durationSeconds() const { return source_->durationSeconds(); }

    int64_t framePosition() const { return position_; }
    // Moves the read position; clamped to [0, length].
    void seek(int64_t frame);

    // Reads up to `frames` frames from the position into `out` (one pointer
    // per channel) and advances; returns the frames read (0 at the end).
    int64_t read(float* const* out, int64_t frames);
    // Fills `buffer` from the position with up to `frames` frames (its
    // capacity when negative); its length becomes the frames read. False, with
    // `error` set, when the buffer's channel count differs from the file's or
    // nothing is left to read.
    bool read(AudioPCMBuffer& buffer, int64_t frames = -1, QString* error = nullptr);

    const std::shared_ptr<DecodedSource>& source() const { return source_; }

private:
    std::shared_ptr<DecodedSource> source_;
    QString path_;
    int64_t position_ = 0;
};
