#include "platform/media/ImageGenerator.h"

#include "platform/core/MainQueue.h"
#include "platform/media/Asset.h"
#include "platform/media/FFmpeg.h"
#include "platform/media/MediaWorkers.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QTransform>

#include <atomic>
#include <cmath>

namespace {

// How far ahead of the decoder's frame a request may lie and still be
// reached by decoding on rather than by a seek: a seek lands on a key frame
// and decodes from there anyway, so over a short distance it only costs more.
constexpr double kDecodeOnSeconds = 2.0;

int64_t timestampOf(const AVFrame* frame) { return frame->best_effort_timestamp; }

}  // namespace

// The open file and its decoder, shared by the copies of one generator and
// used under `mutex` by one call at a time.
//
// Where the decoder stands: `shown` is the frame that answered the last call
// (the last one starting at or before its time), `next` the frame the decoder
// gave after it, held back because it starts later than that time. Neither
// is decoded again while the calls move forward.
struct ImageGenerator::State {
    std::mutex mutex;
    ffmpeg::InputPtr input;
    ffmpeg::CodecPtr codec;
    AVStream* stream = nullptr;
    int rotation = 0;
    SwsContext* sws = nullptr;
    ~State() { sws_freeContext(sws); }

    ffmpeg::PacketPtr packet = ffmpeg::makePacket();
    ffmpeg::FramePtr received = ffmpeg::makeFrame();
    ffmpeg::FramePtr shown, next;
    uint64_t shownSerial = 0;  // counts the frames `shown` has held
    bool positioned = false;   // false: the next call seeks
    bool inputEnded = false;   // the file's packets are all sent
    bool drained = false;      // and the decoder has given its last frame
    std::atomic<uint64_t> decoded{0};

    // The picture last made from `shown`, and the settings it was made with.
    QImage picture;
    uint64_t pictureSerial = 0;
    QSize pictureLimit;
    bool pictureTurned = false;

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

    // Whether decoding on from where the decoder stands reaches `target` at
    // no more cost than a seek would.
    bool reaches(int64_t target) const {
        if (!positioned || !shown) return false;
        const int64_t at = timestampOf(shown.get());
        if (at == AV_NOPTS_VALUE || target < at) return false;  // backwards
        if (drained || (next && timestampOf(next.get()) > target)) return true;  // nothing to decode
        if ((target - at) * av_q2d(stream->time_base) <= kDecodeOnSeconds) return true;
        // Further on: a seek would start at the key frame before the target;
        // when the decoder is already past it, decoding on is shorter.
        const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
        return key && key->timestamp <= at;
    }

