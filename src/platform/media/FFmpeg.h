#pragma once

// Small owning wrappers around the FFmpeg structures the media layer uses,
// and the conversions between FFmpeg's types and ours.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <QString>

#include <memory>

namespace ffmpeg {

struct FormatInputDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct FormatOutputDeleter {
    void operator()(AVFormatContext* c) const;  // closes the file if it is open
};
struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

using InputPtr = std::unique_ptr<AVFormatContext, FormatInputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, FormatOutputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

inline PacketPtr makePacket() { return PacketPtr(av_packet_alloc()); }
inline FramePtr makeFrame() { return FramePtr(av_frame_alloc()); }

// FFmpeg's text for an error code.
QString errorText(int code);

// Opens `path` for demuxing and reads its stream information. Null on
// failure, with `error` set to a sentence for the user.
InputPtr openInput(const QString& path, QString* error);

// Opens a decoder for stream `index` of `input`. Null on failure.
CodecPtr openDecoder(AVFormatContext* input, int index, QString* error, int threads = 1);

// Copies `frames` frames of `frame` starting at `offset` into planar float
// channels (out[c][0..frames)). Handles every packed and planar sample format.
void toPlanarFloat(const AVFrame* frame, int offset, int frames, float* const* out);

// Whether samples of `format` are 16-bit integers or narrower, so that 16-bit
// storage holds them exactly (unsigned 8-bit ones as (v - 128) * 256).
bool fitsInt16(int format);
// Copies `frames` frames of `frame` starting at `offset` into planar 16-bit
// channels; false, with nothing copied, when its format does not fit.
bool toPlanarInt16(const AVFrame* frame, int offset, int frames, int16_t* const* out);

// Sends FFmpeg's own messages ("Estimating duration from bitrate", a
// damaged file's complaints) to the application's log under the category
// "trevalune.ffmpeg", each at the matching level, instead of the terminal.
// Files that cannot be used are reported to the user by whoever opens them.
void routeMessagesToLog();

}  // namespace ffmpeg
