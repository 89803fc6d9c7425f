#include "platform/media/FFmpeg.h"

extern "C" {
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <QFile>
#include <QLoggingCategory>

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <cstring>
#include <immintrin.h>
#include <string>

namespace ffmpeg {

void FormatOutputDeleter::operator()(AVFormatContext* c) const {
    if (!c) return;
    if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
    avformat_free_context(c);
}

QString errorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

bool isPcmCodec(AVCodecID id) { return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT; }

bool headerIsComplete(const AVFormatContext* input, bool trustSixteenBitWav) {
    const QByteArray format(input->iformat->name);
    const bool wav = format == "wav" || format == "w64";
    if (!wav && format != "aiff" && format != "caf") return false;
    if (input->nb_streams == 0) return false;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* st = input->streams[i];
        const AVCodecParameters* par = st->codecpar;
        const bool hasLength = st->nb_frames > 0 || (st->duration > 0 && st->duration != AV_NOPTS_VALUE);
        if (!hasLength || par->codec_type != AVMEDIA_TYPE_AUDIO || !isPcmCodec(par->codec_id) || par->sample_rate <= 0 ||
            par->ch_layout.nb_channels <= 0 || av_get_bits_per_sample(par->codec_id) <= 0)
            return false;
        if (wav && par->codec_id == AV_CODEC_ID_PCM_S16LE && !trustSixteenBitWav) return false;
    }
    return true;
}

bool findStreamInfo(AVFormatContext* input, const QString& path, QString* error) {
    const int rc = avformat_find_stream_info(input, nullptr);
    if (rc >= 0) return true;
    if (error)
        *error = QStringLiteral("\"%1\" could not be read as a media file (%2).").arg(path, errorText(rc));
    return false;
}

InputPtr openInput(const QString& path, QString* error, Probe probe) {
    AVFormatContext* raw = nullptr;
    const QByteArray name = QFile::encodeName(path);
    int rc = avformat_open_input(&raw, name.constData(), nullptr, nullptr);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("\"%1\" could not be opened as a media file (%2).")
                         .arg(path, errorText(rc));
        return nullptr;
    }
    InputPtr input(raw);
    if (probe == Probe::Never) return input;
    if (!findStreamInfo(input.get(), path, error)) return nullptr;
    return input;
}

CodecPtr openDecoder(AVFormatContext* input, int index, QString* error, int threads) {
    AVStream* st = input->streams[index];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        if (error)
            *error = QStringLiteral("There is no decoder for the codec \"%1\".")
                         .arg(QString::fromUtf8(avcodec_get_name(st->codecpar->codec_id)));
        return nullptr;
    }
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) {
        if (error) *error = QStringLiteral("Out of memory.");
        return nullptr;
    }
    avcodec_parameters_to_context(ctx.get(), st->codecpar);
    ctx->pkt_timebase = st->time_base;
    ctx->thread_count = threads;
    // FLAC decodes to planar samples when asked (16- or 32-bit as the file
    // needs): that spares it an interleaving pass and us the matching split.
    if (st->codecpar->codec_id == AV_CODEC_ID_FLAC) ctx->request_sample_fmt = AV_SAMPLE_FMT_S16P;
    int rc = avcodec_open2(ctx.get(), codec, nullptr);
    if (rc < 0) {
        if (error)
            *error = QStringLiteral("The %1 decoder could not be opened (%2).")
                         .arg(QString::fromUtf8(codec->name), errorText(rc));
        return nullptr;
    }
    return ctx;
}

namespace {
// Planar 16- and 32-bit integers (what FLAC decodes to), eight at a time: a
// 60-minute file is 300 million samples. Both scalings are by a power of two,
// so a single rounding happens, as in the scalar conversions below.
void planarS16(const int16_t* in, float* out, int frames) {
    const __m128 scale = _mm_set1_ps(1.0f / 32768.0f);
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        _mm_storeu_ps(out + i, _mm_mul_ps(_mm_cvtepi32_ps(lo), scale));
        _mm_storeu_ps(out + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(hi), scale));
    }
    for (; i < frames; ++i) out[i] = float(in[i]) * (1.0f / 32768.0f);
}

