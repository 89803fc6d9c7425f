#include "Fixtures.h"

#include "platform/core/PartialFiles.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioFileReader.h"
#include "platform/media/DecodedCache.h"

#include "support/MediaFixtures.h"
#include "support/Signals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <cmath>
#include <thread>

using testsupport::amplitudeAt;
using testsupport::floatSamples;
using testsupport::tempDir;
using testsupport::waitUntil;

namespace {

QString fixtureDir() {
    static const QString dir = tempDir();
    return dir;
}

std::shared_ptr<DecodedSource> decodeFirstAudio(const QString& path, QString* error = nullptr) {
    auto asset = Asset::load(path, error);
    if (!asset) return nullptr;
    auto audio = asset->tracksWithMediaType(MediaType::Audio);
    if (audio.empty()) return nullptr;
    return audio.front()->loadDecodedSource({}, error);
}

struct FormatCase {
    const char* file;
    QStringList options;
    int decodedRate;
    bool lossless;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.file; }

class FormatDecode : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatDecode, DecodesBackWithExactLengthAndContent) {
    const FormatCase& c = GetParam();
    const QString source = fixtures::sourceWav(fixtureDir());
    ASSERT_FALSE(source.isEmpty());
    const QString path = QString::fromLatin1(c.file) == "source.wav"
                             ? source
                             : fixtures::convert(source, fixtureDir(), QString::fromLatin1(c.file), c.options);
    ASSERT_FALSE(path.isEmpty());

    QString error;
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    auto audio = asset->tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_TRUE(asset->tracksWithMediaType(MediaType::Video).empty());
    const auto& track = audio.front();
    const int64_t expected = int64_t(1.5 * c.decodedRate);
    EXPECT_EQ(track->sampleRate(), c.decodedRate);
    EXPECT_EQ(track->channelCount(), 2);
    EXPECT_EQ(track->naturalTimeScale(), c.decodedRate);
    EXPECT_EQ(track->info().frameCount, expected);
    EXPECT_EQ(track->timeRange().duration, MediaTime(expected, c.decodedRate));
    EXPECT_EQ(asset->duration(), MediaTime::fromSeconds(1.5, 600));
    EXPECT_TRUE(asset->isPlayable());

