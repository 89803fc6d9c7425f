#include "platform/units/FilterUnits.h"

#include <QString>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace units {

using dsp::BiquadCoefficients;

namespace {
ComponentDescription builtIn(const char (&subtype)[5], FourCC type = componenttype::Effect) {
    return {type, fourCC(subtype), kBuiltInManufacturer, 0, 0};
}
ParameterInfo info(const char* name, ParameterUnit unit, float min, float max, float def) {
    return {QString::fromUtf8(name), unit, min, max, def, ParameterInfo::Readable | ParameterInfo::Writable};
}
}  // namespace

// ---------------------------------------------------------------- base

namespace {

#if defined(__x86_64__)
// The cascade of a stereo pair with fused multiply-adds, for processors that
// have them: half the arithmetic of the plain version and a shorter
// recursion, the same filter up to rounding.
template <int N>
__attribute__((target("fma"))) void cascadePairFused(const BiquadCoefficients* const* k,
                                                     dsp::BiquadState* const* sa, dsp::BiquadState* const* sb,
                                                     float* a, float* b, uint32_t frames) {
    __m128d b0[N], b1[N], b2[N], a1[N], a2[N], z1[N], z2[N];
    for (int j = 0; j < N; ++j) {
        b0[j] = _mm_set1_pd(k[j]->b0);
        b1[j] = _mm_set1_pd(k[j]->b1);
        b2[j] = _mm_set1_pd(k[j]->b2);
        a1[j] = _mm_set1_pd(k[j]->a1);
        a2[j] = _mm_set1_pd(k[j]->a2);
        z1[j] = _mm_set_pd(sb[j]->z1, sa[j]->z1);
        z2[j] = _mm_set_pd(sb[j]->z2, sa[j]->z2);
    }
    for (uint32_t i = 0; i < frames; ++i) {
        __m128d x = _mm_set_pd(double(b[i]), double(a[i]));
#pragma GCC unroll 8
        for (int j = 0; j < N; ++j) {
            const __m128d y = _mm_fmadd_pd(b0[j], x, z1[j]);
            z1[j] = _mm_fnmadd_pd(a1[j], y, _mm_fmadd_pd(b1[j], x, z2[j]));
            z2[j] = _mm_fnmadd_pd(a2[j], y, _mm_mul_pd(b2[j], x));
            x = y;
        }
        a[i] = float(_mm_cvtsd_f64(x));
        b[i] = float(_mm_cvtsd_f64(_mm_unpackhi_pd(x, x)));
    }
    for (int j = 0; j < N; ++j) {
        alignas(16) double s1[2], s2[2];
        _mm_store_pd(s1, z1[j]);
        _mm_store_pd(s2, z2[j]);
        *sa[j] = {dsp::flush(s1[0]), dsp::flush(s2[0])};
        *sb[j] = {dsp::flush(s1[1]), dsp::flush(s2[1])};
    }
}

// A stereo cascade of up to 2M stages on processors with AVX2, as a
// pipeline: vector p holds stages 2p and 2p + 1 of both channels, and each
// stage works one frame behind the one before it, so that within a step
// every vector takes the output of the step before and the M recursions
// run side by side instead of one after another. A missing last stage is an
// identity (b0 = 1), which passes its input through exactly. Each stage does
// the arithmetic of cascadePairFused, frame for frame.
template <int M>
struct PairPipeline {
    static constexpr uint32_t kLast = 2 * M - 1;  // the lag of the last stage
    __m256d b0[M], b1[M], b2[M], a1[M], a2[M], z1[M], z2[M], y[M];

