#include "Fixtures.h"

#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AudioFileReader.h"
#include "platform/media/DecodedCache.h"
#include "platform/media/Renderer.h"

#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <cstring>

using testsupport::floatSamples;
using testsupport::tempDir;
using Format = DecodedSource::SampleFormat;

namespace {

QString fixtureDir() {
    static const QString dir = tempDir();
    return dir;
}

// The file's samples as ffmpeg gives them in 16 bits, one vector per channel
// (8-bit samples come out as (v - 128) * 256).
std::vector<std::vector<int16_t>> ffmpegInt16(const QString& path, int channels) {
    const QString raw = path + QStringLiteral(".s16");
    if (!fixtures::ffmpeg({QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("s16le"),
                           QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), raw}))
        return {};
    QFile f(raw);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    const size_t frames = size_t(bytes.size()) / sizeof(int16_t) / size_t(channels);
    std::vector<std::vector<int16_t>> out(size_t(channels), std::vector<int16_t>(frames, int16_t(0)));
    const auto* p = reinterpret_cast<const int16_t*>(bytes.constData());
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) out[size_t(c)][i] = p[i * size_t(channels) + size_t(c)];
    return out;
}

std::shared_ptr<AssetTrack> firstAudio(const std::shared_ptr<Asset>& asset) {
    auto audio = asset ? asset->tracksWithMediaType(MediaType::Audio) : std::vector<std::shared_ptr<AssetTrack>>{};
    return audio.empty() ? nullptr : audio.front();
}

// The whole composition read through an asset reader at `rate`, two channels.
std::vector<float> readMix(const std::shared_ptr<Composition>& comp, double rate, int channel) {
    auto reader = AssetReader::create(comp);
    std::vector<int32_t> ids;
    for (auto* t : comp->tracksWithMediaType(MediaType::Audio)) ids.push_back(t->trackID());
    auto output = std::make_shared<AssetReaderAudioMixOutput>(ids, AssetReaderAudioMixOutput::Settings{rate, 2});
    reader->addOutput(output);
    if (!reader->startReading()) return {};
    std::vector<float> out;
    while (auto b = output->copyNextSampleBuffer())
        out.insert(out.end(), channel == 0 ? b->left.begin() : b->right.begin(),
                   channel == 0 ? b->left.end() : b->right.end());
    return out;
}

struct SourceCase {
    const char* name;
    QStringList options;  // ffmpeg's, from the 16-bit WAV; none: the WAV itself
    Format format;
    bool exactLength;     // the container declares its length: the entry is sized to it
};

void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

class CacheSampleFormat : public ::testing::TestWithParam<SourceCase> {};