    auto decoded = track->loadDecodedSource({}, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_EQ(decoded->frameCount(), expected);
    EXPECT_EQ(decoded->sampleRate(), c.decodedRate);
    ASSERT_EQ(decoded->channelCount(), 2);
    EXPECT_FALSE(decoded->cachePath().isEmpty());

    if (c.decodedRate == 44100) {
        auto reference = decodeFirstAudio(source);
        ASSERT_TRUE(reference);
        ASSERT_EQ(reference->frameCount(), expected);
        for (int ch = 0; ch < 2; ++ch) {
            const std::vector<float> a = floatSamples(*reference, ch);
            const std::vector<float> b = floatSamples(*decoded, ch);
            double diff = 0, energy = 0, worst = 0;
            for (int64_t i = 0; i < expected; ++i) {
                const double d = double(a[i]) - double(b[i]);
                diff += d * d;
                energy += double(a[i]) * a[i];
                worst = std::max(worst, std::abs(d));
            }
            if (c.lossless) {
                EXPECT_LE(worst, 1.0 / 32768) << "channel " << ch;
            } else {
                // Aligned to the sample: a shift by the encoder's priming would
                // leave most of the signal in the difference.
                EXPECT_LT(std::sqrt(diff / energy), 0.1) << "channel " << ch;
            }
        }
    } else {
        const int64_t mid = expected / 4;
        EXPECT_NEAR(amplitudeAt(floatSamples(*decoded, 0).data() + mid, size_t(expected / 2), 440, c.decodedRate), 0.5, 0.05);
        EXPECT_NEAR(amplitudeAt(floatSamples(*decoded, 1).data() + mid, size_t(expected / 2), 660, c.decodedRate), 0.25, 0.05);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatDecode,
    ::testing::Values(
        FormatCase{"source.wav", {}, 44100, true},
        FormatCase{"s24.wav", {"-c:a", "pcm_s24le"}, 44100, true},
        FormatCase{"float.wav", {"-c:a", "pcm_f32le"}, 44100, true},
        FormatCase{"tone.aiff", {}, 44100, true},
        FormatCase{"tone.caf", {}, 44100, true},
        FormatCase{"tone.flac", {}, 44100, true},
        FormatCase{"s24.flac", {"-sample_fmt", "s32"}, 44100, true},
        FormatCase{"tone.mp3", {"-c:a", "libmp3lame", "-b:a", "192k"}, 44100, false},
        FormatCase{"tone.m4a", {"-c:a", "aac", "-b:a", "192k"}, 44100, false},
        FormatCase{"tone.mp4", {"-c:a", "aac", "-b:a", "192k"}, 44100, false},
        FormatCase{"tone.ogg", {"-c:a", "libvorbis", "-q:a", "6"}, 44100, false},
        FormatCase{"tone.opus", {"-c:a", "libopus", "-b:a", "128k"}, 48000, false}),
    [](const auto& info) {
        QString n = QString::fromLatin1(info.param.file);
        return n.replace(QLatin1Char('.'), QLatin1Char('_')).toStdString();
    });

TEST(Asset, MovieListsAudioAndVideoTracks) {
    const QString path = fixtures::movie(fixtureDir(), QStringLiteral("clip.mov"), 2.0);
    ASSERT_FALSE(path.isEmpty());
    QString error;
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    auto video = asset->tracksWithMediaType(MediaType::Video);
    auto audio = asset->tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(video.size(), 1u);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(video[0]->info().width, 320);
    EXPECT_EQ(video[0]->info().height, 240);
    EXPECT_NEAR(video[0]->info().nominalFrameRate, 25.0, 0.01);
    EXPECT_NEAR(video[0]->timeRange().duration.seconds(), 2.0, 0.05);
    EXPECT_EQ(audio[0]->info().frameCount, 88200);
    EXPECT_EQ(asset->trackWithTrackID(video[0]->trackID()), video[0]);
    EXPECT_NE(video[0]->formatDescription(), audio[0]->formatDescription());
    // Only audio tracks decode.
    EXPECT_FALSE(video[0]->loadDecodedSource({}, &error));
    auto decoded = audio[0]->loadDecodedSource({}, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_EQ(decoded->frameCount(), 88200);
}

TEST(Asset, MatroskaAudioDecodesToTheLengthItReports) {
    const QString source = fixtures::sourceWav(fixtureDir());
    const QString path = fixtures::convert(source, fixtureDir(), QStringLiteral("tone.mkv"),
                                           {QStringLiteral("-c:a"), QStringLiteral("flac")});
    ASSERT_FALSE(path.isEmpty());
    QString error;
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    auto track = asset->tracksWithMediaType(MediaType::Audio).at(0);
    auto decoded = track->loadDecodedSource({}, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_EQ(decoded->frameCount(), 66150);
}

TEST(Asset, FormatDescriptionsCompareByFormat) {
    const QString a = fixtures::sourceWav(fixtureDir(), 1.0, 44100);
    const QString b = fixtures::sourceWav(fixtureDir(), 2.0, 44100);
    const QString c = fixtures::sourceWav(fixtureDir(), 1.0, 48000);
    auto ta = Asset::load(a)->tracks().at(0);
    auto tb = Asset::load(b)->tracks().at(0);
    auto tc = Asset::load(c)->tracks().at(0);
    EXPECT_EQ(ta->formatDescription(), tb->formatDescription());
    EXPECT_NE(ta->formatDescription(), tc->formatDescription());
    EXPECT_EQ(tc->formatDescription().sampleRate, 48000);
    EXPECT_EQ(ta->formatDescription().bitsPerSample, 16);
}

TEST(Asset, ReadsTitleArtistAndArtwork) {
    const QString source = fixtures::sourceWav(fixtureDir());
    const QString pic = fixtures::picture(fixtureDir());
    const QString path = fixtureDir() + QStringLiteral("/tagged.mp3");
    ASSERT_TRUE(fixtures::ffmpeg({"-i", source, "-i", pic, "-map", "0:a", "-map", "1:v", "-c:a", "libmp3lame",
                                  "-c:v", "copy", "-id3v2_version", "3", "-disposition:v", "attached_pic",
                                  "-metadata", QStringLiteral("title=Été à Zürich"), "-metadata",
                                  "artist=Someone", path}));
    QString error;
    auto asset = Asset::load(path, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    // The picture is artwork, not a video track.
    EXPECT_TRUE(asset->tracksWithMediaType(MediaType::Video).empty());
    auto titles = asset->metadataWithCommonKey(QStringLiteral("title"));
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles[0].value.toString(), QStringLiteral("Été à Zürich"));
    EXPECT_EQ(titles[0].keySpace, QStringLiteral("id3"));
    auto artists = asset->metadataWithCommonKey(QStringLiteral("artist"));
    ASSERT_FALSE(artists.empty());
    EXPECT_EQ(artists[0].value.toString(), QStringLiteral("Someone"));
    auto art = asset->metadataWithCommonKey(QStringLiteral("artwork"));
    ASSERT_EQ(art.size(), 1u);
    EXPECT_EQ(art[0].dataType, QStringLiteral("image/jpeg"));
    QFile f(pic);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(art[0].value.toByteArray(), f.readAll());
    EXPECT_EQ(asset->statusOfValue(QStringLiteral("tracks")), AssetKeyStatus::Loaded);
    EXPECT_EQ(asset->statusOfValue(QStringLiteral("lyrics")), AssetKeyStatus::Unknown);
}

QString writeBytes(const QString& name, const QByteArray& bytes) {
    const QString path = fixtureDir() + QLatin1Char('/') + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    return path;
}

QString truncated(const QString& path, const QString& name, double fraction) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return writeBytes(name, f.readAll().left(int(f.size() * fraction)));
}

void expectNoAsset(const QString& path, const char* what) {
    QString error;
    auto asset = Asset::load(path, &error);
    EXPECT_FALSE(asset) << what;
    EXPECT_FALSE(error.isEmpty()) << what;
    EXPECT_TRUE(error.contains(QFileInfo(path).fileName()) || error.contains(path)) << error.toStdString();
}

TEST(Asset, UnreadableFilesGiveAnErrorAndNoAsset) {
    const QString source = fixtures::sourceWav(fixtureDir());
    QByteArray noise(20000, '\0');
    uint32_t x = 12345;
    for (auto& b : noise) {
        x = x * 1664525u + 1013904223u;
        b = char(x >> 24);
    }
    expectNoAsset(fixtureDir() + QStringLiteral("/missing.wav"), "missing");
    expectNoAsset(fixtureDir(), "folder");
    expectNoAsset(writeBytes(QStringLiteral("empty.wav"), {}), "empty");
    expectNoAsset(writeBytes(QStringLiteral("notes.txt"), "Shopping list\nmilk\neggs\n"), "text");
    expectNoAsset(writeBytes(QStringLiteral("text.wav"), "This is not a sound file at all.\n"), "text as wav");
    expectNoAsset(writeBytes(QStringLiteral("noise.mp3"), noise), "noise as mp3");
    expectNoAsset(writeBytes(QStringLiteral("noise.m4a"), noise), "noise as m4a");
    expectNoAsset(writeBytes(QStringLiteral("header.wav"), QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16)),
                  "wav header only");
    expectNoAsset(truncated(source, QStringLiteral("cut.wav"), 0.5), "truncated wav");
    const QString aiff = fixtures::convert(source, fixtureDir(), QStringLiteral("whole.aiff"));
    expectNoAsset(truncated(aiff, QStringLiteral("cut.aiff"), 0.5), "truncated aiff");
    const QString m4a = fixtures::convert(source, fixtureDir(), QStringLiteral("whole.m4a"),
                                          {QStringLiteral("-c:a"), QStringLiteral("aac")});
    expectNoAsset(truncated(m4a, QStringLiteral("cut.m4a"), 0.5), "truncated m4a (index at the end)");
    const QString fast = fixtures::convert(source, fixtureDir(), QStringLiteral("fast.m4a"),
                                           {QStringLiteral("-c:a"), QStringLiteral("aac"),
                                            QStringLiteral("-movflags"), QStringLiteral("+faststart")});
    expectNoAsset(truncated(fast, QStringLiteral("cutfast.m4a"), 0.5), "truncated m4a (index first)");
}

// A WAV header may claim any rate: one outside what audio files hold is
// refused with the rate named; the ends of the range are taken.
TEST(Asset, SampleRatesNoAudioFileHoldsAreRefused) {
    const struct {
        int rate;        // written into the header
        bool accepted;
    } cases[] = {{822000000, false}, {768001, false}, {999, false}, {1, false},
                 {768000, true}, {1000, true}, {44100, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const QString path = testsupport::writeTone(QStringLiteral("rate.wav"), 0.2, 0, {.rate = 44100, .channels = 1});
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        // The rate and the byte rate of the "fmt " chunk.
        const qsizetype fmt = bytes.indexOf("fmt ");
        ASSERT_GT(fmt, 0);
        const int frameBytes = int(uint8_t(bytes[fmt + 20])) | int(uint8_t(bytes[fmt + 21])) << 8;
        const auto put = [&](qsizetype at, uint32_t v) {
            for (int i = 0; i < 4; ++i) bytes[at + i] = char((v >> (8 * i)) & 0xff);
        };
        put(fmt + 12, uint32_t(c.rate));
        put(fmt + 16, uint32_t(c.rate) * uint32_t(frameBytes));
        const QString patched = writeBytes(QStringLiteral("rate-%1.wav").arg(c.rate), bytes);
        QString error;
        const auto asset = Asset::load(patched, &error);
        if (c.accepted) {
            ASSERT_TRUE(asset) << error.toStdString();
            EXPECT_EQ(asset->tracksWithMediaType(MediaType::Audio).front()->sampleRate(), c.rate);
        } else {
            EXPECT_FALSE(asset);
            EXPECT_TRUE(error.contains(QStringLiteral("sample rate of %1 Hz").arg(c.rate))) << error.toStdString();
        }
    }
}

// A FLAC file cut off half-way decodes to what it holds; the asset made
// at that length says so, and nothing half-made is left in the cache.
TEST(Asset, TruncatedFlacDecodesWhatItHolds) {
    const QString source = fixtures::sourceWav(fixtureDir());
    const QString flac = fixtures::convert(source, fixtureDir(), QStringLiteral("whole.flac"));
    const QString cut = truncated(flac, QStringLiteral("cut.flac"), 0.5);
    // A cache folder of its own: other test processes decode into the shared
    // one at the same time, and their files in progress are not ours to judge.
    const QString sharedCache = DecodedCache::folder();
    DecodedCache::setFolder(tempDir());
    struct Restore {
        QString folder;
        ~Restore() { DecodedCache::setFolder(folder); }
    } restore{sharedCache};
    QString error;
    auto asset = Asset::load(cut, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    const auto track = asset->tracksWithMediaType(MediaType::Audio).at(0);
    auto decoded = track->loadDecodedSource({}, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_GT(decoded->frameCount(), 0);
    EXPECT_LT(decoded->frameCount(), track->info().frameCount);

    const auto shorter = asset->withDecodedLength(track, decoded);
    ASSERT_NE(shorter, asset);
    const auto shortTrack = shorter->tracksWithMediaType(MediaType::Audio).at(0);
    EXPECT_EQ(shortTrack->info().frameCount, decoded->frameCount());
    EXPECT_EQ(shortTrack->timeRange().duration, MediaTime(decoded->frameCount(), int32_t(decoded->sampleRate())));
    EXPECT_EQ(shorter->duration(), shortTrack->timeRange().duration);
    EXPECT_EQ(shortTrack->decodedSource(), decoded);
    EXPECT_EQ(shortTrack->info().sourcePath, track->info().sourcePath);
    // The asset it was made from is left as it was; lengths that agree give it back.
    EXPECT_EQ(track->timeRange().duration.value, track->info().frameCount);
    EXPECT_EQ(shorter->withDecodedLength(shortTrack, decoded), shorter);
    for (const QString& f : QDir(DecodedCache::folder()).entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(partialfiles::isTemporaryName(f)) << f.toStdString();
}

TEST(Asset, AsyncLoadCompletesOnTheMainThread) {
    const QString path = fixtures::sourceWav(fixtureDir());
    bool done = false, onMain = false;
    std::shared_ptr<Asset> loaded;
    Asset::loadAsync(path, [&](std::shared_ptr<Asset> asset, const QString&) {
        onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
        loaded = asset;
        done = true;
    });
    EXPECT_FALSE(done);  // never completes inside the call
    ASSERT_TRUE(waitUntil([&] { return done; }, 20000));
    EXPECT_TRUE(onMain);
    ASSERT_TRUE(loaded);

    bool failed = false, failedOnMain = false;
    QString failure;
    Asset::loadAsync(fixtureDir() + QStringLiteral("/nothing-here.wav"),
                     [&](std::shared_ptr<Asset> asset, const QString& error) {
                         failedOnMain = QThread::currentThread() == QCoreApplication::instance()->thread();
                         failed = !asset;
                         failure = error;
                     });
    ASSERT_TRUE(waitUntil([&] { return failed; }, 20000));
    EXPECT_TRUE(failedOnMain);
    EXPECT_FALSE(failure.isEmpty());

    // Decoding on a worker, progress and completion on the main thread.
    const QString other = fixtures::sourceWav(fixtureDir(), 3.0, 44100);
    auto track = Asset::load(other)->tracks().at(0);
    bool decodedDone = false, decodedOnMain = false, progressOnMain = true;
    double lastProgress = 0;
    std::shared_ptr<DecodedSource> decoded;
    track->loadDecodedSourceAsync(
        [&](double f) {
            progressOnMain = progressOnMain && QThread::currentThread() == QCoreApplication::instance()->thread();
            lastProgress = f;
        },
        [&](std::shared_ptr<DecodedSource> s, const QString&) {
            decodedOnMain = QThread::currentThread() == QCoreApplication::instance()->thread();
            decoded = s;
            decodedDone = true;
        });
    ASSERT_TRUE(waitUntil([&] { return decodedDone; }, 20000));
    EXPECT_TRUE(decodedOnMain);
    EXPECT_TRUE(progressOnMain);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->frameCount(), 3 * 44100);
    EXPECT_EQ(track->decodedSource(), decoded);
    EXPECT_DOUBLE_EQ(lastProgress, 1.0);
}

TEST(DecodedCache, ReusedOnSecondOpenAndRebuiltWhenTheFileChanges) {
    const QString dir = tempDir();
    const QString path = dir + QStringLiteral("/changing.wav");
    ASSERT_TRUE(QFile::copy(fixtures::sourceWav(fixtureDir(), 1.0, 44100), path));
    QString error;
    auto first = decodeFirstAudio(path, &error);
    ASSERT_TRUE(first) << error.toStdString();
    const QString cachePath = first->cachePath();
    ASSERT_TRUE(QFile::exists(cachePath));
    const QFileInfo before(cachePath);
    const auto inode = before.lastModified();

    // A second asset of the same file maps the same cache without decoding.
    QThread::msleep(20);
    DecodedCache::Request req{path, 0, 44100, true};
    auto cached = DecodedCache::openCached(req);
    ASSERT_TRUE(cached);
    auto second = decodeFirstAudio(path, &error);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->cachePath(), cachePath);
    EXPECT_EQ(QFileInfo(cachePath).lastModified(), inode);
    EXPECT_EQ(floatSamples(*first, 0), floatSamples(*second, 0));

    // The file changes: the cache is keyed anew and decoded again.
    QThread::msleep(20);
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(fixtures::sourceWav(fixtureDir(), 2.0, 44100), path));
    auto third = decodeFirstAudio(path, &error);
    ASSERT_TRUE(third) << error.toStdString();
    EXPECT_NE(third->cachePath(), cachePath);
    EXPECT_EQ(third->frameCount(), 88200);
}

TEST(DecodedCache, AHalfWrittenCacheFileIsNeverTaken) {
    const QString dir = tempDir();
    const QString path = dir + QStringLiteral("/half.wav");
    ASSERT_TRUE(QFile::copy(fixtures::sourceWav(fixtureDir(), 1.0, 44100), path));
    DecodedCache::Request req{path, 0, 44100, true};
    const QString cachePath = DecodedCache::cacheFilePath(req);
    // A cut copy of a real cache file stands where the cache would be.
    QString error;
    auto whole = DecodedCache::load(req, {}, &error);
    ASSERT_TRUE(whole) << error.toStdString();
    QFile f(cachePath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    whole.reset();
    QFile::remove(cachePath);
    {
        QFile cut(cachePath);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(bytes.left(bytes.size() / 2));
    }
    EXPECT_FALSE(DecodedCache::openCached(req));
    auto again = DecodedCache::load(req, {}, &error);
    ASSERT_TRUE(again) << error.toStdString();
    EXPECT_EQ(again->frameCount(), 44100);
    EXPECT_EQ(QFileInfo(cachePath).size(), bytes.size());
}

TEST(DecodedCache, AShortEstimateGrowsTheFileAndKeepsEverySample) {
    const QString dir = tempDir();
    const QString path = dir + QStringLiteral("/long.wav");
    ASSERT_TRUE(QFile::copy(fixtures::sourceWav(fixtureDir(), 4.0, 44100), path));
    auto reference = decodeFirstAudio(fixtures::sourceWav(fixtureDir(), 4.0, 44100));
    ASSERT_TRUE(reference);
    // The estimate is far too short (as a bit-rate guess can be).
    DecodedCache::Request req{path, 0, 1000, false};
    std::vector<double> progress;
    QString error;
    auto decoded = DecodedCache::load(req, [&](double f) { progress.push_back(f); }, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    ASSERT_EQ(decoded->frameCount(), 4 * 44100);
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(floatSamples(*decoded, c), floatSamples(*reference, c));
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
}

TEST(DecodedCache, PeaksMatchTheSamples) {
    const QString path = fixtures::sourceWav(fixtureDir(), 3.0, 44100);
    QString error;
    auto decoded = decodeFirstAudio(path, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    auto peaks = decoded->peaks();
    ASSERT_TRUE(peaks);
    EXPECT_EQ(peaks->frameCount(), decoded->frameCount());
    EXPECT_EQ(peaks->blockCount(0), (3 * 44100 + 255) / 256);
    EXPECT_EQ(peaks->blockCount(1), (3 * 44100 + 65535) / 65536);
    for (int level = 0; level < WaveformPeaks::LevelCount; ++level) {
        const int64_t block = WaveformPeaks::blockSize(level);
        for (int c = 0; c < 2; ++c) {
            const std::vector<float> s = floatSamples(*decoded, c);
            for (int64_t b = 0; b < peaks->blockCount(level); ++b) {
                float lo = 1e9f, hi = -1e9f;
                for (int64_t i = b * block; i < std::min((b + 1) * block, decoded->frameCount()); ++i) {
                    lo = std::min(lo, s[i]);
                    hi = std::max(hi, s[i]);
                }
                ASSERT_EQ(peaks->blocks(level, c)[b].min, lo) << level << " " << c << " " << b;
                ASSERT_EQ(peaks->blocks(level, c)[b].max, hi) << level << " " << c << " " << b;
            }
        }
    }
    // The whole file: the tone's amplitudes.
    auto left = peaks->range(0, 0, decoded->frameCount());
    EXPECT_NEAR(left.max, 0.5, 0.001);
    EXPECT_NEAR(left.min, -0.5, 0.001);
    auto right = peaks->range(1, 1000, 100000);
    EXPECT_NEAR(right.max, 0.25, 0.001);
    // Peaks computed from samples in memory agree with the stored ones.
    auto memory = DecodedSource::fromBuffers({floatSamples(*decoded, 0), floatSamples(*decoded, 1)}, 44100);
    auto computed = memory->peaks();
    for (int64_t b = 0; b < peaks->blockCount(0); ++b)
        ASSERT_EQ(computed->blocks(0, 1)[b].max, peaks->blocks(0, 1)[b].max);
}

// A cache folder and size limit of a test's own, put back at the end.
struct OwnCache {
    QString previous = DecodedCache::folder();
    QString folder = tempDir();
    QString sourceFolder = tempDir();
    OwnCache() { DecodedCache::setFolder(folder); }
    ~OwnCache() {
        DecodedCache::setFolder(previous);
        DecodedCache::setSizeLimit(0);
    }
    // Copies of one short source under names of their own: one entry each.
    QStringList sources(const QString& prefix, int count) const {
        QStringList out;
        for (int i = 0; i < count; ++i) {
            const QString path = sourceFolder + QStringLiteral("/%1%2.wav").arg(prefix).arg(i);
            if (QFile::copy(fixtures::sourceWav(fixtureDir(), 0.5, 44100), path)) out << path;
        }
        return out;
    }
};

// Access times are set from a coarse clock: uses a little apart are ordered.
void laterUse() { QThread::msleep(30); }

TEST(DecodedCache, PastItsLimitTheLeastRecentlyUsedEntriesGoButNeverOneInUse) {
    OwnCache cache;
    const QStringList files = cache.sources(QStringLiteral("lru"), 5);
    ASSERT_EQ(files.size(), 5);
    QString error;
    // The first entry stays open, as a track's samples would.
    auto held = decodeFirstAudio(files[0], &error);
    ASSERT_TRUE(held) << error.toStdString();
    const int64_t entry = DecodedCache::sizeOnDisk();
    ASSERT_GT(entry, 0);
    DecodedCache::setSizeLimit(entry * 7 / 2);  // room for three and a half entries

    QStringList paths{held->cachePath()};
    for (int i = 1; i < 5; ++i) {
        laterUse();
        if (i == 3) {  // the second is used again: the third is now the least recent
            laterUse();
            ASSERT_TRUE(decodeFirstAudio(files[1]));
            laterUse();
        }
        auto decoded = decodeFirstAudio(files[i], &error);
        ASSERT_TRUE(decoded) << error.toStdString();
        paths << decoded->cachePath();
    }
    // Each new entry past the limit took the least recently used one that
    // was not open: the third, then the second; the first, oldest of all,
    // is open and stays.
    const std::vector<bool> expected{true, false, false, true, true};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(QFile::exists(paths[i]), expected[size_t(i)]) << "entry " << i;
    EXPECT_LE(DecodedCache::sizeOnDisk(), DecodedCache::sizeLimit());
    const std::vector<float> heldSamples = floatSamples(*held, 0), lastSamples = floatSamples(*decodeFirstAudio(files[4]), 0);
    ASSERT_GE(heldSamples.size(), 1000u);
    ASSERT_GE(lastSamples.size(), 1000u);
    EXPECT_TRUE(std::equal(heldSamples.begin(), heldSamples.begin() + 1000, lastSamples.begin()));

    // Once let go, the first goes like any other.
    held.reset();
    DecodedCache::setSizeLimit(entry * 3 / 2);
    const auto result = DecodedCache::tidy();
    EXPECT_EQ(result.removedEntries, 2);
    EXPECT_FALSE(QFile::exists(paths[0]));
    EXPECT_FALSE(QFile::exists(paths[3]));
    EXPECT_TRUE(QFile::exists(paths[4]));
}

TEST(DecodedCache, TidyingRemovesWhatCanNoLongerBeUsed) {
    OwnCache cache;
    const QStringList files = cache.sources(QStringLiteral("gone"), 3);
    ASSERT_EQ(files.size(), 3);
    QStringList paths;
    for (const QString& f : files) {
        auto decoded = decodeFirstAudio(f);
        ASSERT_TRUE(decoded);
        paths << decoded->cachePath();
    }
    // The second source is removed and the third rewritten; stray files lie
    // beside the entries.
    QFile::remove(files[1]);
    QThread::msleep(20);
    {
        QFile f(files[2]);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(64, '\0'));
    }
    struct Stray {
        const char* name;
        bool kept;
    };
    const Stray strays[] = {
        {".abandoned.part-999999999-0.pcm", false},  // its process has ended
        {"older.pcm.999999999.0.tmp", false},        // the same, of the older form
        {"orphan.peaks", false},                     // no samples beside it
        {"unreadable.pcm", false},                   // not a cache file
    };
    for (const auto& s : strays) {
        QFile f(cache.folder + QLatin1Char('/') + QLatin1String(s.name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    const QString ours =
        QFileInfo(partialfiles::temporaryPathFor(cache.folder + QStringLiteral("/inprogress.pcm"))).fileName();
    QFile(cache.folder + QLatin1Char('/') + ours).open(QIODevice::WriteOnly);

    DecodedCache::tidy();
    EXPECT_TRUE(QFile::exists(paths[0]));
    EXPECT_FALSE(QFile::exists(paths[1]));
    EXPECT_FALSE(QFile::exists(paths[2]));
    for (const auto& s : strays)
        EXPECT_EQ(QFile::exists(cache.folder + QLatin1Char('/') + QLatin1String(s.name)), s.kept) << s.name;
    EXPECT_TRUE(QFile::exists(cache.folder + QLatin1Char('/') + ours));  // still being written
}

// Files of ten formats decoded at once, as a batch of imports does, while
// the cache is tidied without pause (every new entry tidies it): each load
// gives its samples and leaves a whole entry, in every round.
TEST(DecodedCache, ConcurrentLoadsNeverLoseAnEntryToTidying) {
    struct Kind {
        const char* name;
        QStringList options;
    };
    const Kind kinds[] = {
        {"a.wav", {}},
        {"b.wav", {"-c:a", "pcm_f32le"}},
        {"c.aiff", {}},
        {"d.caf", {}},
        {"e.flac", {}},
        {"f.mp3", {"-c:a", "libmp3lame"}},
        {"g.m4a", {"-c:a", "aac"}},
        {"h.ogg", {"-c:a", "libvorbis"}},
        {"i.opus", {"-c:a", "libopus"}},
        {"j.wav", {"-c:a", "pcm_s24le"}},
    };
    OwnCache cache;
    const QString source = fixtures::sourceWav(cache.sourceFolder, 1.0, 44100);
    QStringList files;
    for (const auto& k : kinds) {
        files << fixtures::convert(source, cache.sourceFolder, QString::fromLatin1(k.name), k.options);
        ASSERT_FALSE(files.back().isEmpty()) << k.name;
    }
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        DecodedCache::setFolder(tempDir());  // every file decodes anew
        std::atomic<bool> loading{true};
        std::thread tidier([&] {
            while (loading) DecodedCache::tidy();
        });
        std::vector<std::shared_ptr<DecodedSource>> decoded(size_t(files.size()));
        std::vector<QString> errors(size_t(files.size()));
        std::vector<std::thread> loads;
        for (int i = 0; i < files.size(); ++i)
            loads.emplace_back([&, i] { decoded[size_t(i)] = decodeFirstAudio(files[i], &errors[size_t(i)]); });
        for (auto& t : loads) t.join();
        loading = false;
        tidier.join();
        for (int i = 0; i < files.size(); ++i) {
            const auto& d = decoded[size_t(i)];
            ASSERT_TRUE(d) << kinds[i].name << ": " << errors[size_t(i)].toStdString();
            EXPECT_GT(d->frameCount(), 0) << kinds[i].name;
            EXPECT_TRUE(d->peaks()) << kinds[i].name;
            EXPECT_TRUE(QFile::exists(d->cachePath())) << kinds[i].name;
            EXPECT_TRUE(QFile::exists(d->cachePath().chopped(4) + QStringLiteral(".peaks"))) << kinds[i].name;
        }
    }
}

TEST(AudioFileReader, ReadsInPiecesSeeksAndStopsAtTheEnd) {
    const QString path = fixtures::sourceWav(fixtureDir(), 1.0, 48000);
    QString error;
    auto reader = AudioFileReader::open(path, &error);
    ASSERT_TRUE(reader) << error.toStdString();
    EXPECT_EQ(reader->sampleRate(), 48000);
    EXPECT_EQ(reader->channelCount(), 2);
    EXPECT_EQ(reader->length(), 48000);
    const std::vector<float> whole[2] = {floatSamples(*reader->source(), 0), floatSamples(*reader->source(), 1)};

    AudioPCMBuffer buffer(2, 10000, reader->sampleRate());
    int64_t at = 0;
    while (reader->read(buffer)) {
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(std::memcmp(buffer.channelData(c), whole[c].data() + at,
                                  size_t(buffer.frameLength()) * sizeof(float)), 0);
        at += buffer.frameLength();
    }
    EXPECT_EQ(at, 48000);
    EXPECT_EQ(buffer.frameLength(), 0);
    EXPECT_EQ(reader->framePosition(), 48000);

    reader->seek(47000);
    ASSERT_TRUE(reader->read(buffer));
    EXPECT_EQ(buffer.frameLength(), 1000);
    EXPECT_EQ(buffer.channelData(1)[0], whole[1][47000]);

    AudioPCMBuffer mono(1, 100, 48000);
    EXPECT_FALSE(reader->read(mono, -1, &error));
    EXPECT_FALSE(error.isEmpty());

    EXPECT_FALSE(AudioFileReader::open(fixtureDir() + QStringLiteral("/absent.wav"), &error));
}

}  // namespace