    // One step: frame i into the first stage, frame i - kLast out of the
    // last. On the first and last kLast steps some stages have no frame to
    // work on: their state stays as it is.
    template <bool Edge>
    __attribute__((target("avx2,fma"), always_inline)) inline void step(uint32_t i, float* a, float* b,
                                                                         uint32_t frames) {
        __m128d in = _mm_setzero_pd();
        if (!Edge || i < frames) in = _mm_cvtps_pd(_mm_setr_ps(a[i], b[i], 0, 0));
        __m256d x[M];
        x[0] = _mm256_permute2f128_pd(_mm256_castpd128_pd256(in), y[0], 0x20);
#pragma GCC unroll 8
        for (int p = 1; p < M; ++p) x[p] = _mm256_permute2f128_pd(y[p - 1], y[p], 0x21);
#pragma GCC unroll 8
        for (int p = 0; p < M; ++p) {
            const __m256d out = _mm256_fmadd_pd(b0[p], x[p], z1[p]);
            __m256d n1 = _mm256_fnmadd_pd(a1[p], out, _mm256_fmadd_pd(b1[p], x[p], z2[p]));
            __m256d n2 = _mm256_fnmadd_pd(a2[p], out, _mm256_mul_pd(b2[p], x[p]));
            if (Edge) {
                const bool lo = i >= uint32_t(2 * p) && i - 2 * p < frames;
                const bool hi = i >= uint32_t(2 * p + 1) && i - (2 * p + 1) < frames;
                const __m256d keep =
                    _mm256_castsi256_pd(_mm256_setr_epi64x(lo ? 0 : -1, lo ? 0 : -1, hi ? 0 : -1, hi ? 0 : -1));
                n1 = _mm256_blendv_pd(n1, z1[p], keep);
                n2 = _mm256_blendv_pd(n2, z2[p], keep);
            }
            z1[p] = n1;
            z2[p] = n2;
            y[p] = out;
        }
        if (!Edge || (i >= kLast && i - kLast < frames)) {
            const __m128 o = _mm_cvtpd_ps(_mm256_extractf128_pd(y[M - 1], 1));
            a[i - kLast] = _mm_cvtss_f32(o);
            b[i - kLast] = _mm_cvtss_f32(_mm_movehdup_ps(o));
        }
    }
};

template <int M>
__attribute__((target("avx2,fma"))) void cascadePairPipelined(const BiquadCoefficients* const* k, int count,
                                                              dsp::BiquadState* const* sa,
                                                              dsp::BiquadState* const* sb, float* a, float* b,
                                                              uint32_t frames) {
    PairPipeline<M> pipe;
    const BiquadCoefficients identity;
    dsp::BiquadState none;
    for (int p = 0; p < M; ++p) {
        const bool hasHi = 2 * p + 1 < count;
        const BiquadCoefficients& lo = *k[2 * p];
        const BiquadCoefficients& hi = hasHi ? *k[2 * p + 1] : identity;
        const dsp::BiquadState& hiA = hasHi ? *sa[2 * p + 1] : none;
        const dsp::BiquadState& hiB = hasHi ? *sb[2 * p + 1] : none;
        pipe.b0[p] = _mm256_setr_pd(lo.b0, lo.b0, hi.b0, hi.b0);
        pipe.b1[p] = _mm256_setr_pd(lo.b1, lo.b1, hi.b1, hi.b1);
        pipe.b2[p] = _mm256_setr_pd(lo.b2, lo.b2, hi.b2, hi.b2);
        pipe.a1[p] = _mm256_setr_pd(lo.a1, lo.a1, hi.a1, hi.a1);
        pipe.a2[p] = _mm256_setr_pd(lo.a2, lo.a2, hi.a2, hi.a2);
        pipe.z1[p] = _mm256_setr_pd(sa[2 * p]->z1, sb[2 * p]->z1, hiA.z1, hiB.z1);
        pipe.z2[p] = _mm256_setr_pd(sa[2 * p]->z2, sb[2 * p]->z2, hiA.z2, hiB.z2);
        pipe.y[p] = _mm256_setzero_pd();
    }
    constexpr uint32_t kLast = PairPipeline<M>::kLast;
    const uint32_t steps = frames + kLast;
    const uint32_t fullFrom = std::min(kLast, frames), fullTo = std::max(fullFrom, frames);
    uint32_t i = 0;
    for (; i < fullFrom; ++i) pipe.template step<true>(i, a, b, frames);
    for (; i < fullTo; ++i) pipe.template step<false>(i, a, b, frames);
    for (; i < steps; ++i) pipe.template step<true>(i, a, b, frames);
    for (int p = 0; p < M; ++p) {
        alignas(32) double s1[4], s2[4];
        _mm256_store_pd(s1, pipe.z1[p]);
        _mm256_store_pd(s2, pipe.z2[p]);
        *sa[2 * p] = {dsp::flush(s1[0]), dsp::flush(s2[0])};
        *sb[2 * p] = {dsp::flush(s1[1]), dsp::flush(s2[1])};
        if (2 * p + 1 < count) {
            *sa[2 * p + 1] = {dsp::flush(s1[2]), dsp::flush(s2[2])};
            *sb[2 * p + 1] = {dsp::flush(s1[3]), dsp::flush(s2[3])};
        }
    }
}
// Frame i of channels a and b as two doubles, and back.
__attribute__((target("avx2,fma"), always_inline)) inline __m128d loadPair(const float* a, const float* b, uint32_t i) {
    return _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(a + i), _mm_load_ss(b + i)));
}
__attribute__((target("avx2,fma"), always_inline)) inline void storePair(float* a, float* b, uint32_t i, __m128d y) {
    const __m128 f = _mm_cvtpd_ps(y);
    _mm_store_ss(a + i, f);
    _mm_store_ss(b + i, _mm_movehdup_ps(f));
}
// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a2 y[n-2] - a1 y[n-1], keeping
// the last two inputs and outputs.
struct DirectForm {
    __m128d b0, b1, b2, a1, a2, xm1, xm2, ym1, ym2;
    __attribute__((target("avx2,fma"), always_inline)) inline __m128d frame(__m128d x) {
        const __m128d t = _mm_fnmadd_pd(a2, ym2, _mm_fmadd_pd(b2, xm2, _mm_fmadd_pd(b1, xm1, _mm_mul_pd(b0, x))));
        const __m128d y = _mm_fnmadd_pd(a1, ym1, t);
        xm2 = xm1;
        xm1 = x;
        ym2 = ym1;
        ym1 = y;
        return y;
    }
};

