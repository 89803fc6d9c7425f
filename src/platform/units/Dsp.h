#pragma once

// Small signal-processing pieces shared by the built-in units: biquad
// sections with the standard cookbook designs, decibel helpers and a flush
// of values too small to matter (so that decaying state never turns into
// slow subnormal arithmetic). Everything here is allocation-free.

#include <algorithm>
#include <atomic>
#include <cmath>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#include <cstdint>
#include <numbers>

namespace units::dsp {

// Whether this processor has AVX2 and fused multiply-adds, asked once when
// the program loads.
inline const bool kHasWideVectors = [] {
#if defined(__x86_64__)
    __builtin_cpu_init();  // may run before the runtime's own initialisation
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}();
// Whether the units run their wide kernels (compiled for those processors
// with a target attribute) or their portable loops; read by the render
// threads at every slice. Only a test turns it off, to hold the kernels up
// against the loops, and only while nothing renders.
inline std::atomic<bool> wideKernels{kHasWideVectors};
inline bool useWideKernels() { return wideKernels.load(std::memory_order_relaxed); }

// While alive, the processor treats subnormal floats as zero (inputs and
// results), so that decaying feedback never slows to a crawl. Restores the
// previous mode on the way out.
class DenormalGuard {
public:
#if defined(__SSE__)
    DenormalGuard() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040u); }
    ~DenormalGuard() { _mm_setcsr(saved_); }
private:
    unsigned saved_;
#endif
};

inline double dbToGain(double db) { return std::pow(10.0, db / 20.0); }
inline double gainToDb(double g) { return 20.0 * std::log10(std::max(g, 1e-30)); }

// Values below this are treated as silence in feedback paths.
inline double flush(double v) { return std::fabs(v) < 1e-20 ? 0.0 : v; }
inline float flush(float v) { return std::fabs(v) < 1e-20f ? 0.0f : v; }

// A frequency kept safely inside (0, Nyquist) for the bilinear designs.
inline double safeFrequency(double hz, double sampleRate) {
    return std::clamp(hz, 1.0, 0.45 * sampleRate);
}

// Normalised coefficients of y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2.
struct BiquadCoefficients {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;

    bool isIdentity() const { return b0 == 1 && b1 == 0 && b2 == 0 && a1 == 0 && a2 == 0; }

    static BiquadCoefficients normalise(double b0, double b1, double b2, double a0, double a1,
                                        double a2) {
        return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
    }

    // The angular frequency of `f` at the rate `sr`, in radians a sample.
    static double omega(double f, double sr) { return 2 * std::numbers::pi * safeFrequency(f, sr) / sr; }

