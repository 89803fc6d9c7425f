#include "engine/TrackSpectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

namespace {
// FFTW's planner is not thread-safe; plans are made and destroyed under this.
std::mutex& plannerMutex() {
    static std::mutex m;
    return m;
}
}  // namespace

TrackSpectrum::TrackSpectrum(int64_t length) : length_(length) {
    if (length <= 1 || length > (1 << 20)) return;
    fftCount_ = static_cast<uint64_t>(length / 2);
    magnitudes_.assign(fftCount_, 0.0f);
    std::lock_guard lock(plannerMutex());
    auto* in = fftwf_alloc_complex(length);
    auto* out = fftwf_alloc_complex(length);
    if (!in || !out) {
        fftwf_free(in);
        fftwf_free(out);
        return;
    }
    std::fill_n(reinterpret_cast<float*>(in), 2 * length, 0.0f);
    in_ = reinterpret_cast<float*>(in);
    out_ = reinterpret_cast<float*>(out);
    plan_ = fftwf_plan_dft_1d(static_cast<int>(length), in, out, FFTW_FORWARD, FFTW_ESTIMATE);
}

TrackSpectrum::~TrackSpectrum() {
    std::lock_guard lock(plannerMutex());
    if (plan_) fftwf_destroy_plan(static_cast<fftwf_plan>(plan_));
    fftwf_free(in_);
    fftwf_free(out_);
}

void TrackSpectrum::compute(const float* const* channels, int channelCount, int64_t frames) {
    if (!plan_ || fftCount_ == 0) return;
    frames = std::clamp<int64_t>(frames, 0, length_);
    std::fill_n(in_, 2 * length_, 0.0f);
    if (channelCount > 0) {
        for (int64_t k = 0; k < frames; ++k) {
            float sum = 0.0f;
            for (int c = 0; c < channelCount; ++c)
                if (channels[c]) sum += channels[c][k];
            in_[2 * k] = sum / static_cast<float>(channelCount);
        }
    }
    fftwf_execute(static_cast<fftwf_plan>(plan_));
    for (uint64_t i = 0; i < fftCount_; ++i) {
        float re = out_[2 * i], im = out_[2 * i + 1];
        magnitudes_[i] = std::sqrt(re * re + im * im);
    }
}

EQSpectrum::EQSpectrum() : magnitudes_(kMaxCount, 0.0f) {}

bool EQSpectrum::publish(double time, double sampleRate, const float* magnitudes, uint64_t count,
                         QRgb trackColor) {
    if (busy_.test_and_set(std::memory_order_acquire)) return false;
    count = std::min<uint64_t>(count, kMaxCount);
    std::copy_n(magnitudes, count, magnitudes_.begin());
    sampleRate_ = sampleRate;
    count_ = count;
    color_ = trackColor;
    viewTime_.store(time, std::memory_order_relaxed);
    busy_.clear(std::memory_order_release);
    generation_.fetch_add(1, std::memory_order_release);
    return true;
}

EQSpectrum::Frame EQSpectrum::frame() const {
    Frame f;
    while (busy_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    f.fftViewTime = viewTime_.load(std::memory_order_relaxed);
    f.fftSampleRate = sampleRate_;
    f.fftCount = count_;
    f.trackColor = QColor::fromRgba(color_);
    f.fftMagnitudes.assign(magnitudes_.begin(), magnitudes_.begin() + count_);
    busy_.clear(std::memory_order_release);
    return f;
}

void EQSpectrum::clear() {
    while (busy_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    count_ = 0;
    viewTime_.store(0, std::memory_order_relaxed);
    busy_.clear(std::memory_order_release);
    generation_.fetch_add(1, std::memory_order_release);
}