void planarS32(const int32_t* in, float* out, int frames) {
    const __m128 scale = _mm_set1_ps(1.0f / 2147483648.0f);
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 4));
        _mm_storeu_ps(out + i, _mm_mul_ps(_mm_cvtepi32_ps(a), scale));
        _mm_storeu_ps(out + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(b), scale));
    }
    for (; i < frames; ++i) out[i] = float(double(in[i]) * (1.0 / 2147483648.0));
}

template <typename T, typename Conv>
void convert(const AVFrame* f, bool planar, int offset, int frames, float* const* out, Conv conv) {
    const int channels = f->ch_layout.nb_channels;
    if (planar) {
        for (int c = 0; c < channels; ++c) {
            const T* in = reinterpret_cast<const T*>(f->extended_data[c]) + offset;
            float* o = out[c];
            for (int i = 0; i < frames; ++i) o[i] = conv(in[i]);
        }
    } else {
        const T* in = reinterpret_cast<const T*>(f->extended_data[0]) + size_t(offset) * channels;
        for (int c = 0; c < channels; ++c) {
            float* o = out[c];
            const T* p = in + c;
            for (int i = 0; i < frames; ++i) o[i] = conv(p[size_t(i) * channels]);
        }
    }
}
}  // namespace

void toPlanarFloat(const AVFrame* f, int offset, int frames, float* const* out) {
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_FLT:
        if (planar) {
            for (int c = 0; c < f->ch_layout.nb_channels; ++c)
                std::memcpy(out[c], reinterpret_cast<const float*>(f->extended_data[c]) + offset,
                            sizeof(float) * size_t(frames));
        } else {
            convert<float>(f, false, offset, frames, out, [](float v) { return v; });
        }
        break;
    case AV_SAMPLE_FMT_DBL:
        convert<double>(f, planar, offset, frames, out, [](double v) { return float(v); });
        break;
    case AV_SAMPLE_FMT_S16:
        if (planar) {
            for (int c = 0; c < f->ch_layout.nb_channels; ++c)
                planarS16(reinterpret_cast<const int16_t*>(f->extended_data[c]) + offset, out[c], frames);
            break;
        }
        convert<int16_t>(f, planar, offset, frames, out,
                         [](int16_t v) { return float(v) * (1.0f / 32768.0f); });
        break;
    case AV_SAMPLE_FMT_S32:
        if (planar) {
            for (int c = 0; c < f->ch_layout.nb_channels; ++c)
                planarS32(reinterpret_cast<const int32_t*>(f->extended_data[c]) + offset, out[c], frames);
            break;
        }
        convert<int32_t>(f, planar, offset, frames, out,
                         [](int32_t v) { return float(double(v) * (1.0 / 2147483648.0)); });
        break;
    case AV_SAMPLE_FMT_S64:
        convert<int64_t>(f, planar, offset, frames, out,
                         [](int64_t v) { return float(double(v) * (1.0 / 9223372036854775808.0)); });
        break;
    case AV_SAMPLE_FMT_U8:
        convert<uint8_t>(f, planar, offset, frames, out,
                         [](uint8_t v) { return float(int(v) - 128) * (1.0f / 128.0f); });
        break;
    default:
        for (int c = 0; c < f->ch_layout.nb_channels; ++c)
            std::memset(out[c], 0, sizeof(float) * size_t(frames));
        break;
    }
}

bool fitsInt16(int format) {
    switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(format))) {
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_U8:
        return true;
    default:
        return false;
    }
}

bool toPlanarInt16(const AVFrame* f, int offset, int frames, int16_t* const* out) {
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    const int channels = f->ch_layout.nb_channels;
    switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_S16:
        if (planar) {
            for (int c = 0; c < channels; ++c)
                std::memcpy(out[c], reinterpret_cast<const int16_t*>(f->extended_data[c]) + offset,
                            sizeof(int16_t) * size_t(frames));
        } else {
            const int16_t* in = reinterpret_cast<const int16_t*>(f->extended_data[0]) + size_t(offset) * channels;
            if (channels == 2) {
                int16_t* l = out[0];
                int16_t* r = out[1];
                for (int i = 0; i < frames; ++i) {
                    l[i] = in[2 * i];
                    r[i] = in[2 * i + 1];
                }
            } else {
                for (int c = 0; c < channels; ++c)
                    for (int i = 0; i < frames; ++i) out[c][i] = in[size_t(i) * channels + c];
            }
        }
        return true;
    case AV_SAMPLE_FMT_U8:
        for (int c = 0; c < channels; ++c) {
            const uint8_t* in = planar ? f->extended_data[c] + offset
                                       : f->extended_data[0] + size_t(offset) * channels + c;
            const size_t step = planar ? 1 : size_t(channels);
            for (int i = 0; i < frames; ++i) out[c][i] = int16_t((int(in[size_t(i) * step]) - 128) * 256);
        }
        return true;
    default:
        return false;
    }
}