// One stage over a stereo pair in direct form I, where each frame's
// recursion waits on one fused multiply-add instead of the transposed
// form's two: the same filter, to rounding. It keeps the transposed form's
// memory (z1, z2) between slices: the first two frames run in that form,
// and the last two frames' inputs and outputs give the memory back.
__attribute__((target("avx2,fma"))) void stagePairDirect(const BiquadCoefficients* const* k, int,
                                                         dsp::BiquadState* const* sa, dsp::BiquadState* const* sb,
                                                         float* a, float* b, uint32_t frames) {
    if (frames < 6) return cascadePairFused<1>(k, sa, sb, a, b, frames);
    const BiquadCoefficients& c = *k[0];
    const __m128d b0 = _mm_set1_pd(c.b0), b1 = _mm_set1_pd(c.b1), b2 = _mm_set1_pd(c.b2);
    const __m128d a1 = _mm_set1_pd(c.a1), a2 = _mm_set1_pd(c.a2);
    // The first two frames in the transposed form.
    __m128d z1 = _mm_setr_pd(sa[0]->z1, sb[0]->z1), z2 = _mm_setr_pd(sa[0]->z2, sb[0]->z2);
    const __m128d x0 = loadPair(a, b, 0);
    const __m128d y0 = _mm_fmadd_pd(b0, x0, z1);
    z1 = _mm_fnmadd_pd(a1, y0, _mm_fmadd_pd(b1, x0, z2));
    const __m128d x1 = loadPair(a, b, 1);
    const __m128d y1 = _mm_fmadd_pd(b0, x1, z1);
    storePair(a, b, 0, y0);
    storePair(a, b, 1, y1);
    // Then the direct form.
    DirectForm df{b0, b1, b2, a1, a2, x1, x0, y1, y0};
    uint32_t i = 2;
    // Four frames at a time: both channels' samples paired in two shuffles.
    for (; i + 4 <= frames; i += 4) {
        const __m128 fa = _mm_loadu_ps(a + i), fb = _mm_loadu_ps(b + i);
        const __m128 lo = _mm_unpacklo_ps(fa, fb), hi = _mm_unpackhi_ps(fa, fb);  // a0 b0 a1 b1, a2 b2 a3 b3
        const __m128d y0 = df.frame(_mm_cvtps_pd(lo));
        const __m128d y1 = df.frame(_mm_cvtps_pd(_mm_movehl_ps(lo, lo)));
        const __m128d y2 = df.frame(_mm_cvtps_pd(hi));
        const __m128d y3 = df.frame(_mm_cvtps_pd(_mm_movehl_ps(hi, hi)));
        const __m128 p01 = _mm_movelh_ps(_mm_cvtpd_ps(y0), _mm_cvtpd_ps(y1));  // a0 b0 a1 b1
        const __m128 p23 = _mm_movelh_ps(_mm_cvtpd_ps(y2), _mm_cvtpd_ps(y3));
        _mm_storeu_ps(a + i, _mm_shuffle_ps(p01, p23, 0x88));
        _mm_storeu_ps(b + i, _mm_shuffle_ps(p01, p23, 0xDD));
    }
    for (; i < frames; ++i) storePair(a, b, i, df.frame(loadPair(a, b, i)));
    // The transposed form's memory after the last frame n:
    // z2[n-1] = b2 x[n-1] - a2 y[n-1], z1 = b1 x[n] - a1 y[n] + z2[n-1],
    // z2 = b2 x[n] - a2 y[n].
    const __m128d z2before = _mm_fnmadd_pd(a2, df.ym2, _mm_mul_pd(b2, df.xm2));
    z1 = _mm_fnmadd_pd(a1, df.ym1, _mm_fmadd_pd(b1, df.xm1, z2before));
    z2 = _mm_fnmadd_pd(a2, df.ym1, _mm_mul_pd(b2, df.xm1));
    alignas(16) double s1[2], s2[2];
    _mm_store_pd(s1, z1);
    _mm_store_pd(s2, z2);
    *sa[0] = {dsp::flush(s1[0]), dsp::flush(s2[0])};
    *sb[0] = {dsp::flush(s1[1]), dsp::flush(s2[1])};
}
#endif