    // Cookbook designs. `q` is the quality factor; `octaves` a bandwidth in
    // octaves (between the -3 dB points of the band-pass, or between the
    // half-gain points of the peaking filter).
    static BiquadCoefficients lowPass(double f, double q, double sr) {
        const double w = omega(f, sr);
        const double c = std::cos(w), alpha = std::sin(w) / (2 * q);
        return normalise((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
    }
    static BiquadCoefficients highPass(double f, double q, double sr) {
        const double w = omega(f, sr);
        const double c = std::cos(w), alpha = std::sin(w) / (2 * q);
        return normalise((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
    }
    static double alphaForOctaves(double w, double octaves) {
        return std::sin(w) * std::sinh(std::numbers::ln2 / 2 * octaves * w / std::sin(w));
    }
    // Band-pass with 0 dB at the centre.
    static BiquadCoefficients bandPass(double f, double octaves, double sr) {
        const double w = omega(f, sr);
        const double c = std::cos(w), alpha = alphaForOctaves(w, octaves);
        return normalise(alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
    }
    static BiquadCoefficients bandStop(double f, double octaves, double sr) {
        const double w = omega(f, sr);
        const double c = std::cos(w), alpha = alphaForOctaves(w, octaves);
        return normalise(1, -2 * c, 1, 1 + alpha, -2 * c, 1 - alpha);
    }
    static BiquadCoefficients allPass(double f, double q, double sr) {
        const double w = omega(f, sr);
        const double c = std::cos(w), alpha = std::sin(w) / (2 * q);
        return normalise(1 - alpha, -2 * c, 1 + alpha, 1 + alpha, -2 * c, 1 - alpha);
    }
    static BiquadCoefficients peaking(double f, double octaves, double gainDb, double sr) {
        if (gainDb == 0) return {};
        const double A = std::pow(10.0, gainDb / 40.0);
        const double w = omega(f, sr);
        const double c = std::cos(w), alpha = alphaForOctaves(w, octaves);
        return normalise(1 + alpha * A, -2 * c, 1 - alpha * A, 1 + alpha / A, -2 * c, 1 - alpha / A);
    }
    // What both shelves are made of: A (the amplitude at the shelf's middle),
    // cos w and 2 √A alpha, for a slope or, when `q` > 0, a quality factor.
    struct ShelfTerms {
        double A, c, k;
    };
    static ShelfTerms shelfTerms(double f, double gainDb, double sr, double slope, double q) {
        const double A = std::pow(10.0, gainDb / 40.0);
        const double w = omega(f, sr);
        const double c = std::cos(w), s = std::sin(w);
        const double alpha = q > 0 ? s / (2 * q) : s / 2 * std::sqrt((A + 1 / A) * (1 / slope - 1) + 2);
        return {A, c, 2 * std::sqrt(A) * alpha};
    }
    // Shelves with slope `slope` (1 = steepest without overshoot); `q` > 0
    // replaces the slope with an explicit quality factor (resonant shelf).
    static BiquadCoefficients lowShelf(double f, double gainDb, double sr, double slope = 1.0,
                                       double q = 0.0) {
        if (gainDb == 0) return {};
        const auto [A, c, k] = shelfTerms(f, gainDb, sr, slope, q);
        return normalise(A * ((A + 1) - (A - 1) * c + k), 2 * A * ((A - 1) - (A + 1) * c),
                         A * ((A + 1) - (A - 1) * c - k), (A + 1) + (A - 1) * c + k,
                         -2 * ((A - 1) + (A + 1) * c), (A + 1) + (A - 1) * c - k);
    }
    static BiquadCoefficients highShelf(double f, double gainDb, double sr, double slope = 1.0,
                                        double q = 0.0) {
        if (gainDb == 0) return {};
        const auto [A, c, k] = shelfTerms(f, gainDb, sr, slope, q);
        return normalise(A * ((A + 1) + (A - 1) * c + k), -2 * A * ((A - 1) + (A + 1) * c),
                         A * ((A + 1) + (A - 1) * c - k), (A + 1) - (A - 1) * c + k,
                         2 * ((A - 1) - (A + 1) * c), (A + 1) - (A - 1) * c - k);
    }

    // Magnitude of the response at `f` Hz.
    double magnitude(double f, double sr) const {
        const double w = 2 * std::numbers::pi * f / sr;
        const double cr = std::cos(w), ci = -std::sin(w), c2r = std::cos(2 * w), c2i = -std::sin(2 * w);
        const double nr = b0 + b1 * cr + b2 * c2r, ni = b1 * ci + b2 * c2i;
        const double dr = 1 + a1 * cr + a2 * c2r, di = a1 * ci + a2 * c2i;
        return std::sqrt((nr * nr + ni * ni) / (dr * dr + di * di));
    }
};

// One channel's memory of a biquad (transposed direct form II, in double).
struct BiquadState {
    double z1 = 0, z2 = 0;

    void clear() { z1 = z2 = 0; }
    void process(const BiquadCoefficients& k, float* data, uint32_t frames) {
        double s1 = z1, s2 = z2;
        for (uint32_t i = 0; i < frames; ++i) {
            const double x = data[i];
            const double y = k.b0 * x + s1;
            s1 = k.b1 * x - k.a1 * y + s2;
            s2 = k.b2 * x - k.a2 * y;
            data[i] = float(y);
        }
        z1 = flush(s1);
        z2 = flush(s2);
    }
    // Two channels at once: their recursions are independent, so the
    // processor can overlap them.
    static void processPair(const BiquadCoefficients& k, BiquadState& sa, BiquadState& sb, float* a,
                            float* b, uint32_t frames) {
        double a1 = sa.z1, a2 = sa.z2, b1 = sb.z1, b2 = sb.z2;
        for (uint32_t i = 0; i < frames; ++i) {
            const double xa = a[i], xb = b[i];
            const double ya = k.b0 * xa + a1, yb = k.b0 * xb + b1;
            a1 = k.b1 * xa - k.a1 * ya + a2;
            b1 = k.b1 * xb - k.a1 * yb + b2;
            a2 = k.b2 * xa - k.a2 * ya;
            b2 = k.b2 * xb - k.a2 * yb;
            a[i] = float(ya);
            b[i] = float(yb);
        }
        sa.z1 = flush(a1);
        sa.z2 = flush(a2);
        sb.z1 = flush(b1);
        sb.z2 = flush(b2);
    }
    double tick(const BiquadCoefficients& k, double x) {
        const double y = k.b0 * x + z1;
        z1 = k.b1 * x - k.a1 * y + z2;
        z2 = k.b2 * x - k.a2 * y;
        return y;
    }
};

// Two doubles side by side: both channels of a pair go through one
// recursion, one lane each, with the same arithmetic as the scalar code.
using Double2 = double __attribute__((vector_size(16)));

// Coefficients and memory of one biquad for a pair of channels.
struct BiquadPairCoefficients {
    Double2 b0, b1, b2, a1, a2;
    explicit BiquadPairCoefficients(const BiquadCoefficients& k)
        : b0{k.b0, k.b0}, b1{k.b1, k.b1}, b2{k.b2, k.b2}, a1{k.a1, k.a1}, a2{k.a2, k.a2} {}
};
struct BiquadPairState {
    Double2 z1, z2;
    BiquadPairState() = default;
    BiquadPairState(const BiquadState& a, const BiquadState& b) : z1{a.z1, b.z1}, z2{a.z2, b.z2} {}
    void store(BiquadState& a, BiquadState& b) const {
        a = {flush(z1[0]), flush(z2[0])};
        b = {flush(z1[1]), flush(z2[1])};
    }
    Double2 tick(const BiquadPairCoefficients& k, Double2 x) {
        const Double2 y = k.b0 * x + z1;
        z1 = k.b1 * x - k.a1 * y + z2;
        z2 = k.b2 * x - k.a2 * y;
        return y;
    }
};

// `N` cascaded stages over a slice of two channels, sample by sample, the
// state of every stage held in registers for the whole slice. `sa`/`sb` are
// the states of the stages for channel a and b.
template <int N>
inline void cascadePair(const BiquadCoefficients* const* k, BiquadState* const* sa, BiquadState* const* sb,
                        float* a, float* b, uint32_t frames) {
    Double2 b0[N], b1[N], b2[N], a1[N], a2[N], z1[N], z2[N];
    for (int j = 0; j < N; ++j) {
        b0[j] = Double2{k[j]->b0, k[j]->b0};
        b1[j] = Double2{k[j]->b1, k[j]->b1};
        b2[j] = Double2{k[j]->b2, k[j]->b2};
        a1[j] = Double2{k[j]->a1, k[j]->a1};
        a2[j] = Double2{k[j]->a2, k[j]->a2};
        z1[j] = Double2{sa[j]->z1, sb[j]->z1};
        z2[j] = Double2{sa[j]->z2, sb[j]->z2};
    }
    for (uint32_t i = 0; i < frames; ++i) {
        Double2 x = {double(a[i]), double(b[i])};
#pragma GCC unroll 8
        for (int j = 0; j < N; ++j) {
            const Double2 y = b0[j] * x + z1[j];
            z1[j] = b1[j] * x - a1[j] * y + z2[j];
            z2[j] = b2[j] * x - a2[j] * y;
            x = y;
        }
        a[i] = float(x[0]);
        b[i] = float(x[1]);
    }
    for (int j = 0; j < N; ++j) {
        sa[j]->z1 = flush(z1[j][0]);
        sb[j]->z1 = flush(z1[j][1]);
        sa[j]->z2 = flush(z2[j][0]);
        sb[j]->z2 = flush(z2[j][1]);
    }
}

// The same for a single channel.
template <int N>
inline void cascade(const BiquadCoefficients* const* k, BiquadState* const* st, float* a, uint32_t frames) {
    double b0[N], b1[N], b2[N], a1[N], a2[N], z1[N], z2[N];
    for (int j = 0; j < N; ++j) {
        b0[j] = k[j]->b0;
        b1[j] = k[j]->b1;
        b2[j] = k[j]->b2;
        a1[j] = k[j]->a1;
        a2[j] = k[j]->a2;
        z1[j] = st[j]->z1;
        z2[j] = st[j]->z2;
    }
    for (uint32_t i = 0; i < frames; ++i) {
        double x = a[i];
#pragma GCC unroll 8
        for (int j = 0; j < N; ++j) {
            const double y = b0[j] * x + z1[j];
            z1[j] = b1[j] * x - a1[j] * y + z2[j];
            z2[j] = b2[j] * x - a2[j] * y;
            x = y;
        }
        a[i] = float(x);
    }
    for (int j = 0; j < N; ++j) {
        st[j]->z1 = flush(z1[j]);
        st[j]->z2 = flush(z2[j]);
    }
}

// Quality factor of a resonance given in dB above the flat response: 0 dB
// is the Butterworth response (-3 dB at the cutoff).
inline double qForResonance(double resonanceDb) { return std::numbers::sqrt2 / 2 * dbToGain(resonanceDb); }

// One-pole smoothing coefficient for a time constant in seconds.
inline double onePoleCoefficient(double seconds, double sr) {
    return seconds <= 0 ? 0.0 : std::exp(-1.0 / (seconds * sr));
}

}  // namespace units::dsp