// A source's entry is 16-bit exactly when its samples are 16-bit or
// narrower, takes the space that calls for, and reads back alike through the
// file reader and the renderer; a 16-bit entry reads back as the file's own
// integers / 32768.
TEST_P(CacheSampleFormat, EntryKindSizeAndSamples) {
    const SourceCase& c = GetParam();
    const QString wav = fixtures::sourceWav(fixtureDir(), 1.5, 44100);
    ASSERT_FALSE(wav.isEmpty());
    const QString path = c.options.isEmpty() ? wav : fixtures::convert(wav, fixtureDir(), QString::fromLatin1(c.name), c.options);
    ASSERT_FALSE(path.isEmpty());

    QString error;
    auto asset = Asset::load(path, &error);
    auto track = firstAudio(asset);
    ASSERT_TRUE(track) << error.toStdString();
    auto reader = AudioFileReader::open(path, &error);
    ASSERT_TRUE(reader) << error.toStdString();
    const auto& decoded = reader->source();
    EXPECT_EQ(decoded->sampleFormat(), c.format);
    ASSERT_EQ(decoded->channelCount(), 2);
    const int64_t frames = decoded->frameCount();
    ASSERT_GT(frames, 44100);

    const int64_t samplesBytes = 2 * frames * DecodedSource::bytesPerSample(c.format);
    const int64_t fileSize = QFileInfo(decoded->cachePath()).size();
    if (c.exactLength)
        EXPECT_EQ(fileSize, 4096 + samplesBytes);
    else
        EXPECT_GE(fileSize, 4096 + samplesBytes);

    // The file reader, in pieces.
    std::vector<float> read[2] = {std::vector<float>(size_t(frames)), std::vector<float>(size_t(frames))};
    for (int64_t at = 0; at < frames;) {
        float* out[2] = {read[0].data() + at, read[1].data() + at};
        const int64_t n = reader->read(out, 3000);
        ASSERT_GT(n, 0);
        at += n;
    }
    if (c.format == Format::Int16) {
        const auto ints = ffmpegInt16(path, 2);
        ASSERT_EQ(ints.size(), 2u);
        ASSERT_EQ(int64_t(ints[0].size()), frames);
        for (int ch = 0; ch < 2; ++ch)
            for (int64_t i = 0; i < frames; ++i)
                ASSERT_EQ(read[ch][size_t(i)], float(ints[ch][size_t(i)]) / 32768.0f) << ch << " " << i;
    }

    // The renderer, at the source's rate: the same samples.
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<float> mixed = readMix(testsupport::oneTrackComposition(track), 44100, ch);
        ASSERT_EQ(int64_t(mixed.size()), frames);
        EXPECT_TRUE(mixed == read[ch]) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CacheSampleFormat,
    ::testing::Values(SourceCase{"s16.wav", {}, Format::Int16, true},
                      SourceCase{"s16.flac", {"-c:a", "flac", "-sample_fmt", "s16"}, Format::Int16, true},
                      SourceCase{"u8.wav", {"-c:a", "pcm_u8"}, Format::Int16, true},
                      SourceCase{"s24.flac", {"-c:a", "flac", "-sample_fmt", "s32"}, Format::Float32, true},
                      SourceCase{"f32.wav", {"-c:a", "pcm_f32le"}, Format::Float32, true},
                      SourceCase{"tone.mp3", {"-c:a", "libmp3lame"}, Format::Float32, false}),
    [](const auto& info) {
        QString n = QString::fromLatin1(info.param.name);
        return n.replace(QLatin1Char('.'), QLatin1Char('_')).toStdString();
    });

// Where the renderer does more than copy (a stretched segment, a source at
// another rate than the output's), a 16-bit entry renders exactly as the
// same samples held as float.
TEST(CacheSampleFormat, StretchedAndResampledRendersMatchFloatSamples) {
    const QString path = fixtures::sourceWav(fixtureDir(), 1.5, 44100);
    QString error;
    auto asset = Asset::load(path, &error);
    auto cached = firstAudio(asset);
    ASSERT_TRUE(cached && cached->loadDecodedSource({}, &error)) << error.toStdString();
    auto decoded = cached->decodedSource();
    ASSERT_EQ(decoded->sampleFormat(), Format::Int16);
    auto asFloat = AssetTrack::fromDecodedSource(
        DecodedSource::fromBuffers({floatSamples(*decoded, 0), floatSamples(*decoded, 1)}, 44100), 1);

    auto compose = [](const std::shared_ptr<AssetTrack>& source) {
        auto comp = std::make_shared<Composition>();
        auto* t = comp->addMutableTrack(MediaType::Audio);
        t->insertTimeRange(source->timeRange(), source, MediaTime::zero());
        t->scaleTimeRange(MediaTimeRange(MediaTime(1, 2), MediaTime(1, 2)), MediaTime(3, 4));
        return comp;
    };
    struct Render {
        const char* name;
        double rate;
    };
    for (const Render& r : {Render{"stretched", 44100}, Render{"stretched and resampled", 48000}}) {
        for (int ch = 0; ch < 2; ++ch) {
            const auto a = readMix(compose(cached), r.rate, ch);
            const auto b = readMix(compose(asFloat), r.rate, ch);
            ASSERT_GT(a.size(), size_t(r.rate));
            EXPECT_TRUE(a == b) << r.name << ", channel " << ch;
        }
    }
}