// The stereo cascades for this processor: run[n] takes n stages at once.
struct PairCascades {
    using Run = void (*)(const BiquadCoefficients* const*, int, dsp::BiquadState* const*, dsp::BiquadState* const*,
                         float*, float*, uint32_t);
    static constexpr int kMaxGroup = 10;
    int group = 4;
    Run run[kMaxGroup + 1] = {};
    template <int N>
    static void portable(const BiquadCoefficients* const* k, int, dsp::BiquadState* const* sa,
                         dsp::BiquadState* const* sb, float* a, float* b, uint32_t frames) {
        dsp::cascadePair<N>(k, sa, sb, a, b, frames);
    }
#if defined(__x86_64__)
    template <int N>
    static void fused(const BiquadCoefficients* const* k, int, dsp::BiquadState* const* sa,
                      dsp::BiquadState* const* sb, float* a, float* b, uint32_t frames) {
        cascadePairFused<N>(k, sa, sb, a, b, frames);
    }
#endif
    explicit PairCascades(bool wide) {
        run[1] = portable<1>, run[2] = portable<2>, run[3] = portable<3>, run[4] = portable<4>;
#if defined(__x86_64__)
        __builtin_cpu_init();  // may run before the runtime's own initialisation
        if (wide && dsp::kHasWideVectors) {
            group = kMaxGroup;
            run[1] = stagePairDirect;
            run[2] = cascadePairPipelined<1>;
            run[3] = run[4] = cascadePairPipelined<2>;
            run[5] = run[6] = cascadePairPipelined<3>;
            run[7] = run[8] = cascadePairPipelined<4>;
            run[9] = run[10] = cascadePairPipelined<5>;
        } else if (__builtin_cpu_supports("fma")) {
            run[1] = fused<1>, run[2] = fused<2>, run[3] = fused<3>, run[4] = fused<4>;
        }
#endif
    }
};
// The wide kernels, and the cascades for when they are off.
const PairCascades kWideCascades(true), kNarrowCascades(false);

}  // namespace

Status BiquadUnit::doInitialize() {
    state_.assign(size_t(outputChannelCount()) * kMaxStages, {});
    dirty_.store(true);
    return Status::Ok;
}

void BiquadUnit::doReset() {
    for (auto& s : state_) s.clear();
}

