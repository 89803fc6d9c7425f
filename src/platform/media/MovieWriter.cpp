#include "platform/media/MovieWriter.h"

#include "platform/media/AacEncoder.h"
#include "platform/media/FFmpeg.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>

struct MovieWriter::State {
    ffmpeg::InputPtr input;
    ffmpeg::OutputPtr output;
    AacEncoder encoder;
    AVStream* in = nullptr;
    AVStream* out = nullptr;

    struct Segment {
        double srcStart, srcEnd, dstStart, scale;
    };
    std::vector<Segment> segments;
    size_t current = 0;
    bool started = false;
    double origin = 0;  // source time that lands on the segment's destination start
    ffmpeg::PacketPtr pending;  // read but not yet due
    bool hasPending = false;
    int64_t lastDts = std::numeric_limits<int64_t>::min();
    int writeError = 0;  // the muxer's last failure

    AacEncoder::Write write() {
        return [this](AVPacket* p) {
            const int rc = av_interleaved_write_frame(output.get(), p);
            if (rc < 0) writeError = rc;
            return rc >= 0;
        };
    }
};

MovieWriter::MovieWriter(const QString& path, const Settings& audio, const MediaMetadata& metadata)
    : AudioFileWriter(path, audio, metadata), d(std::make_unique<State>()) {}

MovieWriter::~MovieWriter() { cancel(); }

void MovieWriter::closeWithoutFinishing() {
    d->output.reset();
    d->input.reset();
}

std::unique_ptr<MovieWriter> MovieWriter::create(const QString& path, const VideoSettings& video,
                                                 const Settings& audio, const MediaMetadata& metadata,
                                                 QString* error) {
    Settings s = audio;
    s.format = Format::M4A;
    if (s.channelCount < 1 || s.channelCount > 8 || s.sampleRate < 8000 || s.sampleRate > 96000) {
        if (error) *error = QStringLiteral("Cannot write %1 channels at %2 Hz.").arg(s.channelCount).arg(s.sampleRate);
        return nullptr;
    }
    partialfiles::removeLeftovers(QFileInfo(path).absolutePath());
    std::unique_ptr<MovieWriter> w(new MovieWriter(path, s, metadata));
    if (!w->open(video, error)) return nullptr;
    return w;
}