namespace {

Q_LOGGING_CATEGORY(lcFFmpeg, "trevalune.ffmpeg")

// FFmpeg hands a line over in pieces; each thread gathers its own.
void logToQt(void* context, int level, const char* format, va_list args) {
    if (level > av_log_get_level()) return;
    thread_local std::string pending;
    thread_local int printPrefix = 1;
    char piece[1024];
    va_list copy;
    va_copy(copy, args);
    av_log_format_line2(context, level, format, copy, piece, sizeof piece, &printPrefix);
    va_end(copy);
    pending += piece;
    if (pending.empty() || pending.back() != '\n') return;
    while (!pending.empty() && (pending.back() == '\n' || pending.back() == '\r')) pending.pop_back();
    const QString text = QString::fromUtf8(pending.data(), qsizetype(pending.size()));
    pending.clear();
    if (text.isEmpty()) return;
    if (level <= AV_LOG_FATAL)
        qCCritical(lcFFmpeg, "%s", qUtf8Printable(text));
    else if (level <= AV_LOG_WARNING)
        qCWarning(lcFFmpeg, "%s", qUtf8Printable(text));
    else if (level <= AV_LOG_INFO)
        qCInfo(lcFFmpeg, "%s", qUtf8Printable(text));
    else
        qCDebug(lcFFmpeg, "%s", qUtf8Printable(text));
}

}  // namespace

namespace {

std::atomic<bool> soxrRefused{false};

// A context with the given engine: the SoX resampler at 28-bit precision,
// or libswresample's own with a filter four times its default length and a
// cutoff close to the lower Nyquist frequency.
bool initResampler(SwrContext** swr, const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                   const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate, bool soxr) {
    constexpr int kPrecisionBits = 28;
    constexpr int kLongFilterTaps = 128;
    constexpr double kLongFilterCutoff = 0.97;
    AVChannelLayout out = outLayout, in = inLayout;  // FFmpeg 5.1 takes them unqualified; it only reads them
    const bool set =
        swr_alloc_set_opts2(swr, &out, outFormat, outRate, &in, inFormat, inRate, 0, nullptr) >= 0 &&
        (soxr ? av_opt_set_int(*swr, "resampler", SWR_ENGINE_SOXR, 0) >= 0 &&
                    av_opt_set_double(*swr, "precision", kPrecisionBits, 0) >= 0
              : av_opt_set_int(*swr, "resampler", SWR_ENGINE_SWR, 0) >= 0 &&
                    av_opt_set_int(*swr, "filter_size", kLongFilterTaps, 0) >= 0 &&
                    av_opt_set_double(*swr, "cutoff", kLongFilterCutoff, 0) >= 0);
    if (!set || swr_init(*swr) < 0) {
        swr_free(swr);
        return false;
    }
    return true;
}

}  // namespace

bool makeResampler(SwrContext** swr, const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                   const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate) {
    if (!soxrRefused.load(std::memory_order_relaxed) &&
        initResampler(swr, outLayout, outFormat, outRate, inLayout, inFormat, inRate, true))
        return true;
    // FFmpeg builds without libsoxr refuse its engine.
    static std::once_flag said;
    std::call_once(said, [] {
        qCWarning(lcFFmpeg, "The SoX resampler is not available: audio is resampled with libswresample's own "
                            "engine and a long filter.");
    });
    return initResampler(swr, outLayout, outFormat, outRate, inLayout, inFormat, inRate, false);
}

void refuseSoxrEngine(bool refuse) { soxrRefused.store(refuse, std::memory_order_relaxed); }

void routeMessagesToLog() { av_log_set_callback(logToQt); }

}  // namespace ffmpeg
