#include "platform/media/AudioFileWriter.h"

#include "platform/media/AacEncoder.h"
#include "platform/media/FFmpeg.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <vector>

QString temporaryPathFor(const QString& path) {
    static std::atomic<int> counter{0};
    const QFileInfo fi(path);
    return fi.absolutePath() + QStringLiteral("/.") + fi.fileName() +
           QStringLiteral(".part-%1-%2").arg(::getpid()).arg(counter.fetch_add(1));
}

QString AudioFileWriter::extension(Format format) {
    switch (format) {
    case Format::M4A: return QStringLiteral("m4a");
    case Format::AIFF: return QStringLiteral("aif");
    case Format::WAV: return QStringLiteral("wav");
    case Format::CAF: return QStringLiteral("caf");
    }
    return {};
}

AudioFileWriter::AudioFileWriter(QString path, Settings settings, MediaMetadata metadata)
    : path_(QFileInfo(path).absoluteFilePath()), temporaryPath_(temporaryPathFor(path)),
      settings_(settings), metadata_(std::move(metadata)) {}

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
    const QByteArray from = QFile::encodeName(temporaryPath_), to = QFile::encodeName(path_);
    if (std::rename(from.constData(), to.constData()) != 0) {
        QFile::remove(temporaryPath_);
        return fail(error, QStringLiteral("\"%1\" could not be put in place.").arg(path_));
    }
    finished_ = true;
    return true;
}

bool AudioFileWriter::fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

namespace {

// AIFF, WAV and CAF through libsndfile.
class PcmWriter final : public AudioFileWriter {
public:
    PcmWriter(const QString& path, const Settings& s, const MediaMetadata& m) : AudioFileWriter(path, s, m) {}
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
        file_ = sf_open(name.constData(), SFM_WRITE, &info);
        if (!file_)
            return fail(error, QStringLiteral("\"%1\" could not be created (%2).")
                                   .arg(path_, QString::fromUtf8(sf_strerror(nullptr))));
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
        constexpr int64_t Block = 8192;
        interleaved_.resize(size_t(Block * n));
        for (int64_t done = 0; done < frames; done += Block) {
            const int64_t count = std::min(Block, frames - done);
            for (int64_t i = 0; i < count; ++i)
                for (int c = 0; c < n; ++c) interleaved_[size_t(i * n + c)] = channels[c][done + i];
            if (sf_writef_float(file_, interleaved_.data(), count) != count) {
                const QString why = QString::fromUtf8(sf_strerror(file_));
                cancel();
                return fail(error, QStringLiteral("Writing \"%1\" failed (%2).").arg(path_, why));
            }
        }
        frames_ += frames;
        return true;
    }

    bool finish(QString* error) override {
        if (finished_ || failed_ || !file_) return fail(error, QStringLiteral("The writer is closed."));
        sf_write_sync(file_);
        const int rc = sf_close(file_);
        file_ = nullptr;
        if (rc != 0) {
            cancel();
            return fail(error, QStringLiteral("\"%1\" could not be completed.").arg(path_));
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
    M4aWriter(const QString& path, const Settings& s, const MediaMetadata& m) : AudioFileWriter(path, s, m) {}
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
            return fail(error, QStringLiteral("\"%1\" could not be started (%2).").arg(path_, ffmpeg::errorText(rc)));
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
                return fail(error, QStringLiteral("The artwork of \"%1\" could not be written.").arg(path_));
            }
        }
        return true;
    }

    bool append(const float* const* channels, int64_t frames, QString* error) override {
        if (finished_ || failed_ || !output_) return fail(error, QStringLiteral("The writer is closed."));
        if (!encoder_.append(channels, frames, writePacket(), error)) {
            cancel();
            return false;
        }
        frames_ += frames;
        return true;
    }

    bool finish(QString* error) override {
        if (finished_ || failed_ || !output_) return fail(error, QStringLiteral("The writer is closed."));
        if (!encoder_.finish(writePacket(), error)) {
            cancel();
            return false;
        }
        int rc = av_write_trailer(output_.get());
        if (rc >= 0) rc = avio_closep(&output_->pb);
        output_.reset();
        if (rc < 0) {
            cancel();
            return fail(error, QStringLiteral("\"%1\" could not be completed (%2).").arg(path_, ffmpeg::errorText(rc)));
        }
        return commit(error);
    }

protected:
    void closeWithoutFinishing() override { output_.reset(); }

private:
    AacEncoder::Write writePacket() {
        return [this](AVPacket* p) { return av_interleaved_write_frame(output_.get(), p) >= 0; };
    }

    ffmpeg::OutputPtr output_;
    AacEncoder encoder_;
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
        if (error) *error = QStringLiteral("The folder of \"%1\" does not exist.").arg(path);
        return nullptr;
    }
    if (settings.format == Format::M4A) {
        auto w = std::unique_ptr<M4aWriter>(new M4aWriter(path, settings, metadata));
        if (!w->open(error)) return nullptr;
        return w;
    }
    auto w = std::unique_ptr<PcmWriter>(new PcmWriter(path, settings, metadata));
    if (!w->open(error)) return nullptr;
    return w;
}
