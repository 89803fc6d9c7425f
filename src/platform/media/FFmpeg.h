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

struct SwrContext;

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

// How openInput() learns a file's stream parameters.
enum class Probe {
    // Always probe: read and decode the first packets of every stream
    // (avformat_find_stream_info), which finds what a header leaves out and
    // a compressed stream hidden behind a PCM header.
    Always,
    // No probe: the caller decides, and probes with findStreamInfo() before
    // anything is read.
    Never,
};

// Opens `path` for demuxing and reads its stream information as `probe`
// says. Null on failure, with `error` set to a sentence for the user.
InputPtr openInput(const QString& path, QString* error, Probe probe = Probe::Always);

// Whether the container's header alone gives every stream's complete
// parameters: a WAV (or Wave64), AIFF or CAF file of uncompressed audio
// streams only, each with its rate, channel count and length (CAF counts
// its frames; a probe only estimates its duration). A 16-bit PCM WAV is
// not: FFmpeg looks behind that header for a compressed stream (an MP3 or
// AC-3 stream written as PCM) while it reads the first packets, so its
// parameters are final only after a probe (or when a decoded record made
// after one vouches for them).
bool headerIsComplete(const AVFormatContext* input, bool trustSixteenBitWav = false);

// Probes `input` (opened with Probe::Never, nothing read yet); false,
// with `error` set, when the file cannot be read.
bool findStreamInfo(AVFormatContext* input, const QString& path, QString* error);

// Whether `id` is an uncompressed (PCM) audio codec.
bool isPcmCodec(AVCodecID id);

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

// The one sample-rate and format converter of the media layer, for renders,
// playback and decodes alike: a libswresample context with the SoX
// resampler (libsoxr) as its engine at its very high quality (28-bit
// precision), which keeps the whole band to the lower Nyquist frequency and
// leaves no images above it. (libswresample's own default filter rolls the
// top octave off and lets images through.) Where FFmpeg was built without
// libsoxr, libswresample's own engine with a long filter takes its place,
// and the log says so once. Made and initialised; false when it cannot be,
// with *swr freed and left null.
bool makeResampler(SwrContext** swr, const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                   const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate);
// Makes every resampler made from now on act as in a build without libsoxr
// (for tests of that fallback); false goes back to the SoX resampler.
void refuseSoxrEngine(bool refuse);

// Sends FFmpeg's own messages ("Estimating duration from bitrate", a
// damaged file's complaints) to the application's log under the category
// "trevalune.ffmpeg", each at the matching level, instead of the terminal.
// Files that cannot be used are reported to the user by whoever opens them.
void routeMessagesToLog();

}  // namespace ffmpeg
