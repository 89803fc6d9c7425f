#include "platform/media/AudioFileWriter.h"

#include "platform/media/SampleCheck.h"

#include "platform/media/AacEncoder.h"
#include "platform/media/FFmpeg.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

QString AudioFileWriter::extension(Format format) {
    switch (format) {
    case Format::M4A: return QStringLiteral("m4a");
    case Format::AIFF: return QStringLiteral("aif");
    case Format::WAV: return QStringLiteral("wav");
    case Format::CAF: return QStringLiteral("caf");
    }
    return {};
}

AudioFileWriter::AudioFileWriter(QString path, Settings settings, MediaMetadata metadata,
                                 const QString& temporaryExtension)
    : path_(QFileInfo(path).absoluteFilePath()),
      temporaryPath_(partialfiles::temporaryPathFor(path, temporaryExtension)), settings_(settings),
      metadata_(std::move(metadata)) {}

AudioFileWriter::~AudioFileWriter() = default;

bool AudioFileWriter::append(const AudioPCMBuffer& buffer, QString* error) {
    if (buffer.channelCount() != settings_.channelCount)
        return fail(error, QStringLiteral("The buffer has %1 channels and the file %2.")
                               .arg(buffer.channelCount())
                               .arg(settings_.channelCount));
    return append(buffer.channels(), buffer.frameLength(), error);
}

void AudioFileWriter::cancel() {
    if (finished_) return;
    closeWithoutFinishing();
    QFile::remove(temporaryPath_);
    failed_ = true;
}

bool AudioFileWriter::commit(QString* error) {
    int why = 0;
    if (!partialfiles::putInPlace(temporaryPath_, path_, settings_.durability, &why))
        return fail(error, QStringLiteral("\"%1\" could not be put in place. %2").arg(path_, reasonFor(why)));
    finished_ = true;
    return true;
}

bool AudioFileWriter::fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

QString AudioFileWriter::reasonFor(int errorNumber) const {
    return partialfiles::reasonForError(errorNumber, QFileInfo(path_).absolutePath());
}

QString AudioFileWriter::reasonForFFmpeg(int code) const {
    // FFmpeg passes the system's errors on as their negatives.
    if (code < 0 && code > -4096) return reasonFor(-code);
    return ffmpeg::errorText(code);
}

namespace {

// AIFF, WAV and CAF through libsndfile.
class PcmWriter final : public AudioFileWriter {
public:
    PcmWriter(const QString& path, const Settings& s, const MediaMetadata& m)
        : AudioFileWriter(path, s, m, extension(s.format)) {}
    ~PcmWriter() override { cancel(); }

    bool open(QString* error) {
        SF_INFO info{};
        info.samplerate = int(settings_.sampleRate);
        info.channels = settings_.channelCount;
        switch (settings_.format) {
        case Format::AIFF: info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG; break;
        case Format::WAV: info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE; break;
        case Format::CAF: info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE; break;
        default: return fail(error, QStringLiteral("Not a PCM format."));
        }
        if (!sf_format_check(&info))
            return fail(error, QStringLiteral("libsndfile cannot write this format at %1 Hz with %2 channels.")
                                   .arg(settings_.sampleRate)
                                   .arg(settings_.channelCount));
        const QByteArray name = QFile::encodeName(temporaryPath_);
        errno = 0;
        file_ = sf_open(name.constData(), SFM_WRITE, &info);
        if (!file_) {
            const int why = errno;
            QFile::remove(temporaryPath_);
            return fail(error, why ? reasonFor(why) : QString::fromUtf8(sf_strerror(nullptr)));
        }
        sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        if (settings_.format == Format::CAF) {
            // CAF's own 'info' chunk carries the strings.
            auto set = [&](int key, const QString& v) {
                if (!v.isEmpty()) sf_set_string(file_, key, v.toUtf8().constData());
            };
            set(SF_STR_TITLE, metadata_.title);
            set(SF_STR_ARTIST, metadata_.artist);
            set(SF_STR_COMMENT, metadata_.comment);
        }
        return true;
    }

