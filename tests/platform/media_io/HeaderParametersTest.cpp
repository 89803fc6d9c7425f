// Files whose container header declares every parameter are opened without
// FFmpeg's probe; what the header gives must be what the probe finds, and
// every other file must still be probed.

#include "Fixtures.h"

#include "platform/media/Asset.h"
#include "platform/media/DecodedCache.h"
#include "platform/media/FFmpeg.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

using testsupport::tempDir;

namespace {

QString fixtureDir() {
    static const QString dir = tempDir();
    return dir;
}

// What the application reads of a stream's parameters.
struct Parameters {
    unsigned streams = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int rate = 0;
    int channels = 0;
    int blockAlign = 0;
    int64_t bitRate = 0;
    int64_t frames = 0;  // the stream's length in frames (CAF counts them; a probe only estimates its duration)
    bool operator==(const Parameters&) const = default;
};

void PrintTo(const Parameters& p, std::ostream* os) {
    *os << p.streams << " stream(s), " << avcodec_get_name(p.codec) << ", " << p.rate << " Hz, " << p.channels
        << " ch, align " << p.blockAlign << ", " << p.bitRate << " bit/s, " << p.frames << " frames";
}

Parameters parametersOf(const AVFormatContext* in) {
    Parameters p;
    p.streams = in->nb_streams;
    if (in->nb_streams == 0) return p;
    const AVStream* st = in->streams[0];
    const AVCodecParameters* par = st->codecpar;
    p.codec = par->codec_id;
    p.rate = par->sample_rate;
    p.channels = par->ch_layout.nb_channels;
    p.blockAlign = par->block_align;
    p.bitRate = par->bit_rate;
    if (st->nb_frames > 0 && QByteArray(in->iformat->name) == "caf")
        p.frames = st->nb_frames;
    else if (par->sample_rate > 0 && st->duration > 0)
        p.frames = av_rescale_q(st->duration, st->time_base, AVRational{1, par->sample_rate});
    return p;
}

enum class Header {
    Complete,      // opened without a probe
    NeedsRecord,   // complete but for the look for a hidden stream (16-bit PCM WAV)
    Probed,        // compressed, or not one of the containers: probed
    Unreadable,    // refused either way
};

struct HeaderCase {
    const char* file;
    QStringList options;
    Header header;
    AVCodecID codec;  // the codec found (when readable)
    int cutTo = 0;    // bytes the file is cut to (0: whole)
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.file; }

class HeaderParameters : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderParameters, TheHeaderGivesWhatTheProbeFinds) {
    const HeaderCase& c = GetParam();
    const QString source = fixtures::sourceWav(fixtureDir());
    ASSERT_FALSE(source.isEmpty());
    QString path = fixtures::convert(source, fixtureDir(), QString::fromLatin1(c.file), c.options);
    ASSERT_FALSE(path.isEmpty());
    if (c.cutTo > 0) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(c.cutTo));
    }

    QString probedError, quickError;
    auto probed = ffmpeg::openInput(path, &probedError, ffmpeg::Probe::Always);
    auto quick = ffmpeg::openInput(path, &quickError, ffmpeg::Probe::Never);
    if (c.header == Header::Unreadable) {
        EXPECT_FALSE(probed);
        if (quick) EXPECT_FALSE(ffmpeg::headerIsComplete(quick.get(), true));
        QString assetError;
        EXPECT_FALSE(Asset::load(path, &assetError));
        EXPECT_FALSE(assetError.isEmpty());
        return;
    }
    ASSERT_TRUE(probed) << probedError.toStdString();
    ASSERT_TRUE(quick) << quickError.toStdString();
    EXPECT_EQ(probed->streams[0]->codecpar->codec_id, c.codec);
    EXPECT_EQ(ffmpeg::headerIsComplete(quick.get()), c.header == Header::Complete);
    EXPECT_EQ(ffmpeg::headerIsComplete(quick.get(), true), c.header != Header::Probed);
    if (c.header != Header::Probed) {
        EXPECT_EQ(parametersOf(quick.get()), parametersOf(probed.get()));
    } else {
        // What the header leaves out comes from the probe.
        ASSERT_TRUE(ffmpeg::findStreamInfo(quick.get(), path, &quickError)) << quickError.toStdString();
        EXPECT_EQ(parametersOf(quick.get()), parametersOf(probed.get()));
    }

    // The asset opens it, and its samples decode to the length it reports.
    QString error;
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    auto track = asset->tracksWithMediaType(MediaType::Audio).at(0);
    EXPECT_EQ(track->sampleRate(), 44100);
    EXPECT_EQ(track->channelCount(), c.codec == AV_CODEC_ID_AC3 ? 6 : 2);
    auto decoded = track->loadDecodedSource({}, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_EQ(decoded->frameCount(), track->info().frameCount);
    if (c.header != Header::Probed) EXPECT_EQ(track->info().frameCount, int64_t(1.5 * 44100));
    // Opened again with its entry warm: the same track.
    auto again = Asset::load(path, &error);
    ASSERT_TRUE(again) << error.toStdString();
    auto againTrack = again->tracksWithMediaType(MediaType::Audio).at(0);
    EXPECT_EQ(againTrack->info().frameCount, track->info().frameCount);
    EXPECT_EQ(againTrack->info().codecName, track->info().codecName);
    EXPECT_EQ(againTrack->info().bitsPerSample, track->info().bitsPerSample);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HeaderParameters,
    ::testing::Values(
        HeaderCase{"s16.wav", {"-c:a", "pcm_s16le"}, Header::NeedsRecord, AV_CODEC_ID_PCM_S16LE},
        HeaderCase{"s24.wav", {"-c:a", "pcm_s24le"}, Header::Complete, AV_CODEC_ID_PCM_S24LE},
        HeaderCase{"s32.wav", {"-c:a", "pcm_s32le"}, Header::Complete, AV_CODEC_ID_PCM_S32LE},
        HeaderCase{"f32.wav", {"-c:a", "pcm_f32le"}, Header::Complete, AV_CODEC_ID_PCM_F32LE},
        HeaderCase{"f64.w64", {"-c:a", "pcm_f64le"}, Header::Complete, AV_CODEC_ID_PCM_F64LE},
        HeaderCase{"s16.aiff", {}, Header::Complete, AV_CODEC_ID_PCM_S16BE},
        HeaderCase{"sowt.aifc", {"-f", "aiff", "-c:a", "pcm_s16le"}, Header::Complete, AV_CODEC_ID_PCM_S16LE},
        HeaderCase{"f32.aifc", {"-f", "aiff", "-c:a", "pcm_f32be"}, Header::Complete, AV_CODEC_ID_PCM_F32BE},
        HeaderCase{"s16.caf", {}, Header::Complete, AV_CODEC_ID_PCM_S16BE},
        HeaderCase{"f32.caf", {"-c:a", "pcm_f32le"}, Header::Complete, AV_CODEC_ID_PCM_F32LE},
        // WAVE_FORMAT_MPEGLAYER3
        HeaderCase{"mp3.wav", {"-c:a", "libmp3lame", "-b:a", "128k"}, Header::Probed, AV_CODEC_ID_MP3},
        // WAVE_FORMAT_EXTENSIBLE whose subformat is not PCM (six channels)
        HeaderCase{"ac3.wav", {"-c:a", "ac3", "-ac", "6"}, Header::Probed, AV_CODEC_ID_AC3},
        HeaderCase{"adpcm.wav", {"-c:a", "adpcm_ima_wav"}, Header::Probed, AV_CODEC_ID_ADPCM_IMA_WAV},
        HeaderCase{"s24.flac", {"-sample_fmt", "s32"}, Header::Probed, AV_CODEC_ID_FLAC},
        // Cut inside the format chunk: no file at all.
        HeaderCase{"cut.wav", {"-c:a", "pcm_s24le"}, Header::Unreadable, AV_CODEC_ID_NONE, 30},
        HeaderCase{"cut.aiff", {}, Header::Unreadable, AV_CODEC_ID_NONE, 20}),
    [](const auto& info) {
        QString n = QString::fromLatin1(info.param.file);
        return n.replace(QLatin1Char('.'), QLatin1Char('_')).toStdString();
    });

// The record a 16-bit PCM WAV's header is checked against: none before the
// file is decoded, then the rate, channels and length its decode found.
TEST(HeaderParameters, SixteenBitWavTrustsOnlyAMatchingDecodedRecord) {
    const QString dir = tempDir();
    const QString path = fixtures::convert(fixtures::sourceWav(fixtureDir()), dir, QStringLiteral("s16.wav"),
                                           {"-c:a", "pcm_s16le"});
    ASSERT_FALSE(path.isEmpty());
    DecodedCache::Request request{path, 0, 0, false};
    DecodedCache::Record record;
    EXPECT_FALSE(DecodedCache::cachedRecord(request, &record));
    QString error;
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    ASSERT_TRUE(asset->tracks().at(0)->loadDecodedSource({}, &error)) << error.toStdString();
    ASSERT_TRUE(DecodedCache::cachedRecord(request, &record));
    EXPECT_EQ(record.channelCount, 2);
    EXPECT_EQ(record.sampleRate, 44100.0);
    EXPECT_EQ(record.frameCount, int64_t(1.5 * 44100));
}

}  // namespace
