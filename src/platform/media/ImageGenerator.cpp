#include "platform/media/ImageGenerator.h"

#include "platform/core/MainQueue.h"
#include "platform/media/Asset.h"
#include "platform/media/FFmpeg.h"
#include "platform/media/MediaWorkers.h"

extern "C" {
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

#include <QTransform>

#include <cmath>

struct ImageGenerator::State {
    std::mutex mutex;
    ffmpeg::InputPtr input;
    ffmpeg::CodecPtr codec;
    AVStream* stream = nullptr;
    int rotation = 0;
    SwsContext* sws = nullptr;
    ~State() { sws_freeContext(sws); }

    bool open(const QString& path, QString* error) {
        if (input) return true;
        input = ffmpeg::openInput(path, error);
        if (!input) return false;
        int index = -1;
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            AVStream* st = input->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                index = int(i);
                break;
            }
        }
        if (index < 0) {
            if (error) *error = QStringLiteral("\"%1\" has no video.").arg(path);
            input.reset();
            return false;
        }
        for (unsigned i = 0; i < input->nb_streams; ++i)
            if (int(i) != index) input->streams[i]->discard = AVDISCARD_ALL;
        stream = input->streams[index];
        codec = ffmpeg::openDecoder(input.get(), index, error, 0);
        if (!codec) {
            input.reset();
            return false;
        }
        if (const uint8_t* m = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
            const double ccw = av_display_rotation_get(reinterpret_cast<const int32_t*>(m));
            if (!std::isnan(ccw)) rotation = ((int(std::lround(-ccw / 90.0)) % 4 + 4) % 4) * 90;
        }
        return true;
    }
};

ImageGenerator::ImageGenerator(const QString& path) : path_(path), state_(std::make_shared<State>()) {}
ImageGenerator::ImageGenerator(const Asset& asset) : ImageGenerator(asset.path()) {}
ImageGenerator::~ImageGenerator() = default;

QImage ImageGenerator::imageAt(const MediaTime& time, MediaTime* actualTime, QString* error) {
    State& s = *state_;
    std::lock_guard lock(s.mutex);
    if (!s.open(path_, error)) return {};
    const AVRational tb = s.stream->time_base;
    const double seconds = time.isNumeric() ? std::max(0.0, time.seconds()) : 0.0;
    int64_t target = int64_t(std::floor(seconds / av_q2d(tb)));
    if (s.stream->start_time != AV_NOPTS_VALUE) target += s.stream->start_time;
    av_seek_frame(s.input.get(), s.stream->index, target, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(s.codec.get());

    auto packet = ffmpeg::makePacket();
    auto frame = ffmpeg::makeFrame();
    ffmpeg::FramePtr best;
    bool done = false, eof = false;
    auto take = [&]() {
        while (!done && avcodec_receive_frame(s.codec.get(), frame.get()) >= 0) {
            const int64_t pts = frame->best_effort_timestamp;
            if (best && pts != AV_NOPTS_VALUE && pts > target) {
                done = true;  // the frame before this one is on screen at the target
                break;
            }
            best.reset(av_frame_clone(frame.get()));
            if (pts != AV_NOPTS_VALUE && pts == target) done = true;
            av_frame_unref(frame.get());
        }
    };
    while (!done && !eof) {
        if (av_read_frame(s.input.get(), packet.get()) < 0) {
            eof = true;
            avcodec_send_packet(s.codec.get(), nullptr);
        } else {
            if (packet->stream_index == s.stream->index) avcodec_send_packet(s.codec.get(), packet.get());
            av_packet_unref(packet.get());
        }
        take();
    }
    if (!best) {
        if (error) *error = QStringLiteral("No picture could be decoded from \"%1\".").arg(path_);
        return {};
    }

    // Display size: the sample aspect ratio, the turn, then the limit.
    int w = best->width, h = best->height;
    const AVRational sar = best->sample_aspect_ratio.num > 0 ? best->sample_aspect_ratio
                                                             : s.stream->codecpar->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) w = int(std::lround(w * av_q2d(sar)));
    const int turn = appliesTransform_ ? s.rotation : 0;
    QSize shown = (turn == 90 || turn == 270) ? QSize(h, w) : QSize(w, h);
    if (maximumSize_.isValid() && !maximumSize_.isEmpty() &&
        (shown.width() > maximumSize_.width() || shown.height() > maximumSize_.height()))
        shown = shown.scaled(maximumSize_, Qt::KeepAspectRatio);
    const QSize scaled = (turn == 90 || turn == 270) ? QSize(shown.height(), shown.width()) : shown;

    s.sws = sws_getCachedContext(s.sws, best->width, best->height, AVPixelFormat(best->format),
                                 std::max(1, scaled.width()), std::max(1, scaled.height()), AV_PIX_FMT_BGRA,
                                 SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!s.sws) {
        if (error) *error = QStringLiteral("The picture of \"%1\" could not be converted.").arg(path_);
        return {};
    }
    QImage image(std::max(1, scaled.width()), std::max(1, scaled.height()), QImage::Format_ARGB32);
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int stride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(s.sws, best->data, best->linesize, 0, best->height, dst, stride);
    if (turn != 0) image = image.transformed(QTransform().rotate(turn));
    if (actualTime) {
        int64_t pts = best->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) pts = target;
        if (s.stream->start_time != AV_NOPTS_VALUE) pts -= s.stream->start_time;
        *actualTime = tb.num == 1 ? MediaTime(pts, tb.den) : MediaTime::fromSeconds(pts * av_q2d(tb), 600);
    }
    return image;
}

void ImageGenerator::generateAsync(const MediaTime& time, Completion completion) {
    // A copy that shares the open file, so this generator may go away first.
    auto copy = std::make_shared<ImageGenerator>(*this);
    mediaworkers::loadPool().start([copy, time, completion = std::move(completion)] {
        MediaTime actual;
        QString error;
        const QImage image = copy->imageAt(time, &actual, &error);
        MainQueue::async([image, actual, error, completion] {
            if (completion) completion(image, actual, error);
        });
    });
}
