// A mix export renders at the export's own rate, whatever the rate of the
// sound device (the JACK test server runs at 48 kHz), and starts every unit
// clean: checked against an independent mix made with sox, one export
// against the next, and a file's level in one format against another.
#include "ExportFixture.h"

#include <QProcess>
#include <QStandardPaths>

#include <numeric>
#include <random>

namespace {

class ExportRateTest : public ExportTest {
protected:
    // Runs sox with `arguments`; false when it is missing or fails.
    static bool sox(const QStringList& arguments) {
        QProcess p;
        p.start(QStringLiteral("sox"), arguments);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    QString exportMix(int rateIndex, const QString& name, int format = 2) {
        choose(format, rateIndex);
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        c->saveAudioToURL(QUrl::fromLocalFile(path));
        EXPECT_TRUE(waitForEnd());
        EXPECT_TRUE(c->exporting.lastExportSucceeded);
        pressOk();
        return path;
    }
    // A stereo 16-bit WAV of white noise, the same on both channels, at
    // `amplitude` peak, from a fixed seed; with `smoothing` > 1 each sample
    // is the mean of that many draws in a row, which keeps the noise below
    // about 44100 / smoothing Hz.
    static QString writeNoise(const QString& name, double seconds, double amplitude, int rate = 44100,
                              unsigned seed = 1, int smoothing = 1) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> uniform(-float(amplitude), float(amplitude));
        testsupport::Signal x(size_t(std::lround(seconds * rate)));
        std::vector<float> last(size_t(smoothing), 0.0f);
        for (size_t i = 0; i < x.size(); ++i) {
            last[i % last.size()] = uniform(random);
            x[i] = std::accumulate(last.begin(), last.end(), 0.0f) / float(smoothing);
        }
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        EXPECT_TRUE(testsupport::writeWav(path, {x, x}, rate, testsupport::SampleFormat::Pcm16));
        return path;
    }
    // The time of the centre of the energy between two times.
    static double energyCentre(const DecodedFile& d, double from, double to) {
        double weighted = 0, energy = 0;
        for (size_t i = size_t(from * d.rate); i < std::min(d.frames(), size_t(to * d.rate)); ++i) {
            const double e = double(d.left[i]) * d.left[i];
            weighted += e * double(i);
            energy += e;
        }
        return energy > 0 ? weighted / energy / d.rate : 0.0;
    }
    static double maxDifference(const DecodedFile& a, const DecodedFile& b, size_t from = 0, size_t trim = 0) {
        double worst = a.frames() == b.frames() ? 0.0 : 1.0;
        const size_t n = std::min(a.frames(), b.frames());
        for (size_t i = from; i + trim < n; ++i) worst = std::max(worst, double(std::fabs(a.left[i] - b.left[i])));
        return worst;
    }
};

TEST_F(ExportRateTest, ANeutralMixMatchesSoxAtTheFilesRateAndAtAnother) {
    if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty()) GTEST_SKIP() << "sox is not installed";
    ASSERT_NE(rate, 44100) << "the device should run at another rate than the files";
    // Two tones and a noise that reaches the top octave, where a plain
    // resampler's filter rolls off and lets images through.
    const QString a = writeClicks("rate-a.wav", 2.0, {}, 44100, 440);
    const QString b = writeClicks("rate-b.wav", 1.5, {}, 44100, 550, 0.25);
    const QString n = writeNoise("rate-noise.wav", 2.0, 0.1);
    append(a);
    append(b);
    append(n);
    waitForReadyItem();

    // The same rate as the files: sample for sample what sox adds up.
    const QString soxMix = testsupport::tempDir() + QStringLiteral("/sox-mix.wav");
    ASSERT_TRUE(sox({"-D", "-m", "-v", "1", a, "-v", "1", b, "-v", "1", n, "-b", "16", soxMix}));
    const DecodedFile ours = decode(exportMix(0, QStringLiteral("mix-44100.wav")));
    const DecodedFile theirs = decode(soxMix);
    ASSERT_EQ(ours.rate, 44100);
    ASSERT_EQ(ours.frames(), theirs.frames());
    EXPECT_EQ(maxDifference(ours, theirs), 0.0);

    // At 48 kHz: one conversion, as close to sox's own as two good
    // resamplers come, over the whole band (the edges, where each filter
    // starts, left out).
    const QString soxMix48 = testsupport::tempDir() + QStringLiteral("/sox-mix-48000.wav");
    ASSERT_TRUE(sox({"-D", soxMix, "-b", "16", soxMix48, "rate", "-v", "48000"}));
    const DecodedFile ours48 = decode(exportMix(1, QStringLiteral("mix-48000.wav")));
    const DecodedFile theirs48 = decode(soxMix48);
    ASSERT_EQ(ours48.rate, 48000);
    ASSERT_NEAR(double(ours48.frames()), double(theirs48.frames()), 1.0);
    const size_t edge = 4800;
    double difference = 0, level = 0;
    for (size_t i = edge; i + edge < std::min(ours48.frames(), theirs48.frames()); ++i) {
        const double d = double(ours48.left[i]) - theirs48.left[i];
        difference += d * d;
        level += double(theirs48.left[i]) * theirs48.left[i];
    }
    ASSERT_GT(level, 0.0);
    EXPECT_LT(10 * std::log10(difference / level), -60.0);
}

