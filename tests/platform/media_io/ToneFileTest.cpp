// The shared tone files and measures the other tests rely on: a written tone
// reads back (with libsndfile, not our reader) at its rate, channels, length
// and frequency, and the spectrum and levels read a sine's amplitude.
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <vector>

namespace {

using testsupport::SampleFormat;
using testsupport::ToneOptions;

struct ToneCase {
    const char* name;
    double seconds, frequency;
    ToneOptions options;
};

TEST(ToneFile, ReadsBackAsWritten) {
    const ToneCase cases[] = {
        {"float-stereo.wav", 1.0, 1000, {}},
        {"pcm16-mono.wav", 0.5, 440, {.rate = 8000, .channels = 1, .amplitude = 0.25, .format = SampleFormat::Pcm16}},
        {"float-six-96k.wav", 0.25, 12345, {.rate = 96000, .channels = 6}},
        // A length that is not a whole number of frames, across several write blocks.
        {"pcm16-long.wav", 2.00001, 60.5, {.rate = 22050, .amplitude = 0.9, .format = SampleFormat::Pcm16}},
        {"constant.wav", 0.1, 0, {.amplitude = 0.3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = testsupport::writeTone(QString::fromLatin1(c.name), c.seconds, c.frequency, c.options);
        ASSERT_FALSE(path.isEmpty());
        SF_INFO info{};
        SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(info.samplerate, c.options.rate);
        EXPECT_EQ(info.channels, c.options.channels);
        EXPECT_EQ(info.frames, std::llround(c.seconds * c.options.rate));
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK,
                  c.options.format == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
        std::vector<float> interleaved(size_t(info.frames * info.channels));
        EXPECT_EQ(sf_readf_float(file, interleaved.data(), info.frames), info.frames);
        sf_close(file);

        const size_t frames = size_t(info.frames);
        for (int ch = 0; ch < info.channels; ++ch) {
            testsupport::Signal x(frames);
            for (size_t i = 0; i < frames; ++i) x[i] = interleaved[i * size_t(info.channels) + size_t(ch)];
            if (c.frequency == 0) {
                EXPECT_FLOAT_EQ(testsupport::peak(x), float(c.options.amplitude)) << "channel " << ch;
                EXPECT_NEAR(testsupport::rms(x), c.options.amplitude, 1e-6) << "channel " << ch;
                continue;
            }
            const double bin = c.options.rate / double(frames);
            EXPECT_NEAR(testsupport::peakFrequency(x.data(), frames, c.options.rate), c.frequency, bin / 4)
                << "channel " << ch;
            EXPECT_NEAR(testsupport::amplitudeAt(x.data(), frames, c.frequency, c.options.rate), c.options.amplitude,
                        1e-3)
                << "channel " << ch;
        }
    }
}

TEST(ToneFile, SpectrumAndLevelsReadTheAmplitude) {
    const double rate = 48000, amplitude = 0.4;
    const size_t n = 4096;
    const double onBin = 100 * rate / n;  // a whole number of periods in the window
    const auto x = testsupport::sine(onBin, rate, int64_t(n), amplitude);
    const auto spec = testsupport::spectrum(x, 0, n);
    ASSERT_EQ(spec.size(), n / 2 + 1);
    EXPECT_NEAR(spec[100], amplitude, 1e-4);
    EXPECT_NEAR(testsupport::binDb(spec, onBin, rate), testsupport::dB(amplitude), 1e-3);
    EXPECT_LT(testsupport::binDb(spec, 2 * onBin, rate), -100);
    EXPECT_NEAR(testsupport::peakFrequency(spec, rate), onBin, 1e-6);
    // Between two bins the spectrum loses some of it; the exact measure does not.
    const auto off = testsupport::sine(onBin + rate / n / 2, rate, int64_t(n), amplitude);
    EXPECT_NEAR(testsupport::amplitudeAt(off.data(), n, onBin + rate / n / 2, rate), amplitude, 1e-4);
    EXPECT_NEAR(testsupport::rms(x), amplitude / std::sqrt(2.0), 1e-4);
    EXPECT_NEAR(testsupport::peakDb(x), testsupport::dB(amplitude), 0.01);
    EXPECT_EQ(testsupport::levelDb(testsupport::Signal(16, 0.0f)), -300);
}

}  // namespace
