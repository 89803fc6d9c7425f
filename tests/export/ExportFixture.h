#pragma once

#include "../app/TrackListFixture.h"

#include "engine/TrackTapContext.h"
#include "export/ExportSession.h"
#include "platform/media/AudioFileWriter.h"
#include "views/ExportViews.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

// Decoded audio of a file, at its own rate.
struct DecodedFile {
    double rate = 0;
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
};

// The controller with real tracks made of generated files, exported through
// the real writers and decoded back.
class ExportTest : public TrackListTest {
protected:
    void SetUp() override {
        TrackListTest::SetUp();
        c->exporting.openInDefaultApplication = [this](const QUrl& url) { opened.push_back(url); };
        exportrulesClearTemp();
    }

    // A stereo 16-bit WAV: `seconds` of silence, or of a sine at `tone` Hz
    // at amplitude 0.1 from `toneFrom` on, with a click (0.8, one sample) at
    // each of `clicks`.
    static QString writeClicks(const QString& name, double seconds, std::vector<double> clicks, int rate = 44100,
                               double tone = 0, double toneFrom = 0) {
        const QString path = testsupport::tempDir() + QLatin1Char('/') + name;
        const auto frames = size_t(std::lround(seconds * rate));
        std::vector<float> x(frames, 0.0f);
        if (tone > 0)
            for (size_t i = size_t(toneFrom * rate); i < frames; ++i) x[i] = float(0.1 * std::sin(2 * M_PI * tone * double(i) / rate));
        for (double t : clicks) x[size_t(std::lround(t * rate))] = 0.8f;
        auto writer = AudioFileWriter::create(path, {AudioFileWriter::Format::WAV, double(rate), 2, 0});
        EXPECT_TRUE(writer);
        const float* ch[2] = {x.data(), x.data()};
        writer->append(ch, int64_t(frames));
        EXPECT_TRUE(writer->finish());
        return path;
    }

    static DecodedFile decode(const QString& path) {
        DecodedFile d;
        auto asset = Asset::load(path);
        if (!asset) return d;
        auto audio = asset->tracksWithMediaType(MediaType::Audio);
        if (audio.empty()) return d;
        d.rate = audio.front()->sampleRate();
        auto reader = AssetReader::create(testsupport::oneTrackComposition(audio.front()));
        auto out = std::make_shared<AssetReaderAudioMixOutput>(
            std::vector<int32_t>{1}, AssetReaderAudioMixOutput::Settings{d.rate, 2});
        reader->addOutput(out);
        if (!reader->startReading()) return d;
        while (auto b = out->copyNextSampleBuffer()) {
            d.left.insert(d.left.end(), b->left.begin(), b->left.end());
            d.right.insert(d.right.end(), b->right.begin(), b->right.end());
        }
        return d;
    }

    // The time of the loudest sample within `window` seconds of `around`.
    static double peakNear(const DecodedFile& d, double around, double window = 0.05) {
        const auto a = size_t(std::max(0.0, (around - window) * d.rate));
        const auto b = std::min(d.frames(), size_t((around + window) * d.rate));
        size_t best = a;
        for (size_t i = a; i < b; ++i)
            if (std::fabs(d.left[i]) > std::fabs(d.left[best])) best = i;
        return double(best) / d.rate;
    }
    static float peakLevel(const DecodedFile& d, double from, double to) {
        float m = 0;
        for (size_t i = size_t(std::max(0.0, from * d.rate)); i < std::min(d.frames(), size_t(to * d.rate)); ++i)
            m = std::max(m, std::fabs(d.left[i]));
        return m;
    }

    static double rms(const DecodedFile& d, double from, double to) {
        double sum = 0;
        size_t n = 0;
        for (size_t i = size_t(from * d.rate); i < std::min(d.frames(), size_t(to * d.rate)); ++i, ++n)
            sum += double(d.left[i]) * d.left[i];
        return n ? std::sqrt(sum / double(n)) : 0.0;
    }

    // The amplitude of the `frequency` component between two times.
    static double toneAmplitude(const DecodedFile& d, double from, double to, double frequency) {
        double re = 0, im = 0;
        size_t n = 0;
        for (size_t i = size_t(from * d.rate); i < std::min(d.frames(), size_t(to * d.rate)); ++i, ++n) {
            const double w = 2 * M_PI * frequency * double(i) / d.rate;
            re += d.left[i] * std::cos(w);
            im += d.left[i] * std::sin(w);
        }
        return n ? 2.0 * std::hypot(re, im) / double(n) : 0.0;
    }

    void exportrulesClearTemp() { c->clearTempFilesPath(); }
    QStringList tempFiles() const {
        return QDir(c->getAppTempPath()).entryList(QDir::Files | QDir::NoDotAndDotDot);
    }

    // The accessory's choices, as the panel would leave them.
    void choose(int format, int rate, int bitRate = 2) {
        auto* a = c->saveAccessoryView();
        a->saveAudioFormatPopUpButton->setCurrentIndex(format);
        a->saveAudioSampleRatePopUpButton->setCurrentIndex(rate);
        a->saveAudioBitratePopUpButton->setCurrentIndex(bitRate);
    }

    // Waits for the export to end (its sheet reads "Ok"); false on a time-out.
    bool waitForEnd(int timeoutMs = 60000) {
        return testsupport::waitUntil(
            [&] {
                return !c->exporting.session && c->progressSheet()->sheetButton->text() == QStringLiteral("Ok");
            },
            timeoutMs);
    }
    QString sheetInfo() { return c->progressSheet()->sheetInfoTextField->text(); }
    QString sheetPercent() { return c->progressSheet()->sheetPercentTextField->text(); }
    // The user presses "Ok".
    void pressOk() {
        c->progressSheet()->sheetButton->click();
        endEvent();
    }

    // Speed and place of a track, as the lane would set them.
    void place(MusicFilter& t, double start, float speed = 1.0f) {
        t.setValue(EffectInput::Speed, speed);
        const double length = t.currentTimeRange().duration.seconds() / speed;
        t.setAnimationStart(MediaTime::fromSeconds(start, 44100));
        t.setAnimationEnd(MediaTime::fromSeconds(start + length, 44100));
        c->updatePlayerWithNewTrackSettings(&t);
        waitForReadyItem();
    }

    std::vector<QUrl> opened;
};