TEST_F(ExportRateTest, TwoExportsOfOneCompositionAreTheSameAtEveryRate) {
    // Three tracks; the first shifted by 100 cents, with a click alone at
    // 0.4 s to find it by.
    auto pitched = append(writeClicks("pitched.wav", 1.5, {0.4}, 44100, 330, 0.6));
    append(writeClicks("plain.wav", 1.0, {0.7}, 48000, 440, 0.75));
    append(writeClicks("other.wav", 1.2, {0.9}, 44100, 550, 1.0));
    pitched->setValue(EffectInput::Pitch, 100.0f);
    pitched->updatePitchValue();
    waitForReadyItem();
    std::vector<double> clicks(3);
    for (int rate : {1, 2, 0}) {
        SCOPED_TRACE("rate index " + std::to_string(rate));
        const QString name = QStringLiteral("first-%1.wav").arg(rate);
        const DecodedFile first = decode(exportMix(rate, name));
        // Played for a moment in between, as a user would.
        player->play();
        QTest::qWait(300);
        player->pause();
        const DecodedFile second = decode(exportMix(rate, QStringLiteral("second-%1.wav").arg(rate)));
        ASSERT_GT(first.frames(), 0u);
        EXPECT_EQ(maxDifference(first, second), 0.0);
        clicks[size_t(rate)] = energyCentre(first, 0.38, 0.42);
    }
    // The pitched click lies where it lies at 44.1 kHz. The stretcher puts a
    // click a few frames early or late by where it falls among its windows
    // (within 0.15 ms), which differs from one rate to another: beyond that,
    // the place does not move.
    EXPECT_NEAR(clicks[1], clicks[0], 0.25e-3);
    EXPECT_NEAR(clicks[2], clicks[0], 0.25e-3);
}

TEST_F(ExportRateTest, ExportsInARowAtTheDevicesRateAreIdentical) {
    // At the device's rate the export renders through the units the player
    // made, which have played what the player rendered before the export
    // (at first, before the track's pitch reached them): each export must
    // still start them exactly as new. A tone, a noise and a sweep, one
    // shifted.
    ASSERT_EQ(rate, 48000) << "the device should run at the export's rate";
    auto pitched = append(writeClicks("row-tone.wav", 0.5, {0.25}, 44100, 330));
    append(writeNoise("row-noise.wav", 0.5, 0.1, 44100, 3, 4));
    testsupport::Signal sweep(22050);
    for (size_t i = 0; i < sweep.size(); ++i) {
        const double t = double(i) / 44100;
        sweep[i] = float(0.1 * std::sin(2 * M_PI * (200 * t + 3000 * t * t)));
    }
    const QString sweepPath = testsupport::tempDir() + QStringLiteral("/row-sweep.wav");
    ASSERT_TRUE(testsupport::writeWav(sweepPath, {sweep, sweep}, 44100, testsupport::SampleFormat::Pcm16));
    append(sweepPath);
    pitched->setValue(EffectInput::Pitch, 100.0f);
    pitched->updatePitchValue();
    waitForReadyItem();
    const DecodedFile first = decode(exportMix(1, QStringLiteral("row-0.wav")));
    ASSERT_GT(first.frames(), 0u);
    int differing = 0;
    for (int i = 1; i < 24; ++i) {
        const DecodedFile next = decode(exportMix(1, QStringLiteral("row-%1.wav").arg(i)));
        if (maxDifference(first, next) != 0.0) {
            ++differing;
            ADD_FAILURE() << "export " << i << " differs from the first by up to " << maxDifference(first, next);
        }
    }
    EXPECT_EQ(differing, 0);
}

// A tone and three noises, which together go over full scale at a gain of
// 1; the m4a decodes to the level of the wav, clipped where it is.
struct LevelCase {
    const char* name;
    double gain;
    bool overFullScale;
};
void PrintTo(const LevelCase& k, std::ostream* os) { *os << k.name; }
class ExportLevelTest : public ExportRateTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(ExportLevelTest, AnM4aHasTheLevelOfTheWav) {
    const LevelCase k = GetParam();
    append(testsupport::writeTone("level-tone.wav", 2.0, 440,
                                  {.amplitude = 0.45 * k.gain, .format = testsupport::SampleFormat::Pcm16}));
    // Noises kept under 11 kHz, well inside what the encoder keeps at 192
    // kbit/s: the level is what the test is about, not the bandwidth.
    for (unsigned seed = 1; seed <= 3; ++seed)
        append(writeNoise(QStringLiteral("level-noise-%1.wav").arg(seed), 2.0, 0.5 * k.gain, 44100, seed, 4));
    waitForReadyItem();
    const DecodedFile wav = decode(exportMix(0, "level.wav", 2));
    const DecodedFile m4a = decode(exportMix(0, "level.m4a", 0));
    ASSERT_GT(wav.frames(), 0u);
    ASSERT_GT(m4a.frames(), 0u);
    EXPECT_EQ(peakLevel(wav, 0, 2) >= 32767.0f / 32768, k.overFullScale);
    const double difference = 20 * std::log10(rms(m4a, 0, 2) / rms(wav, 0, 2));
    EXPECT_NEAR(difference, 0.0, 0.1) << "wav RMS " << rms(wav, 0, 2) << ", m4a RMS " << rms(m4a, 0, 2);
}

INSTANTIATE_TEST_SUITE_P(Mixes, ExportLevelTest,
                         ::testing::Values(LevelCase{"OverFullScale", 1.0, true}, LevelCase{"Below", 0.2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