    bool append(const float* const* channels, int64_t frames, QString* error) override {
        if (finished_ || failed_ || !file_) return fail(error, QStringLiteral("The writer is closed."));
        const int n = settings_.channelCount;
        if (!samplecheck::allFinite(channels, n, frames)) {
            cancel();
            return fail(error, QString::fromLatin1(samplecheck::kNotFiniteText));
        }
        constexpr int64_t Block = 8192;
        interleaved_.resize(size_t(Block * n));
        for (int64_t done = 0; done < frames; done += Block) {
            const int64_t count = std::min(Block, frames - done);
            for (int64_t i = 0; i < count; ++i)
                for (int c = 0; c < n; ++c) interleaved_[size_t(i * n + c)] = channels[c][done + i];
            errno = 0;
            if (sf_writef_float(file_, interleaved_.data(), count) != count) {
                const int code = errno;
                const QString why = code ? reasonFor(code) : QString::fromUtf8(sf_strerror(file_));
                cancel();
                return fail(error, why);
            }
        }
        frames_ += frames;
        return true;
    }

    bool finish(QString* error) override {
        if (finished_ || failed_ || !file_) return fail(error, QStringLiteral("The writer is closed."));
        // The header goes last: a full disk shows here as well.
        errno = 0;
        sf_write_sync(file_);
        const int code = sf_error(file_) != SF_ERR_NO_ERROR ? errno : 0;
        const int rc = sf_close(file_);
        file_ = nullptr;
        if (rc != 0 || code != 0) {
            const int why = code ? code : errno;
            cancel();
            return fail(error, why ? reasonFor(why) : QStringLiteral("\"%1\" could not be completed.").arg(path_));
        }
        bool tagged = true;
        QString tagError;
        if (!metadata_.isEmpty()) {
            switch (settings_.format) {
            case Format::WAV: tagged = mediatags::writeWav(temporaryPath_, metadata_, &tagError); break;
            case Format::AIFF: tagged = mediatags::writeAiff(temporaryPath_, metadata_, &tagError); break;
            case Format::CAF: tagged = mediatags::writeCafTag(temporaryPath_, metadata_, &tagError); break;
            default: break;
            }
        }
        if (!tagged) {
            cancel();
            return fail(error, tagError);
        }
        return commit(error);
    }

protected:
    void closeWithoutFinishing() override {
        if (file_) sf_close(file_);
        file_ = nullptr;
    }

private:
    SNDFILE* file_ = nullptr;
    std::vector<float> interleaved_;
};

// m4a: AAC in FFmpeg's iPod/M4A muxer, metadata and artwork from the muxer.
class M4aWriter final : public AudioFileWriter {
public:
    M4aWriter(const QString& path, const Settings& s, const MediaMetadata& m)
        : AudioFileWriter(path, s, m, extension(Format::M4A)) {}
    ~M4aWriter() override { cancel(); }

