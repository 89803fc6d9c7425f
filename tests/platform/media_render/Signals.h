#pragma once

#include "platform/media/AssetTrack.h"

#include <QString>

#include <fftw3.h>
#include <sndfile.h>

#include <cmath>
#include <memory>
#include <vector>

// Generated material for the render tests.
namespace gen {

inline std::vector<float> sine(double freq, double rate, int64_t frames, float amp = 0.5f) {
    std::vector<float> v(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i)
        v[static_cast<size_t>(i)] = amp * static_cast<float>(std::sin(2 * M_PI * freq * i / rate));
    return v;
}

// A ramp that tells every frame apart: frame i holds (i % 1000) / 1000.
inline std::vector<float> ramp(int64_t frames, float offset = 0) {
    std::vector<float> v(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) v[static_cast<size_t>(i)] = offset + (i % 1000) / 1000.0f;
    return v;
}

inline std::shared_ptr<AssetTrack> track(std::vector<std::vector<float>> channels, double rate,
                                        int32_t id = 1) {
    return AssetTrack::fromDecodedSource(DecodedSource::fromBuffers(std::move(channels), rate), id);
}

// The frequency of the strongest bin of a Hann-windowed spectrum.
inline double peakFrequency(const float* x, size_t n, double rate) {
    std::vector<float> in(n);
    for (size_t i = 0; i < n; ++i)
        in[i] = x[i] * static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1)));
    std::vector<fftwf_complex> out(n / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(static_cast<int>(n), in.data(), out.data(), FFTW_ESTIMATE);
    fftwf_execute(plan);
    fftwf_destroy_plan(plan);
    size_t best = 1;
    double bestMag = 0;
    for (size_t k = 1; k < out.size(); ++k) {
        const double m = out[k][0] * out[k][0] + out[k][1] * out[k][1];
        if (m > bestMag) { bestMag = m; best = k; }
    }
    return best * rate / n;
}

inline double rms(const float* x, size_t n) {
    double s = 0;
    for (size_t i = 0; i < n; ++i) s += double(x[i]) * x[i];
    return n ? std::sqrt(s / n) : 0;
}

// A float WAV file of the given channels; false when it cannot be written.
inline bool writeWav(const QString& path, const std::vector<std::vector<float>>& channels, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = static_cast<int>(channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    if (!f) return false;
    const size_t frames = channels.front().size();
    std::vector<float> interleaved;
    interleaved.reserve(frames * channels.size());
    for (size_t i = 0; i < frames; ++i)
        for (const auto& c : channels) interleaved.push_back(c[i]);
    const bool ok = sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(frames)) ==
                    static_cast<sf_count_t>(frames);
    sf_close(f);
    return ok;
}

}  // namespace gen
