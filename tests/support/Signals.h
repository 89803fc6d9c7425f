#pragma once

// Generated signals, the WAV files made of them, and the measures tests take
// of what comes back: levels, a magnitude spectrum, the strongest frequency.
// Every function runs on the test's own thread; none is meant for a render
// thread (they allocate, and the spectrum makes an FFTW plan each time).

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

using Signal = std::vector<float>;

// `frames` frames of amplitude × sin(2π × frequency × i / rate), from i = 0.
Signal sine(double frequency, double rate, int64_t frames, double amplitude = 0.5);

enum class SampleFormat { Float, Pcm16 };

// Writes the channels (all of the first one's length) as a WAV file. 16-bit
// samples are rounded from value × 32767 and clipped. False, with a test
// failure noted, when the file cannot be written.
bool writeWav(const QString& path, const std::vector<Signal>& channels, int rate,
              SampleFormat format = SampleFormat::Float);

struct ToneOptions {
    int rate = 44100;
    int channels = 2;
    double amplitude = 0.5;
    SampleFormat format = SampleFormat::Float;
};

// A WAV file `name` in a fresh temporary folder holding `seconds` of a sine
// at `frequency` Hz, the same on every channel; a frequency of 0 holds the
// constant `amplitude` instead. Returns its path, or an empty string (with a
// test failure noted) when it cannot be written.
QString writeTone(const QString& name, double seconds, double frequency, const ToneOptions& options = {});

// Levels over samples [from, to) of a signal (to = 0: its end; both are cut
// to its length), or over `n` samples at `x`.
double rms(const float* x, size_t n);
double rms(const Signal& s, size_t from = 0, size_t to = 0);
double peak(const float* x, size_t n);
double peak(const Signal& s, size_t from = 0, size_t to = 0);
// An amplitude in dB; anything at or below 1e-15 reads -300 dB.
double dB(double amplitude);
double levelDb(const Signal& s, size_t from = 0, size_t to = 0);  // the RMS in dB
double peakDb(const Signal& s, size_t from = 0, size_t to = 0);

// The magnitude spectrum of `n` samples under a Hann window, bins 0 to n / 2,
// scaled so that a sine of amplitude A on a bin reads A there. The signal
// form reads samples [from, from + n) and takes zeros past its end.
std::vector<double> spectrum(const float* x, size_t n);
std::vector<double> spectrum(const Signal& s, size_t from, size_t n);
// The strongest frequency above DC, interpolated between bins.
double peakFrequency(const std::vector<double>& spectrum, double rate);
double peakFrequency(const float* x, size_t n, double rate);
// The strongest of the bins nearest `frequency` and its two neighbours, in dB.
double binDb(const std::vector<double>& spectrum, double frequency, double rate);
// The amplitude of the component at exactly `frequency` in `n` samples under
// a Hann window: a sine of amplitude A reads A whether or not it falls on a bin.
double amplitudeAt(const float* x, size_t n, double frequency, double rate);

}  // namespace testsupport