void BiquadUnit::process(float* const* ch, uint32_t channelCount, uint32_t frames) {
    if (dirty_.exchange(false, std::memory_order_acq_rel)) {
        int n = 0;
        gain_ = design(stages_, n);
        std::fill(stages_.begin() + n, stages_.end(), dsp::BiquadCoefficients{});
        stageCount_ = n;
        // An identity stage (a band at 0 dB, or one beyond the bands in use)
        // passes the signal through untouched, so it is skipped; its memory
        // is cleared so that when it works again it starts afresh rather
        // than from what it held when it stopped, which would click.
        for (int s = 0; s < kMaxStages; ++s)
            if (stages_[s].isIdentity())
                for (uint32_t c = 0; c < outputChannelCount(); ++c) state_[size_t(c) * kMaxStages + s].clear();
    }
    // The stages in use, in groups: each group runs over the whole slice
    // sample by sample with its state in registers, both channels of a pair
    // in one vector.
    constexpr int kGroup = 4;
    const dsp::BiquadCoefficients* active[kMaxStages];
    int stageIndex[kMaxStages];
    int count = 0;
    for (int s = 0; s < stageCount_; ++s)
        if (!stages_[s].isIdentity()) {
            active[count] = &stages_[s];
            stageIndex[count++] = s;
        }
    const PairCascades& cascades = dsp::useWideKernels() ? kWideCascades : kNarrowCascades;
    uint32_t c = 0;
    for (; c + 1 < channelCount; c += 2) {
        dsp::BiquadState* sa[kMaxStages];
        dsp::BiquadState* sb[kMaxStages];
        for (int k = 0; k < count; ++k) {
            sa[k] = &state_[size_t(c) * kMaxStages + stageIndex[k]];
            sb[k] = &state_[size_t(c + 1) * kMaxStages + stageIndex[k]];
        }
        for (int k = 0; k < count; k += cascades.group) {
            const int n = std::min(cascades.group, count - k);
            cascades.run[n](active + k, n, sa + k, sb + k, ch[c], ch[c + 1], frames);
        }
    }
    for (; c < channelCount; ++c) {
        dsp::BiquadState* st[kMaxStages];
        for (int k = 0; k < count; ++k) st[k] = &state_[size_t(c) * kMaxStages + stageIndex[k]];
        for (int k = 0; k < count; k += kGroup) {
            switch (std::min(kGroup, count - k)) {
            case 1: dsp::cascade<1>(active + k, st + k, ch[c], frames); break;
            case 2: dsp::cascade<2>(active + k, st + k, ch[c], frames); break;
            case 3: dsp::cascade<3>(active + k, st + k, ch[c], frames); break;
            default: dsp::cascade<4>(active + k, st + k, ch[c], frames); break;
            }
        }
    }
    for (c = 0; c < channelCount; ++c) {
        if (gain_ != 1.0) {
            const float g = float(gain_);
            for (uint32_t i = 0; i < frames; ++i) ch[c][i] *= g;
        }
    }
}

// ---------------------------------------------------------------- low-pass, high-pass

LowPassUnit::LowPassUnit() : BiquadUnit(builtIn("lpas"), QStringLiteral("Lowpass Filter")) {
    addParameter(0, info("Cutoff Frequency", ParameterUnit::Hertz, 10, 22050, 6900));
    addParameter(1, info("Resonance", ParameterUnit::Decibels, -20, 40, 0));
}

double LowPassUnit::design(std::array<BiquadCoefficients, kMaxStages>& s, int& n) {
    s[0] = BiquadCoefficients::lowPass(value(0), dsp::qForResonance(value(1)), sampleRate());
    n = 1;
    return 1.0;
}

HighPassUnit::HighPassUnit() : BiquadUnit(builtIn("hpas"), QStringLiteral("Highpass Filter")) {
    addParameter(0, info("Cutoff Frequency", ParameterUnit::Hertz, 10, 22050, 6900));
    addParameter(1, info("Resonance", ParameterUnit::Decibels, -20, 40, 0));
}

double HighPassUnit::design(std::array<BiquadCoefficients, kMaxStages>& s, int& n) {
    s[0] = BiquadCoefficients::highPass(value(0), dsp::qForResonance(value(1)), sampleRate());
    n = 1;
    return 1.0;
}

// ---------------------------------------------------------------- band-pass, low shelf

BandPassUnit::BandPassUnit() : BiquadUnit(builtIn("bpas"), QStringLiteral("Bandpass Filter")) {
    addParameter(0, info("Center Frequency", ParameterUnit::Hertz, 20, 22050, 5000));
    addParameter(1, info("Bandwidth", ParameterUnit::Cents, 100, 12000, 600));
}

