#include "support/Signals.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fftw3.h>
#include <sndfile.h>

#include <QDir>

#include <algorithm>
#include <cmath>
#include <functional>
#include <mutex>
#include <numbers>

namespace testsupport {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

double hann(size_t i, size_t n) { return 0.5 - 0.5 * std::cos(kTwoPi * double(i) / double(n)); }

// Writes `frames` frames made block by block by `fill` (interleaved, the
// block's first frame given), so that long files need no buffer of their size.
bool writeFrames(const QString& path, int channels, int rate, SampleFormat format, int64_t frames,
                 const std::function<void(float* interleaved, int64_t first, int64_t count)>& fill) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    if (!file) {
        ADD_FAILURE() << "cannot write " << path.toStdString() << ": " << sf_strerror(nullptr);
        return false;
    }
    constexpr int64_t kBlock = 8192;
    std::vector<float> block(size_t(kBlock * channels));
    std::vector<short> shorts(format == SampleFormat::Pcm16 ? block.size() : 0);
    bool ok = true;
    for (int64_t done = 0; ok && done < frames;) {
        const int64_t n = std::min(kBlock, frames - done);
        fill(block.data(), done, n);
        if (format == SampleFormat::Pcm16) {
            for (size_t i = 0; i < size_t(n * channels); ++i)
                shorts[i] = short(std::clamp<long>(std::lround(double(block[i]) * 32767), -32768, 32767));
            ok = sf_writef_short(file, shorts.data(), n) == n;
        } else {
            ok = sf_writef_float(file, block.data(), n) == n;
        }
        done += n;
    }
    ok = sf_close(file) == 0 && ok;
    if (!ok) ADD_FAILURE() << "short write to " << path.toStdString();
    return ok;
}

// The planner is shared with the engine, which may plan on a render thread
// while a test measures on its own: FFTW serialises its planners once asked.
void makePlannerThreadSafe() {
    static std::once_flag once;
    std::call_once(once, [] { fftwf_make_planner_thread_safe(); });
}

std::pair<size_t, size_t> span(const Signal& s, size_t from, size_t to) {
    if (!to || to > s.size()) to = s.size();
    return {std::min(from, to), to};
}

}  // namespace

Signal sine(double frequency, double rate, int64_t frames, double amplitude) {
    Signal v(size_t(std::max<int64_t>(frames, 0)));
    for (size_t i = 0; i < v.size(); ++i) v[i] = float(amplitude * std::sin(kTwoPi * frequency * double(i) / rate));
    return v;
}

bool writeWav(const QString& path, const std::vector<Signal>& channels, int rate, SampleFormat format) {
    if (channels.empty()) {
        ADD_FAILURE() << "no channels for " << path.toStdString();
        return false;
    }
    const int count = int(channels.size());
    return writeFrames(path, count, rate, format, int64_t(channels.front().size()),
                       [&](float* out, int64_t first, int64_t n) {
                           for (int64_t i = 0; i < n; ++i)
                               for (int c = 0; c < count; ++c) {
                                   const Signal& s = channels[size_t(c)];
                                   const size_t at = size_t(first + i);
                                   *out++ = at < s.size() ? s[at] : 0.0f;
                               }
                       });
}

QString writeTone(const QString& name, double seconds, double frequency, const ToneOptions& options) {
    const QString path = QDir(tempDir()).filePath(name);
    const int64_t frames = std::llround(seconds * options.rate);
    const int channels = options.channels;
    const bool written = writeFrames(
        path, channels, options.rate, options.format, frames, [&](float* out, int64_t first, int64_t n) {
            for (int64_t i = 0; i < n; ++i) {
                const double t = double(first + i) / options.rate;
                const float v = frequency > 0 ? float(options.amplitude * std::sin(kTwoPi * frequency * t))
                                              : float(options.amplitude);
                std::fill_n(out + i * channels, channels, v);
            }
        });
    return written ? path : QString();
}

double rms(const float* x, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += double(x[i]) * x[i];
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

double rms(const Signal& s, size_t from, size_t to) {
    const auto [a, b] = span(s, from, to);
    return rms(s.data() + a, b - a);
}

double peak(const float* x, size_t n) {
    float p = 0;
    for (size_t i = 0; i < n; ++i) p = std::max(p, std::fabs(x[i]));
    return p;
}

double peak(const Signal& s, size_t from, size_t to) {
    const auto [a, b] = span(s, from, to);
    return peak(s.data() + a, b - a);
}

double dB(double amplitude) { return 20 * std::log10(std::max(amplitude, 1e-15)); }
double levelDb(const Signal& s, size_t from, size_t to) { return dB(rms(s, from, to)); }
double peakDb(const Signal& s, size_t from, size_t to) { return dB(peak(s, from, to)); }

std::vector<double> spectrum(const float* x, size_t n) {
    if (n < 2) return std::vector<double>(n / 2 + 1, 0.0);
    makePlannerThreadSafe();
    float* in = fftwf_alloc_real(n);
    fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(int(n), in, out, FFTW_ESTIMATE);
    double windowSum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = hann(i, n);
        windowSum += w;
        in[i] = float(x[i] * w);
    }
    fftwf_execute(plan);
    std::vector<double> magnitude(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k) magnitude[k] = 2 * std::hypot(out[k][0], out[k][1]) / windowSum;
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
    return magnitude;
}

std::vector<double> spectrum(const Signal& s, size_t from, size_t n) {
    Signal part(n, 0.0f);
    if (from < s.size()) std::copy_n(s.begin() + std::ptrdiff_t(from), std::min(n, s.size() - from), part.begin());
    return spectrum(part.data(), n);
}

double peakFrequency(const std::vector<double>& spec, double rate) {
    if (spec.size() < 2) return 0;
    const size_t n = (spec.size() - 1) * 2;
    const size_t k = size_t(std::max_element(spec.begin() + 1, spec.end()) - spec.begin());
    double delta = 0;  // the vertex of the parabola through the peak and its neighbours
    if (k + 1 < spec.size()) {
        const double a = spec[k - 1], b = spec[k], c = spec[k + 1];
        const double d = a - 2 * b + c;
        if (d != 0) delta = 0.5 * (a - c) / d;
    }
    return (double(k) + delta) * rate / double(n);
}

double peakFrequency(const float* x, size_t n, double rate) { return peakFrequency(spectrum(x, n), rate); }

double binDb(const std::vector<double>& spec, double frequency, double rate) {
    if (spec.empty()) return dB(0);
    const size_t n = (spec.size() - 1) * 2;
    const size_t k = std::min(size_t(std::max(0L, std::lround(frequency * double(n) / rate))), spec.size() - 1);
    double m = 0;
    for (size_t j = k ? k - 1 : 0; j <= std::min(k + 1, spec.size() - 1); ++j) m = std::max(m, spec[j]);
    return dB(m);
}

double amplitudeAt(const float* x, size_t n, double frequency, double rate) {
    double re = 0, im = 0, windowSum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = hann(i, n), phase = kTwoPi * frequency * double(i) / rate;
        re += w * x[i] * std::cos(phase);
        im -= w * x[i] * std::sin(phase);
        windowSum += w;
    }
    return windowSum > 0 ? 2 * std::hypot(re, im) / windowSum : 0.0;
}

}  // namespace testsupport