// An offline render reads cache entries from their files, a stretch ahead,
// rather than through the mapping: whatever the entry's format and channel
// count, its tracks give the mapped samples exactly, where a segment starts
// back in its source, after a gap, with two tracks on one entry, in slices
// that straddle the stretches read, and again after a jump back.
TEST(CacheSampleFormat, OfflineRenderGivesTheMappedSamples) {
    struct Case {
        const char* name;
        QStringList options;  // ffmpeg's, from the 16-bit WAV; none: the WAV itself
        Format format;
    };
    const QString wav = fixtures::sourceWav(fixtureDir(), 1.5, 44100);
    ASSERT_FALSE(wav.isEmpty());
    for (const Case& c : {Case{"offline-s16.wav", {}, Format::Int16},
                          Case{"offline-f32.wav", {"-c:a", "pcm_f32le"}, Format::Float32},
                          Case{"offline-mono.wav", {"-ac", "1"}, Format::Int16}}) {
        SCOPED_TRACE(c.name);
        const QString path = c.options.isEmpty() ? wav : fixtures::convert(wav, fixtureDir(), QString::fromLatin1(c.name), c.options);
        QString error;
        auto track = firstAudio(Asset::load(path, &error));
        ASSERT_TRUE(track && track->loadDecodedSource({}, &error)) << error.toStdString();
        const auto decoded = track->decodedSource();
        ASSERT_FALSE(decoded->cachePath().isEmpty());
        ASSERT_EQ(decoded->sampleFormat(), c.format);
        const int64_t length = decoded->frameCount();
        ASSERT_GT(length, 66000);

        // Track 1: source [39690, 66150) at 0, silence, source [4410, 26460)
        // at 35280. Track 2: the whole source from 0.
        auto at = [](int64_t frame) { return MediaTime(frame, 44100); };
        auto comp = std::make_shared<Composition>();
        auto* first = comp->addMutableTrack(MediaType::Audio);
        ASSERT_TRUE(first->insertTimeRange(MediaTimeRange(at(39690), at(26460)), track, at(0)));
        ASSERT_TRUE(first->insertTimeRange(MediaTimeRange(at(4410), at(22050)), track, at(26460)));
        first->insertEmptyTimeRange(MediaTimeRange(at(26460), at(8820)));
        comp->addMutableTrack(MediaType::Audio)->insertTimeRange(track->timeRange(), track, at(0));

        auto expected = [&](int channel, int64_t frame) {
            const int ch = decoded->channelCount() > 1 ? channel : 0;
            float one = 0.0f;
            if (frame < 26460) one = decoded->sample(ch, 39690 + frame);
            else if (frame >= 35280 && frame < 57330) one = decoded->sample(ch, 4410 + frame - 35280);
            const float two = frame < length ? decoded->sample(ch, frame) : 0.0f;
            return 0.0f + one + two;
        };
        Renderer renderer(comp, nullptr, 44100, Renderer::Mode::Offline, 4096);
        ASSERT_TRUE(renderer.prepare(&error)) << error.toStdString();
        ASSERT_EQ(renderer.length(), length);
        std::vector<float> l(3000), r(3000);
        auto check = [&](int64_t from, int64_t to) {
            renderer.setPosition(from);
            for (int64_t pos = from; pos < to; pos += 3000) {
                const int n = int(std::min<int64_t>(3000, to - pos));
                renderer.render(l.data(), r.data(), n);
                for (int i = 0; i < n; ++i) {
                    ASSERT_EQ(l[size_t(i)], expected(0, pos + i)) << "frame " << pos + i;
                    ASSERT_EQ(r[size_t(i)], expected(1, pos + i)) << "frame " << pos + i;
                }
            }
        };
        check(0, length);
        check(20000, 40000);
    }
}

TEST(CacheSampleFormat, PeaksOfSixteenBitSamplesAreTheirFloatValues) {
    std::vector<int16_t> samples(70000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t((int(i * 7919) % 65536) - 32768);
    samples[300] = -32768;
    samples[301] = 32767;
    auto sixteen = DecodedSource::fromInt16Buffers({samples}, 44100);
    auto asFloat = DecodedSource::fromBuffers({floatSamples(*sixteen, 0)}, 44100);
    auto a = sixteen->peaks();
    auto b = asFloat->peaks();
    for (int level = 0; level < WaveformPeaks::LevelCount; ++level) {
        ASSERT_EQ(a->blockCount(level), b->blockCount(level));
        for (int64_t k = 0; k < a->blockCount(level); ++k) {
            ASSERT_EQ(a->blocks(level, 0)[k].min, b->blocks(level, 0)[k].min) << level << " " << k;
            ASSERT_EQ(a->blocks(level, 0)[k].max, b->blocks(level, 0)[k].max) << level << " " << k;
        }
    }
    EXPECT_EQ(a->range(0, 256, 512).min, -1.0f);
}

}  // namespace
