#include "Fixtures.h"

#include "platform/media/Asset.h"
#include "platform/media/AudioFileWriter.h"
#include "platform/media/FFmpeg.h"
#include "platform/media/MediaMetadata.h"
#include "platform/media/MovieWriter.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <cmath>
#include <vector>

#include <QDir>
#include <QtEndian>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
}

using testsupport::tempDir;

namespace {

QString dir() {
    static const QString d = tempDir();
    return d;
}

QByteArray artwork() {
    QFile f(fixtures::picture(dir(), 80, 60));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

MediaMetadata sampleMetadata() {
    MediaMetadata m;
    m.title = QStringLiteral("Été à Zürich — 東京");
    m.artist = QStringLiteral("Ærøskøbing Ensemble");
    m.comment = QStringLiteral("Recorded live; “quoted” text");
    m.artwork = artwork();
    return m;
}

// The test tone, generated: 440 Hz at half scale left, 660 Hz at quarter scale right.
float tone(int channel, int64_t frame, double rate) {
    const double f = channel == 0 ? 440 : 660, a = channel == 0 ? 0.5 : 0.25;
    return float(a * std::sin(2 * M_PI * f * double(frame) / rate));
}

// Writes `frames` frames of the tone in uneven buffers.
bool writeTone(AudioFileWriter& w, int64_t frames, QString* error) {
    const double rate = w.settings().sampleRate;
    int64_t at = 0;
    int step = 1000;
    while (at < frames) {
        const int64_t n = std::min<int64_t>(step, frames - at);
        AudioPCMBuffer buffer(2, n, rate);
        for (int c = 0; c < 2; ++c)
            for (int64_t i = 0; i < n; ++i) buffer.channelData(c)[i] = tone(c, at + i, rate);
        buffer.setFrameLength(n);
        if (!w.append(buffer, error)) return false;
        at += n;
        step = step == 1000 ? 4096 : (step == 4096 ? 333 : 1000);
    }
    return true;
}

QString metadataValue(const Asset& asset, const char* key) {
    auto items = asset.metadataWithCommonKey(QString::fromLatin1(key));
    return items.empty() ? QString() : items.front().value.toString();
}

struct WriterCase {
    AudioFileWriter::Format format;
    double rate;
    int bitRate;
    const char* codec;
};
void PrintTo(const WriterCase& c, std::ostream* os) {
    *os << AudioFileWriter::extension(c.format).toStdString() << " " << c.rate << " " << c.bitRate;
}

class WriterRoundTrip : public ::testing::TestWithParam<WriterCase> {};

TEST_P(WriterRoundTrip, WritesFormatContentAndMetadata) {
    const WriterCase& c = GetParam();
    const QString path = dir() + QStringLiteral("/out-%1-%2.%3")
                                     .arg(int(c.rate))
                                     .arg(c.bitRate)
                                     .arg(AudioFileWriter::extension(c.format));
    const int64_t frames = int64_t(2 * c.rate);
    QString error;
    AudioFileWriter::Settings s{c.format, c.rate, 2, c.bitRate};
    auto writer = AudioFileWriter::create(path, s, sampleMetadata(), &error);
    ASSERT_TRUE(writer) << error.toStdString();
    ASSERT_TRUE(writeTone(*writer, frames, &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));  // only the temporary file while writing
    EXPECT_TRUE(QFile::exists(writer->temporaryPath()));
    ASSERT_TRUE(writer->finish(&error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_FALSE(QFile::exists(writer->temporaryPath()));
    EXPECT_EQ(writer->framesWritten(), frames);

    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    auto track = asset->tracksWithMediaType(MediaType::Audio).at(0);
    EXPECT_EQ(track->info().codecName, QString::fromLatin1(c.codec));
    EXPECT_EQ(track->sampleRate(), c.rate);
    EXPECT_EQ(track->channelCount(), 2);
    EXPECT_EQ(track->info().frameCount, frames);
    auto decoded = track->loadDecodedSource({}, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    ASSERT_EQ(decoded->frameCount(), frames);
    for (int ch = 0; ch < 2; ++ch) {
        // The error against the tone with the decoded samples shifted by `lag`.
        auto error = [&](int lag, double* worst) {
            double diff = 0, energy = 0;
            *worst = 0;
            for (int64_t i = 16; i < frames - 16; ++i) {
                const double ref = tone(ch, i, c.rate), d = decoded->sample(ch, i + lag) - ref;
                diff += d * d;
                energy += ref * ref;
                *worst = std::max(*worst, std::abs(d));
            }
            return std::sqrt(diff / energy);
        };
        double worst = 0;
        const double atZero = error(0, &worst);
        if (c.format == AudioFileWriter::Format::CAF) {
            EXPECT_EQ(worst, 0.0);
        } else if (c.format == AudioFileWriter::Format::M4A) {
            EXPECT_LT(atZero, 0.1);
            // Sample-aligned: no shift fits better.
            for (int lag = -8; lag <= 8; ++lag) {
                if (lag != 0) {
                    EXPECT_LT(atZero, error(lag, &worst)) << "lag " << lag;
                }
            }
        } else {
            EXPECT_LE(worst, 1.0 / 32767);
        }
    }

    EXPECT_EQ(metadataValue(*asset, "title"), sampleMetadata().title);
    EXPECT_EQ(metadataValue(*asset, "artist"), sampleMetadata().artist);
    EXPECT_EQ(metadataValue(*asset, "comment"), sampleMetadata().comment);
    auto art = asset->metadataWithCommonKey(QStringLiteral("artwork"));
    ASSERT_FALSE(art.empty());
    EXPECT_EQ(art.front().value.toByteArray(), sampleMetadata().artwork);
    EXPECT_FALSE(QImage::fromData(art.front().value.toByteArray()).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WriterRoundTrip,
    ::testing::Values(WriterCase{AudioFileWriter::Format::M4A, 44100, 128000, "aac"},
                      WriterCase{AudioFileWriter::Format::M4A, 48000, 160000, "aac"},
                      WriterCase{AudioFileWriter::Format::M4A, 44100, 192000, "aac"},
                      WriterCase{AudioFileWriter::Format::M4A, 48000, 320000, "aac"},
                      WriterCase{AudioFileWriter::Format::AIFF, 44100, 0, "pcm_s16be"},
                      WriterCase{AudioFileWriter::Format::AIFF, 48000, 0, "pcm_s16be"},
                      WriterCase{AudioFileWriter::Format::WAV, 44100, 0, "pcm_s16le"},
                      WriterCase{AudioFileWriter::Format::WAV, 48000, 0, "pcm_s16le"},
                      WriterCase{AudioFileWriter::Format::CAF, 44100, 0, "pcm_f32le"},
                      WriterCase{AudioFileWriter::Format::CAF, 48000, 0, "pcm_f32le"}),
    [](const auto& info) {
        return (AudioFileWriter::extension(info.param.format) + QStringLiteral("_%1_%2")
                                                                    .arg(int(info.param.rate))
                                                                    .arg(info.param.bitRate))
            .toStdString();
    });

TEST(AudioFileWriter, HigherBitRatesMakeLargerFiles) {
    qint64 sizes[2];
    const int rates[2] = {128000, 320000};
    for (int i = 0; i < 2; ++i) {
        const QString path = dir() + QStringLiteral("/rate-%1.m4a").arg(rates[i]);
        auto w = AudioFileWriter::create(path, {AudioFileWriter::Format::M4A, 44100, 2, rates[i]});
        ASSERT_TRUE(w);
        // Noise, so the encoder spends what it is allowed.
        std::vector<float> l(44100 * 4), r(44100 * 4);
        uint32_t x = 1;
        for (size_t k = 0; k < l.size(); ++k) {
            x = x * 1664525u + 1013904223u;
            l[k] = float(int32_t(x)) / 4.3e9f;
            r[k] = -l[k] * 0.5f;
        }
        const float* ch[2] = {l.data(), r.data()};
        ASSERT_TRUE(w->append(ch, int64_t(l.size())));
        ASSERT_TRUE(w->finish());
        sizes[i] = QFileInfo(path).size();
    }
    EXPECT_GT(sizes[1], sizes[0] * 2);
    EXPECT_NEAR(double(sizes[0]) * 8 / 4, 128000, 20000);
}

TEST(AudioFileWriter, FailuresAndCancelsLeaveNothingUnderTheName) {
    const QString d = tempDir();
    QString error;
    // A folder that does not exist.
    EXPECT_FALSE(AudioFileWriter::create(d + QStringLiteral("/no/such/folder/x.wav"), {}, {}, &error));
    EXPECT_FALSE(error.isEmpty());
    // Unsupported settings.
    error.clear();
    EXPECT_FALSE(AudioFileWriter::create(d + QStringLiteral("/x.wav"),
                                         {AudioFileWriter::Format::WAV, 44100, 0, 0}, {}, &error));
    EXPECT_FALSE(error.isEmpty());

    for (auto format : {AudioFileWriter::Format::M4A, AudioFileWriter::Format::WAV,
                        AudioFileWriter::Format::AIFF, AudioFileWriter::Format::CAF}) {
        const QString path = d + QStringLiteral("/cancelled.") + AudioFileWriter::extension(format);
        {
            auto w = AudioFileWriter::create(path, {format, 44100, 2, 192000}, sampleMetadata(), &error);
            ASSERT_TRUE(w) << error.toStdString();
            ASSERT_TRUE(writeTone(*w, 20000, &error));
            w->cancel();
            EXPECT_FALSE(w->finish(&error));
        }
        {
            // Destroyed before finishing.
            auto w = AudioFileWriter::create(path, {format, 48000, 2, 192000}, {}, &error);
            ASSERT_TRUE(w);
            ASSERT_TRUE(writeTone(*w, 20000, &error));
        }
        EXPECT_FALSE(QFile::exists(path));
    }
    EXPECT_TRUE(QDir(d).entryList(QDir::Files | QDir::Hidden).isEmpty())
        << QDir(d).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();

    // An earlier file under the name stays until a new one is complete.
    const QString kept = d + QStringLiteral("/kept.wav");
    {
        auto w = AudioFileWriter::create(kept, {AudioFileWriter::Format::WAV, 44100, 2, 0});
        writeTone(*w, 1000, &error);
        ASSERT_TRUE(w->finish());
    }
    const qint64 before = QFileInfo(kept).size();
    {
        auto w = AudioFileWriter::create(kept, {AudioFileWriter::Format::WAV, 44100, 2, 0});
        writeTone(*w, 50000, &error);
        EXPECT_EQ(QFileInfo(kept).size(), before);
        w->cancel();
    }
    EXPECT_EQ(QFileInfo(kept).size(), before);
}

// A block holding a sample that is no number fails the file, in every
// format: nothing is written under the name and the reason is given.
TEST(AudioFileWriter, ASampleThatIsNoNumberFailsTheFile) {
    const QString d = tempDir();
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        for (auto format : {AudioFileWriter::Format::M4A, AudioFileWriter::Format::WAV,
                            AudioFileWriter::Format::AIFF, AudioFileWriter::Format::CAF}) {
            SCOPED_TRACE(testing::Message() << int(format) << " " << bad);
            const QString path = d + QStringLiteral("/poisoned.") + AudioFileWriter::extension(format);
            QString error;
            auto w = AudioFileWriter::create(path, {format, 44100, 2, 192000}, {}, &error);
            ASSERT_TRUE(w) << error.toStdString();
            ASSERT_TRUE(writeTone(*w, 4096, &error));
            std::vector<float> left(1024, 0.25f), right(1024, 0.25f);
            right[700] = bad;
            const float* channels[] = {left.data(), right.data()};
            EXPECT_FALSE(w->append(channels, 1024, &error));
            EXPECT_TRUE(error.contains(QStringLiteral("not a number"))) << error.toStdString();
            EXPECT_FALSE(w->finish(&error));
            EXPECT_FALSE(QFile::exists(path));
        }
    }
    EXPECT_TRUE(QDir(d).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// A disk that fills while a file is written: every format fails, says so,
// and leaves neither the file nor its temporary one. The m4a's temporary name
// ends in ".m4a", so its muxer has nothing to warn about.
TEST(AudioFileWriter, AFullDiskFailsTheFileSaysSoAndLeavesNothing) {
    static QStringList warnings;
    warnings.clear();
    ffmpeg::routeMessagesToLog();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg) warnings << text;
    });
    const QString d = tempDir();
    for (auto format : {AudioFileWriter::Format::M4A, AudioFileWriter::Format::WAV, AudioFileWriter::Format::AIFF,
                        AudioFileWriter::Format::CAF}) {
        const QString extension = AudioFileWriter::extension(format);
        SCOPED_TRACE(extension.toStdString());
        const QString path = d + QStringLiteral("/full.") + extension;
        QString error;
        bool failed = false;
        {
            testsupport::FileSizeLimit limit(20000);
            auto w = AudioFileWriter::create(path, {format, 44100, 2, 320000}, {}, &error);
            ASSERT_TRUE(w) << error.toStdString();
            EXPECT_TRUE(w->temporaryPath().endsWith(QLatin1Char('.') + extension)) << w->temporaryPath().toStdString();
            failed = !writeTone(*w, 441000, &error) || !w->finish(&error);
        }
        EXPECT_TRUE(failed);
        EXPECT_EQ(error, QStringLiteral("The disk is full."));
        EXPECT_TRUE(QDir(d).entryList(QDir::Files | QDir::Hidden).isEmpty())
            << QDir(d).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
    }
    // A file that fits is written, and the m4a muxer finds its extension.
    auto w = AudioFileWriter::create(d + QStringLiteral("/fits.mp4"), {AudioFileWriter::Format::M4A, 44100, 2, 192000});
    ASSERT_TRUE(w);
    QString error;
    ASSERT_TRUE(writeTone(*w, 4410, &error));
    ASSERT_TRUE(w->finish(&error)) << error.toStdString();
    qInstallMessageHandler(previous);
    av_log_set_callback(av_log_default_callback);
    EXPECT_TRUE(warnings.filter(QStringLiteral("extension")).isEmpty()) << warnings.join('\n').toStdString();
}

// CAF has no chunk for a picture: the tags, picture and all, go into an
// 'ID3 ' chunk before the audio data, where they add nothing to the length
// that readers (FFmpeg's, as ffprobe shows it) find, and our reader takes
// them back.
TEST(AudioFileWriter, CafTagsLeaveTheLengthReadersFind) {
    // A picture of noise, large as artwork goes, so that a misplaced tag
    // would show as a second or more of sound.
    QImage noise(700, 700, QImage::Format_RGB32);
    uint32_t x = 12345;
    for (int y = 0; y < noise.height(); ++y)
        for (int i = 0; i < noise.width(); ++i) {
            x = x * 1664525u + 1013904223u;
            noise.setPixel(i, y, x >> 8);
        }
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(noise.save(&buffer, "PNG"));
    }
    ASSERT_GT(png.size(), 1 << 20);
    MediaMetadata metadata = sampleMetadata();
    metadata.artwork = png;

    const QString path = dir() + QStringLiteral("/tagged.caf");
    QString error;
    auto w = AudioFileWriter::create(path, {AudioFileWriter::Format::CAF, 44100, 2, 0}, metadata, &error);
    ASSERT_TRUE(w) << error.toStdString();
    ASSERT_TRUE(writeTone(*w, 88200, &error));
    ASSERT_TRUE(w->finish(&error)) << error.toStdString();

    AVFormatContext* format = nullptr;
    ASSERT_GE(avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr), 0);
    avformat_find_stream_info(format, nullptr);
    const double seconds = double(format->duration) / AV_TIME_BASE;
    const QString title = QString::fromUtf8(av_dict_get(format->metadata, "title", nullptr, 0)
                                                ? av_dict_get(format->metadata, "title", nullptr, 0)->value
                                                : "");
    avformat_close_input(&format);
    EXPECT_NEAR(seconds, 2.0, 0.001);
    EXPECT_EQ(title, metadata.title);  // from the 'info' chunk

    // The chunks in order: the audio data last.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QByteArrayList types;
    for (qint64 at = 8; at + 12 <= bytes.size();) {
        types << bytes.mid(at, 4);
        const qint64 size = qFromBigEndian<qint64>(bytes.constData() + at + 4);
        if (size < 0) break;
        at += 12 + size;
    }
    ASSERT_FALSE(types.isEmpty());
    EXPECT_EQ(types.last(), "data") << types.join(',').toStdString();
    EXPECT_EQ(types.count("ID3 "), 1) << types.join(',').toStdString();

    const MediaMetadata back = mediatags::read(path, QStringLiteral("caf"));
    EXPECT_EQ(back.artwork, png);
    EXPECT_EQ(back.title, metadata.title);
}

TEST(AudioFileWriter, AStoppedExportKeepsWhatWasWritten) {
    const QString path = dir() + QStringLiteral("/stopped.m4a");
    auto w = AudioFileWriter::create(path, {AudioFileWriter::Format::M4A, 44100, 2, 192000});
    ASSERT_TRUE(w);
    QString error;
    ASSERT_TRUE(writeTone(*w, 30000, &error));
    ASSERT_TRUE(w->finish(&error)) << error.toStdString();
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    EXPECT_EQ(asset->tracks().at(0)->info().frameCount, 30000);
}

TEST(MovieWriter, CopiesTheVideoEncodesTheAudioAndAddsArtwork) {
    const QString source = fixtures::movie(dir(), QStringLiteral("source.mp4"), 4.0);
    ASSERT_FALSE(source.isEmpty());
    const QString path = dir() + QStringLiteral("/movie.mov");
    QString error;
    MovieWriter::VideoSettings video;
    video.sourcePath = source;
    auto w = MovieWriter::create(path, video, {AudioFileWriter::Format::M4A, 44100, 2, 192000},
                                 sampleMetadata(), &error);
    ASSERT_TRUE(w) << error.toStdString();
    ASSERT_TRUE(writeTone(*w, 4 * 44100, &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(w->finish(&error)) << error.toStdString();

    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    EXPECT_TRUE(asset->formatName().startsWith(QStringLiteral("mov")));
    auto v = asset->tracksWithMediaType(MediaType::Video);
    auto a = asset->tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(v.size(), 1u);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(v[0]->info().codecName, QStringLiteral("mpeg4"));  // copied, not re-encoded
    EXPECT_EQ(v[0]->info().width, 320);
    EXPECT_NEAR(v[0]->timeRange().duration.seconds(), 4.0, 0.05);
    EXPECT_EQ(a[0]->info().codecName, QStringLiteral("aac"));
    EXPECT_EQ(a[0]->info().frameCount, 4 * 44100);
    EXPECT_EQ(metadataValue(*asset, "title"), sampleMetadata().title);
    EXPECT_EQ(metadataValue(*asset, "artist"), sampleMetadata().artist);
    EXPECT_EQ(metadataValue(*asset, "comment"), sampleMetadata().comment);
    auto art = asset->metadataWithCommonKey(QStringLiteral("artwork"));
    ASSERT_FALSE(art.empty());
    EXPECT_EQ(art.front().value.toByteArray(), sampleMetadata().artwork);
}

TEST(MovieWriter, PlacesAPieceOfTheVideo) {
    const QString source = fixtures::movie(dir(), QStringLiteral("piece-source.mp4"), 4.0);
    const QString path = dir() + QStringLiteral("/piece.mov");
    QString error;
    MovieWriter::VideoSettings video;
    video.sourcePath = source;
    video.segments.push_back({MediaTimeRange(MediaTime(1, 1), MediaTime(2, 1)), MediaTime::zero(), {}});
    auto w = MovieWriter::create(path, video, {AudioFileWriter::Format::M4A, 48000, 2, 128000}, {}, &error);
    ASSERT_TRUE(w) << error.toStdString();
    ASSERT_TRUE(writeTone(*w, 2 * 48000, &error));
    ASSERT_TRUE(w->finish(&error)) << error.toStdString();
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    auto v = asset->tracksWithMediaType(MediaType::Video);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_NEAR(v[0]->timeRange().duration.seconds(), 2.0, 0.1);
    EXPECT_EQ(asset->tracksWithMediaType(MediaType::Audio).at(0)->info().frameCount, 2 * 48000);

    // A source without video is refused and leaves nothing.
    MovieWriter::VideoSettings none;
    none.sourcePath = fixtures::sourceWav(dir());
    const QString refused = dir() + QStringLiteral("/refused.mov");
    EXPECT_FALSE(MovieWriter::create(refused, none, {}, {}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(refused));
}

}  // namespace
