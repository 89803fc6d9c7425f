// A mix export renders at the export's own rate, whatever the rate of the
// sound device (the JACK test server runs at 48 kHz), and starts every unit
// clean: checked against an independent mix made with sox, and one export
// against the next.
#include "ExportFixture.h"

#include <QProcess>
#include <QStandardPaths>

namespace {

class ExportRateTest : public ExportTest {
protected:
    // Runs sox with `arguments`; false when it is missing or fails.
    static bool sox(const QStringList& arguments) {
        QProcess p;
        p.start(QStringLiteral("sox"), arguments);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    QString exportMix(int rateIndex, const QString& name) {
        choose(2, rateIndex);
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        c->saveAudioToURL(QUrl::fromLocalFile(path));
        EXPECT_TRUE(waitForEnd());
        EXPECT_TRUE(c->exporting.lastExportSucceeded);
        pressOk();
        return path;
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
    const QString a = writeClicks("rate-a.wav", 2.0, {}, 44100, 440);
    const QString b = writeClicks("rate-b.wav", 1.5, {}, 44100, 550, 0.25);
    append(a);
    append(b);
    waitForReadyItem();

    // The same rate as the files: sample for sample what sox adds up.
    const QString soxMix = testsupport::tempDir() + QStringLiteral("/sox-mix.wav");
    ASSERT_TRUE(sox({"-D", "-m", "-v", "1", a, "-v", "1", b, "-b", "16", soxMix}));
    const DecodedFile ours = decode(exportMix(0, QStringLiteral("mix-44100.wav")));
    const DecodedFile theirs = decode(soxMix);
    ASSERT_EQ(ours.rate, 44100);
    ASSERT_EQ(ours.frames(), theirs.frames());
    EXPECT_EQ(maxDifference(ours, theirs), 0.0);

    // At 48 kHz: one conversion, as close to sox's own as two good
    // resamplers come (the edges, where each filter starts, left out).
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
    EXPECT_LT(10 * std::log10(difference / level), -50.0);
}

TEST_F(ExportRateTest, TwoExportsOfOneCompositionAreTheSame) {
    auto pitched = append(writeClicks("pitched.wav", 1.5, {0.4}, 44100, 330));
    append(writeClicks("plain.wav", 1.0, {0.7}, 48000, 440));
    pitched->setValue(EffectInput::Pitch, 1.5f);
    pitched->updatePitchValue();
    waitForReadyItem();
    // Played for a moment in between, as a user would.
    const DecodedFile first = decode(exportMix(0, QStringLiteral("first.wav")));
    player->play();
    QTest::qWait(300);
    player->pause();
    const DecodedFile second = decode(exportMix(0, QStringLiteral("second.wav")));
    ASSERT_GT(first.frames(), 0u);
    EXPECT_EQ(maxDifference(first, second), 0.0);
}

}  // namespace