bool MovieWriter::open(const VideoSettings& video, QString* error) {
    d->input = ffmpeg::openInput(video.sourcePath, error);
    if (!d->input) return false;
    int index = video.streamIndex;
    if (index < 0) {
        for (unsigned i = 0; i < d->input->nb_streams; ++i) {
            const AVStream* st = d->input->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                index = int(i);
                break;
            }
        }
    }
    if (index < 0 || index >= int(d->input->nb_streams) ||
        d->input->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return fail(error, QStringLiteral("\"%1\" has no video to copy.").arg(video.sourcePath));
    for (unsigned i = 0; i < d->input->nb_streams; ++i)
        if (int(i) != index) d->input->streams[i]->discard = AVDISCARD_ALL;
    d->in = d->input->streams[index];

    const double streamSeconds =
        d->in->duration > 0 && d->in->duration != AV_NOPTS_VALUE
            ? d->in->duration * av_q2d(d->in->time_base)
            : (d->input->duration > 0 ? double(d->input->duration) / AV_TIME_BASE : 1e9);
    if (video.segments.empty()) {
        d->segments.push_back({0, streamSeconds, 0, 1});
    } else {
        for (const auto& s : video.segments) {
            const double src = s.source.start.seconds(), len = s.source.duration.seconds();
            if (!(len > 0)) continue;
            const double dlen = s.destinationDuration.isNumeric() ? s.destinationDuration.seconds() : len;
            d->segments.push_back({src, src + len, s.destinationStart.seconds(), dlen / len});
        }
    }

    AVFormatContext* raw = nullptr;
    const QByteArray name = QFile::encodeName(temporaryPath_);
    if (avformat_alloc_output_context2(&raw, nullptr, "mov", name.constData()) < 0 || !raw)
        return fail(error, QStringLiteral("FFmpeg's QuickTime muxer is missing."));
    d->output.reset(raw);
    if (avformat_query_codec(raw->oformat, d->in->codecpar->codec_id, FF_COMPLIANCE_NORMAL) != 1)
        return fail(error, QStringLiteral("The video of \"%1\" (%2) cannot be stored in a QuickTime movie.")
                               .arg(video.sourcePath,
                                    QString::fromUtf8(avcodec_get_name(d->in->codecpar->codec_id))));
    d->out = avformat_new_stream(raw, nullptr);
    avcodec_parameters_copy(d->out->codecpar, d->in->codecpar);
    d->out->codecpar->codec_tag = 0;
    d->out->time_base = d->in->time_base;
    d->out->avg_frame_rate = d->in->avg_frame_rate;
    size_t size = 0;
    if (const uint8_t* m = av_stream_get_side_data(d->in, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
        if (uint8_t* copy = av_stream_new_side_data(d->out, AV_PKT_DATA_DISPLAYMATRIX, size))
            memcpy(copy, m, size);
    }
    if (!d->encoder.open(raw, settings_.sampleRate, settings_.channelCount, settings_.bitRate, error))
        return false;
    const int rc = startMp4Output(raw, temporaryPath_, metadata_, settings_.sampleRate);
    if (rc < 0) {
        closeWithoutFinishing();
        QFile::remove(temporaryPath_);
        return fail(error, reasonForFFmpeg(rc));
    }
    d->pending = ffmpeg::makePacket();
    return true;
}

bool MovieWriter::pumpVideo(double until, QString* error) {
    AVPacket* pkt = d->pending.get();
    const double tb = av_q2d(d->in->time_base);
    while (d->current < d->segments.size()) {
        const auto& seg = d->segments[d->current];
        if (!d->started) {
            const int64_t ts = int64_t(std::floor(seg.srcStart / tb));
            av_seek_frame(d->input.get(), d->in->index, ts, AVSEEK_FLAG_BACKWARD);
            d->started = true;
            d->origin = std::numeric_limits<double>::quiet_NaN();
            d->hasPending = false;
        }
        if (!d->hasPending) {
            if (av_read_frame(d->input.get(), pkt) < 0) {
                ++d->current;
                d->started = false;
                continue;
            }
            if (pkt->stream_index != d->in->index) {
                av_packet_unref(pkt);
                continue;
            }
            d->hasPending = true;
        }
        const int64_t dtsIn = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
        const int64_t ptsIn = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : dtsIn;
        if (dtsIn == AV_NOPTS_VALUE || dtsIn * tb >= seg.srcEnd) {
            av_packet_unref(pkt);
            d->hasPending = false;
            if (dtsIn != AV_NOPTS_VALUE) {  // this segment is done
                ++d->current;
                d->started = false;
            }
            continue;
        }
        if (std::isnan(d->origin)) {
            // The first segment hides its lead-in before time zero (the
            // muxer writes an edit list); later ones start on the key frame.
            d->origin = d->current == 0 ? seg.srcStart : std::min(seg.srcStart, ptsIn * tb);
        }
        const double dstDts = seg.dstStart + (dtsIn * tb - d->origin) * seg.scale;
        if (dstDts > until) return true;  // not due yet: keep it for later
        const double otb = av_q2d(d->out->time_base);
        int64_t dts = std::llround(dstDts / otb);
        int64_t pts = std::llround((seg.dstStart + (ptsIn * tb - d->origin) * seg.scale) / otb);
        if (d->lastDts != std::numeric_limits<int64_t>::min() && dts <= d->lastDts) dts = d->lastDts + 1;
        if (pts < dts) pts = dts;
        d->lastDts = dts;
        pkt->dts = dts;
        pkt->pts = pts;
        pkt->duration = pkt->duration > 0 ? std::llround(pkt->duration * tb * seg.scale / otb) : 0;
        pkt->stream_index = d->out->index;
        pkt->pos = -1;
        const int rc = av_interleaved_write_frame(d->output.get(), pkt);
        d->hasPending = false;
        av_packet_unref(pkt);
        if (rc < 0)
            return fail(error, reasonForFFmpeg(rc));
    }
    return true;
}

bool MovieWriter::append(const float* const* channels, int64_t frames, QString* error) {
    if (finished_ || failed_ || !d->output) return fail(error, QStringLiteral("The writer is closed."));
    if (!d->encoder.append(channels, frames, d->write(), error) ||
        !pumpVideo(d->encoder.secondsQueued(), error)) {
        if (d->writeError < 0) fail(error, reasonForFFmpeg(d->writeError));
        cancel();
        return false;
    }
    frames_ += frames;
    return true;
}

bool MovieWriter::finish(QString* error) {
    if (finished_ || failed_ || !d->output) return fail(error, QStringLiteral("The writer is closed."));
    if (!pumpVideo(std::numeric_limits<double>::infinity(), error) ||
        !d->encoder.finish(d->write(), error)) {
        if (d->writeError < 0) fail(error, reasonForFFmpeg(d->writeError));
        cancel();
        return false;
    }
    int rc = av_write_trailer(d->output.get());
    if (rc >= 0) rc = avio_closep(&d->output->pb);
    d->output.reset();
    d->input.reset();
    if (rc < 0) {
        cancel();
        return fail(error, reasonForFFmpeg(rc));
    }
    if (!metadata_.artwork.isEmpty() && !mediatags::writeMp4Artwork(temporaryPath_, metadata_.artwork, error)) {
        cancel();
        return false;
    }
    return commit(error);
}