double BandPassUnit::design(std::array<BiquadCoefficients, kMaxStages>& s, int& n) {
    s[0] = BiquadCoefficients::bandPass(value(0), value(1) / 1200.0, sampleRate());
    n = 1;
    return 1.0;
}

LowShelfUnit::LowShelfUnit() : BiquadUnit(builtIn("lshf"), QStringLiteral("Low Shelf Filter")) {
    addParameter(0, info("Cutoff Frequency", ParameterUnit::Hertz, 10, 200, 80));
    addParameter(1, info("Gain", ParameterUnit::Decibels, -40, 40, 0));
}

double LowShelfUnit::design(std::array<BiquadCoefficients, kMaxStages>& s, int& n) {
    s[0] = BiquadCoefficients::lowShelf(value(0), value(1), sampleRate());
    n = 1;
    return 1.0;
}

// ---------------------------------------------------------------- filter

AudioFilterUnit::AudioFilterUnit() : BiquadUnit(builtIn("filt"), QStringLiteral("Audio Filter")) {
    addParameter(0, info("Low-pass Cutoff", ParameterUnit::Hertz, 10, 22050, 22050));
    addParameter(1, info("Low-pass Resonance", ParameterUnit::Decibels, -20, 40, 0));
    addParameter(2, info("High-pass Cutoff", ParameterUnit::Hertz, 10, 22050, 10));
    addParameter(3, info("High-pass Resonance", ParameterUnit::Decibels, -20, 40, 0));
    addParameter(4, info("Peak Frequency", ParameterUnit::Hertz, 20, 20000, 1000));
    addParameter(5, info("Peak Gain", ParameterUnit::Decibels, -24, 24, 0));
    addParameter(6, info("Peak Bandwidth", ParameterUnit::Octaves, 0.05f, 5, 1));
}

double AudioFilterUnit::design(std::array<BiquadCoefficients, kMaxStages>& s, int& n) {
    const double sr = sampleRate();
    n = 3;
    s[0] = value(2) > 10.0f ? BiquadCoefficients::highPass(value(2), dsp::qForResonance(value(3)), sr)
                            : BiquadCoefficients{};
    s[1] = BiquadCoefficients::peaking(value(4), value(6), value(5), sr);
    s[2] = value(0) < 22050.0f ? BiquadCoefficients::lowPass(value(0), dsp::qForResonance(value(1)), sr)
                               : BiquadCoefficients{};
    return 1.0;
}

// ---------------------------------------------------------------- N-band equaliser

namespace {
constexpr double kTenBands[10] = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
}

NBandEQUnit::NBandEQUnit() : BiquadUnit(builtIn("nbeq"), QStringLiteral("N-Band EQ")) {
    addParameter(0, info("Global Gain", ParameterUnit::Decibels, -96, 24, 0));
    const QStringList types = {"Parametric",       "Butterworth Low-pass", "Butterworth High-pass",
                               "Resonant Low-pass", "Resonant High-pass",  "Band-pass",
                               "Band-stop",        "Low Shelf",            "High Shelf",
                               "Resonant Low Shelf", "Resonant High Shelf"};
    for (uint32_t b = 0; b < kMaxBands; ++b) {
        const QString band = QStringLiteral(" %1").arg(b + 1);
        const float freq = b < 10 ? float(kTenBands[b]) : 1000.0f;
        addParameter(kBypassBand + b, {"Bypass Band" + band, ParameterUnit::Boolean, 0, 1, 1});
        addParameter(kFilterType + b, {"Filter Type" + band, ParameterUnit::Indexed, 0, 10, 0}, types);
        addParameter(kFrequency + b, {"Frequency" + band, ParameterUnit::Hertz, 20, 22050, freq});
        addParameter(kGain + b, {"Gain" + band, ParameterUnit::Decibels, -96, 24, 0});
        addParameter(kBandwidth + b, {"Bandwidth" + band, ParameterUnit::Octaves, 0.05f, 5, 1});
    }
    // List the parameters in band order, and only those of the bands in use.
    for (uint32_t kind = 1000; kind <= 5000; kind += 1000)
        setParametersListed(kind + kDefaultBands, kind + kMaxBands - 1, false);
}

