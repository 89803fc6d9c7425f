#pragma once

#include <QColor>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// The magnitude spectrum of a track's slices: a forward complex DFT of the
// slice length made when the tap is prepared, run on the render thread over
// the slice's mono mix. Made only once a slice length is known; a length for
// which no DFT can be made gives no spectrum.
class TrackSpectrum {
public:
    // A DFT of `length` points and length / 2 magnitudes. isValid() is false
    // when the set-up could not be made.
    explicit TrackSpectrum(int64_t length);
    ~TrackSpectrum();
    TrackSpectrum(const TrackSpectrum&) = delete;
    TrackSpectrum& operator=(const TrackSpectrum&) = delete;

    bool isValid() const { return plan_ != nullptr; }
    int64_t length() const { return length_; }
    uint64_t fftCount() const { return fftCount_; }
    const float* magnitudes() const { return magnitudes_.data(); }

    // Transforms frames [0, frames) of the mono mix of `channels` (null
    // channels are skipped in the sum but count in the average, as buffers
    // without data do); the rest of the input is zero. Real-time safe.
    void compute(const float* const* channels, int channelCount, int64_t frames);

private:
    int64_t length_ = 0;
    uint64_t fftCount_ = 0;
    void* plan_ = nullptr;  // fftwf_plan
    float* in_ = nullptr;   // fftwf_complex[length]
    float* out_ = nullptr;  // fftwf_complex[length]
    std::vector<float> magnitudes_;
};

// The spectrum that the equaliser view shows: the render thread of the
// selected track publishes a copy of its magnitudes here, without waiting;
// the view takes a copy on the main thread. A publish that finds the view
// reading skips that slice.
class EQSpectrum {
public:
    static constexpr int kMaxCount = 8192;

    struct Frame {
        double fftViewTime = 0;  // seconds of composition time of the slice
        double fftSampleRate = 0;
        uint64_t fftCount = 0;
        QColor trackColor;
        std::vector<float> fftMagnitudes;
    };

    EQSpectrum();

    // Render thread. False when the view held the buffer (the slice is skipped).
    bool publish(double time, double sampleRate, const float* magnitudes, uint64_t count,
                 QRgb trackColor);
    // Main thread: the last spectrum.
    Frame frame() const;
    // Main thread: no spectrum (a track left, or the view was reset).
    void clear();
    // Seconds of the last published slice; 0 after clear(). Any thread.
    double fftViewTime() const { return viewTime_.load(std::memory_order_relaxed); }
    // Grows with every publish and clear, so a view can redraw on change.
    uint64_t generation() const { return generation_.load(std::memory_order_acquire); }

private:
    mutable std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
    std::atomic<double> viewTime_{0};
    std::atomic<uint64_t> generation_{0};
    double sampleRate_ = 0;
    uint64_t count_ = 0;
    QRgb color_ = 0;
    std::vector<float> magnitudes_;  // kMaxCount, made once
};