    void seek(int64_t target) {
        if (av_seek_frame(input.get(), stream->index, target, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(input.get(), stream->index, target, 0);  // before the first key frame
        avcodec_flush_buffers(codec.get());
        shown.reset();
        next.reset();
        ++shownSerial;
        positioned = true;
        inputEnded = drained = false;
    }

    // Decodes on until `shown` is the last frame starting at or before
    // `target` (the first frame when all start later, the last one when the
    // file ends before it).
    void decodeTo(int64_t target) {
        for (;;) {
            if (next) {
                const int64_t ts = timestampOf(next.get());
                if (shown && ts != AV_NOPTS_VALUE && ts > target) return;  // `shown` is on screen at the target
                shown = std::move(next);
                ++shownSerial;
                if (ts != AV_NOPTS_VALUE && ts == target) return;
                continue;
            }
            if (drained) return;
            const int rc = avcodec_receive_frame(codec.get(), received.get());
            if (rc >= 0) {
                next = ffmpeg::makeFrame();
                av_frame_move_ref(next.get(), received.get());
                decoded.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            if (rc != AVERROR(EAGAIN) || inputEnded) {
                drained = true;  // the end, or a decoder that gives no more
                continue;
            }
            if (av_read_frame(input.get(), packet.get()) < 0) {
                inputEnded = true;
                avcodec_send_packet(codec.get(), nullptr);
            } else {
                // A damaged packet is skipped; the decoder goes on with the next.
                if (packet->stream_index == stream->index) avcodec_send_packet(codec.get(), packet.get());
                av_packet_unref(packet.get());
            }
        }
    }
};

ImageGenerator::ImageGenerator(const QString& path) : path_(path), state_(std::make_shared<State>()) {}
ImageGenerator::ImageGenerator(const Asset& asset) : ImageGenerator(asset.path()) {}
ImageGenerator::~ImageGenerator() = default;

uint64_t ImageGenerator::decodedFrames() const { return state_->decoded.load(std::memory_order_relaxed); }

QImage ImageGenerator::imageAt(const MediaTime& time, MediaTime* actualTime, QString* error) {
    State& s = *state_;
    std::lock_guard lock(s.mutex);
    if (!s.open(path_, error)) return {};
    const AVRational tb = s.stream->time_base;
    // In the stream's time base, rounded down exactly: a frame asked for at
    // its own time is that frame, not the one before.
    int64_t target = 0;
    if (time.isNumeric() && time.value > 0)
        target = av_rescale_rnd(time.value, tb.den, int64_t(time.timeScale) * tb.num, AV_ROUND_DOWN);
    if (s.stream->start_time != AV_NOPTS_VALUE) target += s.stream->start_time;
    if (!s.reaches(target)) s.seek(target);
    s.decodeTo(target);
    const AVFrame* best = s.shown.get();
    if (!best) {
        s.positioned = false;
        if (error) *error = QStringLiteral("No picture could be decoded from \"%1\".").arg(path_);
        return {};
    }
    if (actualTime) {
        int64_t pts = timestampOf(best);
        if (pts == AV_NOPTS_VALUE) pts = target;
        if (s.stream->start_time != AV_NOPTS_VALUE) pts -= s.stream->start_time;
        *actualTime = tb.num == 1 ? MediaTime(pts, tb.den) : MediaTime::fromSeconds(pts * av_q2d(tb), 600);
    }
    const int turn = appliesTransform_ ? s.rotation : 0;
    if (!s.picture.isNull() && s.pictureSerial == s.shownSerial && s.pictureLimit == maximumSize_ &&
        s.pictureTurned == (turn != 0))
        return s.picture;

    // Display size: the sample aspect ratio, the turn, then the limit.
    int w = best->width, h = best->height;
    const AVRational sar = best->sample_aspect_ratio.num > 0 ? best->sample_aspect_ratio
                                                             : s.stream->codecpar->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) w = int(std::lround(w * av_q2d(sar)));
    QSize shown = (turn == 90 || turn == 270) ? QSize(h, w) : QSize(w, h);
    if (maximumSize_.isValid() && !maximumSize_.isEmpty() &&
        (shown.width() > maximumSize_.width() || shown.height() > maximumSize_.height()))
        shown = shown.scaled(maximumSize_, Qt::KeepAspectRatio);
    const QSize scaled = (turn == 90 || turn == 270) ? QSize(shown.height(), shown.width()) : shown;

    // One conversion context, made again only when the source or the size changes.
    s.sws = sws_getCachedContext(s.sws, best->width, best->height, AVPixelFormat(best->format),
                                 std::max(1, scaled.width()), std::max(1, scaled.height()), AV_PIX_FMT_BGRA,
                                 SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!s.sws) {
        if (error) *error = QStringLiteral("The picture of \"%1\" could not be converted.").arg(path_);
        return {};
    }
    // Opaque video as opaque pixels, which a view draws with a plain copy.
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(AVPixelFormat(best->format));
    const bool alpha = format && (format->flags & AV_PIX_FMT_FLAG_ALPHA);
    QImage image(std::max(1, scaled.width()), std::max(1, scaled.height()),
                 alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int stride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(s.sws, best->data, best->linesize, 0, best->height, dst, stride);
    if (turn != 0) image = image.transformed(QTransform().rotate(turn));
    s.picture = image;
    s.pictureSerial = s.shownSerial;
    s.pictureLimit = maximumSize_;
    s.pictureTurned = turn != 0;
    return image;
}

void ImageGenerator::generateAsync(const MediaTime& time, Completion completion) {
    // A copy that shares the open file, so this generator may go away first.
    auto copy = std::make_shared<ImageGenerator>(*this);
    mediaworkers::start(mediaworkers::Work::Load, [copy, time, completion = std::move(completion)] {
        MediaTime actual;
        QString error;
        const QImage image = copy->imageAt(time, &actual, &error);
        MainQueue::async([image, actual, error, completion] {
            if (completion) completion(image, actual, error);
        });
    });
}
