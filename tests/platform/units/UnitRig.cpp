#include "UnitRig.h"

#include "platform/core/Realtime.h"

#include <gtest/gtest.h>

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace units;

Signal sine(double hz, double amplitude, double seconds, double sampleRate) {
    Signal s(size_t(seconds * sampleRate));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = float(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / sampleRate));
    return s;
}

Signal impulse(size_t frames, size_t at, float value) {
    Signal s(frames, 0.0f);
    if (at < frames) s[at] = value;
    return s;
}

Signal noise(size_t frames, float amplitude, uint32_t seed) {
    Signal s(frames);
    uint32_t x = seed * 2654435761u + 1;
    for (float& v : s) {
        x = x * 1664525u + 1013904223u;
        v = amplitude * (float(x >> 8) / float(1 << 23) - 1.0f);
    }
    return s;
}

double levelDb(const Signal& s, size_t from, size_t to) {
    if (!to) to = s.size();
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return 10 * std::log10(std::max(sum / double(std::max<size_t>(to - from, 1)), 1e-30));
}

double peakDb(const Signal& s, size_t from, size_t to) {
    if (!to) to = s.size();
    float peak = 0;
    for (size_t i = from; i < to; ++i) peak = std::max(peak, std::fabs(s[i]));
    return 20 * std::log10(std::max(double(peak), 1e-15));
}

std::vector<double> spectrum(const Signal& s, size_t from, size_t n) {
    float* in = fftwf_alloc_real(n);
    fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(int(n), in, out, FFTW_ESTIMATE);
    double windowSum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n));
        windowSum += w;
        in[i] = from + i < s.size() ? float(s[from + i] * w) : 0.0f;
    }
    fftwf_execute(plan);
    std::vector<double> mag(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k)
        mag[k] = 2 * std::hypot(out[k][0], out[k][1]) / windowSum;  // a sine of amplitude A reads A
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
    return mag;
}

double binDb(const std::vector<double>& spec, double hz, double sampleRate) {
    const size_t n = (spec.size() - 1) * 2;
    const size_t k = size_t(std::lround(hz * double(n) / sampleRate));
    double m = 0;
    for (size_t j = k ? k - 1 : 0; j <= std::min(k + 1, spec.size() - 1); ++j) m = std::max(m, spec[j]);
    return 20 * std::log10(std::max(m, 1e-15));
}

double peakFrequency(const std::vector<double>& spec, double sampleRate) {
    const size_t n = (spec.size() - 1) * 2;
    size_t k = size_t(std::max_element(spec.begin() + 1, spec.end()) - spec.begin());
    double delta = 0;  // parabolic interpolation between bins
    if (k > 0 && k + 1 < spec.size()) {
        const double a = spec[k - 1], b = spec[k], c = spec[k + 1];
        const double d = a - 2 * b + c;
        if (d != 0) delta = 0.5 * (a - c) / d;
    }
    return (double(k) + delta) * sampleRate / double(n);
}

UnitRig::UnitRig(FourCC type, FourCC subtype, double sampleRate, uint32_t channels, uint32_t maxFrames)
    : sampleRate_(sampleRate), channels_(channels) {
    unit_ = ComponentRegistry::instance().instantiate(type, subtype);
    if (!unit_) {
        ADD_FAILURE() << "no unit " << fourCCToString(subtype).toStdString();
        return;
    }
    const StreamFormat f = StreamFormat::canonical(sampleRate, channels);
    EXPECT_EQ(unit_->setStreamFormat(Scope::Input, 0, f), Status::Ok);
    EXPECT_EQ(unit_->setStreamFormat(Scope::Output, 0, f), Status::Ok);
    EXPECT_EQ(unit_->setMaximumFramesPerSlice(maxFrames), Status::Ok);
    unit_->setRenderCallback(0, {&UnitRig::feed, this});
    EXPECT_EQ(unit_->initialize(), Status::Ok);
}

Status UnitRig::feed(void* ref, RenderActionFlags*, const TimeStamp&, uint32_t, uint32_t frames,
                     BufferList* io) {
    auto* self = static_cast<UnitRig*>(ref);
    const auto& in = *self->input_;
    for (uint32_t c = 0; c < io->numberBuffers; ++c) {
        const Signal& s = in[std::min<size_t>(c, in.size() - 1)];
        float* out = io->channel(c);
        for (uint32_t i = 0; i < frames; ++i) {
            const size_t at = self->position_ + i;
            out[i] = at < s.size() ? s[at] : 0.0f;
        }
    }
    self->position_ += frames;
    return Status::Ok;
}

std::vector<Signal> UnitRig::run(const std::vector<Signal>& input, uint32_t slice, size_t frames) {
    if (!frames) frames = input[0].size();
    std::vector<Signal> out(channels_, Signal(frames, 0.0f));
    input_ = &input;
    position_ = 0;
    std::vector<float> scratch(size_t(channels_) * slice);
    std::vector<float*> ptrs(channels_);
    for (uint32_t c = 0; c < channels_; ++c) ptrs[c] = scratch.data() + size_t(c) * slice;
    for (size_t done = 0; done < frames;) {
        const uint32_t n = uint32_t(std::min<size_t>(slice, frames - done));
        BufferList list;
        list.point(channels_, n, ptrs.data());
        TimeStamp ts;
        ts.sampleTime = sampleTime_;
        RenderActionFlags flags = 0;
        Status s;
        {
            realtime::Scope rt;
            s = unit_->render(&flags, ts, 0, n, &list);
        }
        if (s != Status::Ok) ++renderErrors;
        for (uint32_t c = 0; c < channels_; ++c) std::copy_n(list.channel(c), n, out[c].begin() + long(done));
        done += n;
        sampleTime_ += n;
    }
    input_ = nullptr;
    return out;
}

double UnitRig::gainDb(double hz, double amplitude) {
    unit_->reset();
    const Signal in = sine(hz, amplitude, 0.5, sampleRate_);
    const Signal out = runMono(in);
    return levelDb(out, in.size() / 2) - levelDb(in, in.size() / 2);
}