Status NBandEQUnit::doSetNumberOfBands(uint32_t bands) {
    if (bands < 1 || bands > kMaxBands) return Status::InvalidPropertyValue;
    bands_.store(bands);
    for (uint32_t kind = 1000; kind <= 5000; kind += 1000) {
        setParametersListed(kind, kind + bands - 1, true);
        if (bands < kMaxBands) setParametersListed(kind + bands, kind + kMaxBands - 1, false);
    }
    parameterChanged(0, 0);
    return Status::Ok;
}

double NBandEQUnit::design(std::array<BiquadCoefficients, kMaxStages>& s, int& n) {
    const double sr = sampleRate();
    const uint32_t bands = bands_.load();
    n = int(bands);
    for (uint32_t b = 0; b < bands; ++b) {
        s[b] = {};
        if (value(1000 + b) >= 0.5f) continue;
        const double f = value(3000 + b), g = value(4000 + b), bw = value(5000 + b);
        const double q = 1.0 / bw;
        switch (int(value(2000 + b) + 0.5f)) {
        case Parametric: s[b] = BiquadCoefficients::peaking(f, bw, g, sr); break;
        case ButterworthLowPass: s[b] = BiquadCoefficients::lowPass(f, std::numbers::sqrt2 / 2, sr); break;
        case ButterworthHighPass: s[b] = BiquadCoefficients::highPass(f, std::numbers::sqrt2 / 2, sr); break;
        case ResonantLowPass: s[b] = BiquadCoefficients::lowPass(f, q, sr); break;
        case ResonantHighPass: s[b] = BiquadCoefficients::highPass(f, q, sr); break;
        case BandPass: s[b] = BiquadCoefficients::bandPass(f, bw, sr); break;
        case BandStop: s[b] = BiquadCoefficients::bandStop(f, bw, sr); break;
        case LowShelf: s[b] = BiquadCoefficients::lowShelf(f, g, sr); break;
        case HighShelf: s[b] = BiquadCoefficients::highShelf(f, g, sr); break;
        case ResonantLowShelf: s[b] = BiquadCoefficients::lowShelf(f, g, sr, 1.0, q); break;
        case ResonantHighShelf: s[b] = BiquadCoefficients::highShelf(f, g, sr, 1.0, q); break;
        }
    }
    return dsp::dbToGain(value(0));
}

// ---------------------------------------------------------------- graphic equaliser

const std::array<double, 10>& GraphicEQUnit::tenBandFrequencies() {
    static const std::array<double, 10> f = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
    return f;
}

const std::array<double, 31>& GraphicEQUnit::thirtyOneBandFrequencies() {
    static const std::array<double, 31> f = {
        20,   25,   31.5, 40,   50,   63,   80,   100,  125,   160,   200,
        250,  315,  400,  500,  630,  800,  1000, 1250, 1600,  2000,  2500,
        3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
    return f;
}

GraphicEQUnit::GraphicEQUnit() : BiquadUnit(builtIn("greq"), QStringLiteral("Graphic EQ")) {
    // The band count comes first in the list, so that restoring a list of
    // values in order sets the layout before the bands.
    addParameter(kNumberOfBands, {"Number of Bands", ParameterUnit::Indexed, 0, 1, 0},
                 {"10 Band", "31 Band"});
    for (uint32_t b = 0; b < 31; ++b)
        addParameter(b, {QStringLiteral("Band %1").arg(b + 1), ParameterUnit::Decibels, -20, 20, 0});
    setParametersListed(10, 30, false);
}

void GraphicEQUnit::parameterChanged(ParameterID id, float v) {
    if (id == kNumberOfBands) setParametersListed(10, 30, v >= 0.5f);
    BiquadUnit::parameterChanged(id, v);
}

double GraphicEQUnit::design(std::array<BiquadCoefficients, kMaxStages>& s, int& n) {
    const double sr = sampleRate();
    const bool many = value(kNumberOfBands) >= 0.5f;
    n = many ? 31 : 10;
    for (int b = 0; b < n; ++b) {
        const double f = many ? thirtyOneBandFrequencies()[b] : tenBandFrequencies()[b];
        s[b] = f < 0.45 * sr ? BiquadCoefficients::peaking(f, many ? 1.0 / 3.0 : 1.0, value(b), sr)
                             : BiquadCoefficients{};
    }
    return 1.0;
}

}  // namespace units
