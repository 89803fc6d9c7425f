#include "platform/media/AacEncoder.h"

#include "platform/media/SampleCheck.h"

#include <QFile>

#include <algorithm>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace {
// The highest peak FFmpeg's AAC encoder passes on at its level.
constexpr float kCeiling = 0.95f;
}  // namespace

AacEncoder::~AacEncoder() {
    if (fifo_) av_audio_fifo_free(fifo_);
}

bool AacEncoder::open(AVFormatContext* output, double sampleRate, int channels, int bitRate,
                      QString* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) {
        if (error) *error = QStringLiteral("FFmpeg's AAC encoder is missing.");
        return false;
    }
    codec_.reset(avcodec_alloc_context3(codec));
    codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec_->sample_rate = int(sampleRate);
    av_channel_layout_default(&codec_->ch_layout, channels);
    codec_->bit_rate = bitRate;
    codec_->time_base = AVRational{1, int(sampleRate)};
    if (output->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(codec_.get(), codec, nullptr);
    if (rc < 0) {
        if (error) *error = QStringLiteral("The AAC encoder could not be opened (%1).").arg(ffmpeg::errorText(rc));
        return false;
    }
    stream_ = avformat_new_stream(output, nullptr);
    if (!stream_) {
        if (error) *error = QStringLiteral("Out of memory.");
        return false;
    }
    avcodec_parameters_from_context(stream_->codecpar, codec_.get());
    stream_->time_base = codec_->time_base;
    fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, codec_->frame_size * 4);
    frame_ = ffmpeg::makeFrame();
    packet_ = ffmpeg::makePacket();
    return fifo_ && frame_ && packet_;
}

bool AacEncoder::append(const float* const* channels, int64_t frames, const Write& write, QString* error) {
    const int count = codec_->ch_layout.nb_channels;
    if (!samplecheck::allFinite(channels, count, frames)) {
        if (error) *error = QString::fromLatin1(samplecheck::kNotFiniteText);
        return false;
    }
    std::vector<void*> pointers(static_cast<size_t>(count));
    int64_t done = 0;
    while (done < frames) {
        const int n = int(std::min<int64_t>(frames - done, int64_t(codec_->frame_size) * 16));
        for (int c = 0; c < count; ++c) pointers[size_t(c)] = const_cast<float*>(channels[c] + done);
        if (av_audio_fifo_write(fifo_, pointers.data(), n) < n) {
            if (error) *error = QStringLiteral("Out of memory.");
            return false;
        }
        queued_ += n;
        done += n;
        if (!sendFrames(false, write, error)) return false;
    }
    return true;
}

bool AacEncoder::sendFrames(bool all, const Write& write, QString* error) {
    const int size = codec_->frame_size;
    while (av_audio_fifo_size(fifo_) >= size || (all && av_audio_fifo_size(fifo_) > 0)) {
        const int n = std::min(size, av_audio_fifo_size(fifo_));
        av_frame_unref(frame_.get());
        frame_->nb_samples = n;
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = codec_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
        if (av_frame_get_buffer(frame_.get(), 0) < 0) {
            if (error) *error = QStringLiteral("Out of memory.");
            return false;
        }
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), n);
        // FFmpeg's encoder takes any window whose peak passes 0.95 down as a
        // whole until the peak is 0.95, so that its decoded output cannot
        // clip: a mix over full scale (which every PCM writer clips at ±1)
        // came out up to 2 dB quieter throughout. Clipped at 0.95 here, the
        // samples above it are cut as the PCM formats cut those above 1,
        // and the rest keeps its level.
        for (int c = 0; c < codec_->ch_layout.nb_channels; ++c) {
            float* x = reinterpret_cast<float*>(frame_->data[c]);
            for (int i = 0; i < n; ++i) x[i] = std::clamp(x[i], -kCeiling, kCeiling);
        }
        frame_->pts = pts_;
        pts_ += n;
        if (!encode(frame_.get(), write, error)) return false;
    }
    return true;
}

bool AacEncoder::encode(AVFrame* frame, const Write& write, QString* error) {
    int rc = avcodec_send_frame(codec_.get(), frame);
    if (rc < 0) {
        if (error) *error = QStringLiteral("AAC encoding failed (%1).").arg(ffmpeg::errorText(rc));
        return false;
    }
    while ((rc = avcodec_receive_packet(codec_.get(), packet_.get())) >= 0) {
        av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        if (!write(packet_.get())) {
            if (error && error->isEmpty()) *error = QStringLiteral("The encoded audio could not be written.");
            return false;
        }
        av_packet_unref(packet_.get());
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
        if (error) *error = QStringLiteral("AAC encoding failed (%1).").arg(ffmpeg::errorText(rc));
        return false;
    }
    return true;
}

bool AacEncoder::finish(const Write& write, QString* error) {
    if (!sendFrames(true, write, error)) return false;
    return encode(nullptr, write, error);
}

int startMp4Output(AVFormatContext* output, const QString& path, const MediaMetadata& metadata,
                   double sampleRate) {
    auto set = [&](const char* key, const QString& v) {
        if (!v.isEmpty()) av_dict_set(&output->metadata, key, v.toUtf8().constData(), 0);
    };
    set("title", metadata.title);
    set("artist", metadata.artist);
    set("comment", metadata.comment);
    int rc = avio_open(&output->pb, QFile::encodeName(path).constData(), AVIO_FLAG_WRITE);
    if (rc < 0) return rc;
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "movie_timescale", int64_t(sampleRate), 0);
    rc = avformat_write_header(output, &options);
    av_dict_free(&options);
    return rc;
}
