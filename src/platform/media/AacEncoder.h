#pragma once

#include "platform/media/FFmpeg.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

#include "platform/media/MediaMetadata.h"

#include <QString>

#include <functional>

// Encodes planar float audio to AAC with FFmpeg's native encoder into one
// stream of an output context, in frames of the encoder's size. Shared by the
// m4a and movie writers.
class AacEncoder {
public:
    ~AacEncoder();

    // Adds the audio stream to `output` (before its header is written).
    bool open(AVFormatContext* output, double sampleRate, int channels, int bitRate, QString* error);
    AVStream* stream() const { return stream_; }

    // Encodes `frames` frames; complete packets go to `write`.
    using Write = std::function<bool(AVPacket*)>;
    bool append(const float* const* channels, int64_t frames, const Write& write, QString* error);
    // Encodes what is left and drains the encoder.
    bool finish(const Write& write, QString* error);

    // Seconds of audio handed to the encoder so far.
    double secondsQueued() const { return codec_ ? double(queued_) / codec_->sample_rate : 0; }

private:
    bool encode(AVFrame* frame, const Write& write, QString* error);
    bool sendFrames(bool all, const Write& write, QString* error);

    ffmpeg::CodecPtr codec_;
    AVStream* stream_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    ffmpeg::FramePtr frame_;
    ffmpeg::PacketPtr packet_;
    int64_t pts_ = 0;
    int64_t queued_ = 0;
};

// The start shared by the MP4-family writers: title, artist and comment into
// the container's metadata, the file opened, the header written with the
// sample rate as the movie's time scale (so edit lists cut the encoder's
// priming and padding to the exact frame). FFmpeg's error code, or 0.
int startMp4Output(AVFormatContext* output, const QString& path, const MediaMetadata& metadata,
                   double sampleRate);