    bool open(QString* error) {
        AVFormatContext* raw = nullptr;
        const QByteArray name = QFile::encodeName(temporaryPath_);
        if (avformat_alloc_output_context2(&raw, nullptr, "ipod", name.constData()) < 0 || !raw)
            return fail(error, QStringLiteral("FFmpeg's m4a muxer is missing."));
        output_.reset(raw);
        if (!encoder_.open(raw, settings_.sampleRate, settings_.channelCount, settings_.bitRate, error))
            return false;
        AVStream* picture = nullptr;
        if (!metadata_.artwork.isEmpty()) {
            const QImage image = QImage::fromData(metadata_.artwork);
            picture = avformat_new_stream(raw, nullptr);
            picture->disposition = AV_DISPOSITION_ATTACHED_PIC;
            picture->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
            const QString mime = metadata_.artworkMimeType();
            picture->codecpar->codec_id = mime == QStringLiteral("image/png") ? AV_CODEC_ID_PNG
                                          : mime == QStringLiteral("image/bmp") ? AV_CODEC_ID_BMP
                                                                                : AV_CODEC_ID_MJPEG;
            picture->codecpar->width = image.width();
            picture->codecpar->height = image.height();
            picture->time_base = AVRational{1, 90000};
        }
        int rc = startMp4Output(raw, temporaryPath_, metadata_, settings_.sampleRate);
        if (rc < 0) {
            closeWithoutFinishing();
            QFile::remove(temporaryPath_);
            return fail(error, reasonForFFmpeg(rc));
        }
        if (picture) {
            auto pkt = ffmpeg::makePacket();
            av_new_packet(pkt.get(), int(metadata_.artwork.size()));
            memcpy(pkt->data, metadata_.artwork.constData(), size_t(metadata_.artwork.size()));
            pkt->stream_index = picture->index;
            pkt->flags |= AV_PKT_FLAG_KEY;
            pkt->pts = pkt->dts = 0;
            rc = av_interleaved_write_frame(raw, pkt.get());
            if (rc < 0) {
                closeWithoutFinishing();
                QFile::remove(temporaryPath_);
                return fail(error, QStringLiteral("The artwork of \"%1\" could not be written. %2")
                                       .arg(path_, reasonForFFmpeg(rc)));
            }
        }
        return true;
    }

    bool append(const float* const* channels, int64_t frames, QString* error) override {
        if (finished_ || failed_ || !output_) return fail(error, QStringLiteral("The writer is closed."));
        if (!encoder_.append(channels, frames, writePacket(), error)) {
            if (writeError_ < 0) fail(error, reasonForFFmpeg(writeError_));
            cancel();
            return false;
        }
        frames_ += frames;
        return true;
    }

    bool finish(QString* error) override {
        if (finished_ || failed_ || !output_) return fail(error, QStringLiteral("The writer is closed."));
        if (!encoder_.finish(writePacket(), error)) {
            if (writeError_ < 0) fail(error, reasonForFFmpeg(writeError_));
            cancel();
            return false;
        }
        int rc = av_write_trailer(output_.get());
        if (rc >= 0) rc = avio_closep(&output_->pb);
        output_.reset();
        if (rc < 0) {
            cancel();
            return fail(error, reasonForFFmpeg(rc));
        }
        return commit(error);
    }

protected:
    void closeWithoutFinishing() override { output_.reset(); }

private:
    AacEncoder::Write writePacket() {
        return [this](AVPacket* p) {
            const int rc = av_interleaved_write_frame(output_.get(), p);
            if (rc < 0) writeError_ = rc;
            return rc >= 0;
        };
    }

    ffmpeg::OutputPtr output_;
    AacEncoder encoder_;
    int writeError_ = 0;  // the muxer's last failure
};

}  // namespace

std::unique_ptr<AudioFileWriter> AudioFileWriter::create(const QString& path, const Settings& settings,
                                                         const MediaMetadata& metadata, QString* error) {
    if (settings.channelCount < 1 || settings.channelCount > 8 || settings.sampleRate < 8000 ||
        settings.sampleRate > 192000) {
        if (error)
            *error = QStringLiteral("Cannot write %1 channels at %2 Hz.")
                         .arg(settings.channelCount)
                         .arg(settings.sampleRate);
        return nullptr;
    }
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
        if (error) *error = partialfiles::reasonForError(ENOENT, QFileInfo(path).absolutePath());
        return nullptr;
    }
    // What an export killed while writing here left.
    partialfiles::removeLeftovers(QFileInfo(path).absolutePath());
    if (settings.format == Format::M4A) {
        auto w = std::unique_ptr<M4aWriter>(new M4aWriter(path, settings, metadata));
        if (!w->open(error)) return nullptr;
        return w;
    }
    auto w = std::unique_ptr<PcmWriter>(new PcmWriter(path, settings, metadata));
    if (!w->open(error)) return nullptr;
    return w;
}
