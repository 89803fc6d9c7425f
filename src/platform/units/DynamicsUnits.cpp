#include "platform/units/DynamicsUnits.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace units {

namespace {
ParameterInfo info(const QString& name, ParameterUnit unit, float min, float max, float def) {
    return {name, unit, min, max, def, ParameterInfo::Readable | ParameterInfo::Writable};
}
constexpr uint32_t kBlock = 16;  // gains are computed per block of frames and ramped between

// Static gain change in dB for a level, threshold, ratio and knee width.
double compression(double levelDb, double threshold, double ratio, double knee) {
    const double over = levelDb - threshold;
    const double slope = 1.0 / ratio - 1.0;
    if (knee > 0 && std::fabs(over) <= knee / 2) return slope * (over + knee / 2) * (over + knee / 2) / (2 * knee);
    return over > knee / 2 ? slope * over : 0.0;
}

// Applies a gain ramping from `from` to `to` over the frames (at most
// kBlock): the gains are worked out once, then every channel is scaled.
void applyRamp(float* const* ch, uint32_t n, uint32_t offset, uint32_t frames, double from, double to) {
    const double step = (to - from) / frames;
    double gains[kBlock];
    double g = from;
    for (uint32_t i = 0; i < frames; ++i) gains[i] = g += step;
    for (uint32_t c = 0; c < n; ++c) {
        float* x = ch[c] + offset;
        for (uint32_t i = 0; i < frames; ++i) x[i] = float(x[i] * gains[i]);
    }
}
#if defined(__x86_64__)
// The follower over frames [start, start + len) without a branch: whether
// the attack or the release applies changes at random on a noisy signal,
// and a mispredicted branch costs more than the frame's arithmetic. The
// arithmetic is Compressor::follow's. Returns the envelope.
__attribute__((target("avx2,fma"))) double followWide(const Compressor& comp, const float* const* ch, uint32_t n,
                                                      uint32_t start, uint32_t len) {
    const __m128d attack = _mm_set_sd(comp.attack), release = _mm_set_sd(comp.release);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128d envelope = _mm_set_sd(comp.envelope);
    for (uint32_t i = start; i < start + len; ++i) {
        __m128 peak = _mm_setzero_ps();
        for (uint32_t c = 0; c < n; ++c) peak = _mm_max_ss(_mm_and_ps(_mm_load_ss(ch[c] + i), magnitude), peak);
        const __m128d p = _mm_cvtss_sd(_mm_setzero_pd(), peak);
        const __m128d rate = _mm_blendv_pd(release, attack, _mm_cmpgt_sd(p, envelope));
        envelope = _mm_add_sd(p, _mm_mul_sd(_mm_sub_sd(envelope, p), rate));
    }
    return _mm_cvtsd_f64(envelope);
}
#else
double followWide(const Compressor&, const float* const*, uint32_t, uint32_t, uint32_t) { return 0; }
#endif
}  // namespace

// ---------------------------------------------------------------- dynamics processor

DynamicsProcessorUnit::DynamicsProcessorUnit()
    : EffectUnit({componenttype::Effect, fourCC("dcmp"), kBuiltInManufacturer, 0, 0},
                 QStringLiteral("Dynamics Processor")) {
    addParameter(0, info("Threshold", ParameterUnit::Decibels, -60, 0, -20));
    addParameter(1, info("Ratio", ParameterUnit::Ratio, 1, 50, 4));
    addParameter(2, info("Attack Time", ParameterUnit::Seconds, 0.0001f, 0.2f, 0.001f));
    addParameter(3, info("Release Time", ParameterUnit::Seconds, 0.01f, 3, 0.05f));
    addParameter(4, info("Master Gain", ParameterUnit::Decibels, -40, 40, 0));
    addParameter(5, info("Knee Width", ParameterUnit::Decibels, 0, 24, 0));
    addParameter(6, info("Expansion Ratio", ParameterUnit::Ratio, 1, 50, 1));
    addParameter(7, info("Expansion Threshold", ParameterUnit::Decibels, -120, 0, -100));
}

Status DynamicsProcessorUnit::doInitialize() {
    comp_ = {};
    return Status::Ok;
}

double DynamicsProcessorUnit::gainDbFor(double levelDb) const {
    double g = compression(levelDb, value(0), value(1), value(5));
    const double under = value(7) - levelDb;
    if (under > 0) g -= (value(6) - 1.0) * under;
    return std::max(g, -120.0) + value(4);
}

void DynamicsProcessorUnit::process(float* const* ch, uint32_t n, uint32_t frames) {
    comp_.setTimes(value(2), value(3), sampleRate());
    for (uint32_t start = 0; start < frames; start += kBlock) {
        const uint32_t len = std::min(kBlock, frames - start);
        if (dsp::useWideKernels()) {
            comp_.envelope = followWide(comp_, ch, n, start, len);
        } else {
            for (uint32_t i = start; i < start + len; ++i) {
                float peak = 0;
                for (uint32_t c = 0; c < n; ++c) peak = std::max(peak, std::fabs(ch[c][i]));
                comp_.follow(peak);
            }
        }
        const double target = dsp::dbToGain(gainDbFor(dsp::gainToDb(comp_.envelope)));
        applyRamp(ch, n, start, len, comp_.gain, target);
        comp_.gain = target;
    }
    comp_.envelope = dsp::flush(comp_.envelope);
}

// ---------------------------------------------------------------- multiband compressor

MultibandCompressorUnit::MultibandCompressorUnit()
    : EffectUnit({componenttype::Effect, fourCC("mcmp"), kBuiltInManufacturer, 0, 0},
                 QStringLiteral("Multiband Compressor")) {
    addParameter(0, info("Pre-gain", ParameterUnit::Decibels, -40, 40, 0));
    addParameter(1, info("Post-gain", ParameterUnit::Decibels, -40, 40, 0));
    const float crossovers[3] = {200, 2000, 8000};
    for (int k = 0; k < 3; ++k)
        addParameter(2 + k, info(QStringLiteral("Crossover %1").arg(k + 1), ParameterUnit::Hertz, 20, 20000, crossovers[k]));
    for (int b = 0; b < 4; ++b)
        addParameter(5 + b, info(QStringLiteral("Band %1 Threshold").arg(b + 1), ParameterUnit::Decibels, -60, 0, -20));
    for (int b = 0; b < 4; ++b)
        addParameter(9 + b, info(QStringLiteral("Band %1 Ratio").arg(b + 1), ParameterUnit::Ratio, 1, 50, 2));
    for (int b = 0; b < 4; ++b)
        addParameter(13 + b, info(QStringLiteral("Band %1 Gain").arg(b + 1), ParameterUnit::Decibels, -40, 40, 0));
    addParameter(17, info("Attack Time", ParameterUnit::Seconds, 0.0001f, 0.2f, 0.005f));
    addParameter(18, info("Release Time", ParameterUnit::Seconds, 0.01f, 3, 0.1f));
}

Status MultibandCompressorUnit::doInitialize() {
    state_.assign(outputChannelCount(), {});
    bands_.assign(size_t(4) * std::max(2u, outputChannelCount()) * maximumFramesPerSlice(), 0.0f);
    blockEnvelopes_.assign(size_t(4) * ((maximumFramesPerSlice() + kBlock - 1) / kBlock), 0.0);
    for (auto& c : comp_) c = {};
    dirty_.store(true);
    return Status::Ok;
}

void MultibandCompressorUnit::doReset() {
    for (auto& s : state_) s = {};
    for (auto& c : comp_) c = {};
}

void MultibandCompressorUnit::design() {
    const double sr = sampleRate();
    double f[3] = {value(2), value(3), value(4)};
    std::sort(f, f + 3);
    for (int k = 0; k < 3; ++k) {
        lp_[k] = dsp::BiquadCoefficients::lowPass(f[k], std::numbers::sqrt2 / 2, sr);
        hp_[k] = dsp::BiquadCoefficients::highPass(f[k], std::numbers::sqrt2 / 2, sr);
        ap_[k] = dsp::BiquadCoefficients::allPass(f[k], std::numbers::sqrt2 / 2, sr);
    }
}

void MultibandCompressorUnit::process(float* const* ch, uint32_t n, uint32_t frames) {
    if (dirty_.exchange(false)) design();
    if (dsp::useWideKernels() && n == 2) return processPairWide(ch, frames);
    const size_t stride = maximumFramesPerSlice();
    auto band = [&](int b, uint32_t c) { return bands_.data() + (size_t(b) * outputChannelCount() + c) * stride; };
    const double pre = dsp::dbToGain(value(0));

    // Split every channel into four bands that sum back to an all-pass,
    // sample by sample so that the filters of the tree overlap; two channels
    // at a time in the lanes of one vector.
    uint32_t c = 0;
    if (n >= 2) {
        using dsp::BiquadPairCoefficients;
        using dsp::BiquadPairState;
        using dsp::Double2;
        const BiquadPairCoefficients lp[3] = {BiquadPairCoefficients(lp_[0]), BiquadPairCoefficients(lp_[1]),
                                              BiquadPairCoefficients(lp_[2])};
        const BiquadPairCoefficients hp[3] = {BiquadPairCoefficients(hp_[0]), BiquadPairCoefficients(hp_[1]),
                                              BiquadPairCoefficients(hp_[2])};
        const BiquadPairCoefficients ap1(ap_[1]), ap2(ap_[2]);
        const Double2 preGain = {pre, pre};
        for (; c + 1 < n; c += 2) {
            ChannelState& sa = state_[c];
            ChannelState& sb = state_[c + 1];
            BiquadPairState lps[3][2], hps[3][2];
            for (int k = 0; k < 3; ++k)
                for (int j = 0; j < 2; ++j) {
                    lps[k][j] = BiquadPairState(sa.lp[k][j], sb.lp[k][j]);
                    hps[k][j] = BiquadPairState(sa.hp[k][j], sb.hp[k][j]);
                }
            BiquadPairState ap01(sa.ap[0][1], sb.ap[0][1]), ap02(sa.ap[0][2], sb.ap[0][2]),
                ap12(sa.ap[1][2], sb.ap[1][2]);
            float* out[4][2];
            for (int b = 0; b < 4; ++b) {
                out[b][0] = band(b, c);
                out[b][1] = band(b, c + 1);
            }
            const float* xa = ch[c];
            const float* xb = ch[c + 1];
            for (uint32_t i = 0; i < frames; ++i) {
                const Double2 in = Double2{double(xa[i]), double(xb[i])} * preGain;
                const Double2 low = lps[0][1].tick(lp[0], lps[0][0].tick(lp[0], in));
                const Double2 rest = hps[0][1].tick(hp[0], hps[0][0].tick(hp[0], in));
                const Double2 mid = lps[1][1].tick(lp[1], lps[1][0].tick(lp[1], rest));
                const Double2 rest2 = hps[1][1].tick(hp[1], hps[1][0].tick(hp[1], rest));
                const Double2 v2 = lps[2][1].tick(lp[2], lps[2][0].tick(lp[2], rest2));
                const Double2 v3 = hps[2][1].tick(hp[2], hps[2][0].tick(hp[2], rest2));
                const Double2 v0 = ap02.tick(ap2, ap01.tick(ap1, low));
                const Double2 v1 = ap12.tick(ap2, mid);
                out[0][0][i] = float(v0[0]);
                out[0][1][i] = float(v0[1]);
                out[1][0][i] = float(v1[0]);
                out[1][1][i] = float(v1[1]);
                out[2][0][i] = float(v2[0]);
                out[2][1][i] = float(v2[1]);
                out[3][0][i] = float(v3[0]);
                out[3][1][i] = float(v3[1]);
            }
            for (int k = 0; k < 3; ++k)
                for (int j = 0; j < 2; ++j) {
                    lps[k][j].store(sa.lp[k][j], sb.lp[k][j]);
                    hps[k][j].store(sa.hp[k][j], sb.hp[k][j]);
                }
            ap01.store(sa.ap[0][1], sb.ap[0][1]);
            ap02.store(sa.ap[0][2], sb.ap[0][2]);
            ap12.store(sa.ap[1][2], sb.ap[1][2]);
        }
    }
    for (; c < n; ++c) {
        ChannelState& s = state_[c];
        float* b0 = band(0, c);
        float* b1 = band(1, c);
        float* b2 = band(2, c);
        float* b3 = band(3, c);
        const float* x = ch[c];
        for (uint32_t i = 0; i < frames; ++i) {
            const double in = x[i] * pre;
            const double low = s.lp[0][1].tick(lp_[0], s.lp[0][0].tick(lp_[0], in));
            const double rest = s.hp[0][1].tick(hp_[0], s.hp[0][0].tick(hp_[0], in));
            const double mid = s.lp[1][1].tick(lp_[1], s.lp[1][0].tick(lp_[1], rest));
            const double rest2 = s.hp[1][1].tick(hp_[1], s.hp[1][0].tick(hp_[1], rest));
            b2[i] = float(s.lp[2][1].tick(lp_[2], s.lp[2][0].tick(lp_[2], rest2)));
            b3[i] = float(s.hp[2][1].tick(hp_[2], s.hp[2][0].tick(hp_[2], rest2)));
            b0[i] = float(s.ap[0][2].tick(ap_[2], s.ap[0][1].tick(ap_[1], low)));
            b1[i] = float(s.ap[1][2].tick(ap_[2], mid));
        }
        for (auto* group : {&s.lp[0][0], &s.lp[1][0], &s.lp[2][0], &s.hp[0][0], &s.hp[1][0], &s.hp[2][0]})
            for (int k = 0; k < 2; ++k) group[k] = {dsp::flush(group[k].z1), dsp::flush(group[k].z2)};
        for (auto& row : s.ap)
            for (auto& st : row) st = {dsp::flush(st.z1), dsp::flush(st.z2)};
    }

    // Compress each band (channels linked), then sum. The four envelope
    // followers run side by side, so that their recursions overlap. Above
    // the threshold the gain is makeup + slope * (level - threshold) in dB,
    // that is envelope^slope times a constant; below it, the makeup alone.
    float* bandCh[4][BufferList::kCapacity];
    double slope[4], scale[4], thresholdGain[4], makeupGain[4], envelope[4], attack[4], release[4];
    for (int b = 0; b < 4; ++b) {
        Compressor& comp = comp_[b];
        comp.setTimes(value(17), value(18), sampleRate());
        for (uint32_t c = 0; c < n; ++c) bandCh[b][c] = band(b, c);
        const double threshold = value(5 + b), ratio = value(9 + b), makeup = value(13 + b);
        slope[b] = 1.0 / ratio - 1.0;
        scale[b] = dsp::dbToGain(makeup - slope[b] * threshold);
        thresholdGain[b] = dsp::dbToGain(threshold);
        makeupGain[b] = dsp::dbToGain(makeup);
        envelope[b] = comp.envelope;
        attack[b] = comp.attack;
        release[b] = comp.release;
    }
    for (uint32_t start = 0; start < frames; start += kBlock) {
        const uint32_t len = std::min(kBlock, frames - start);
        auto follow = [&](int b, float peak) {
            const double p = peak;
            envelope[b] = p + (envelope[b] - p) * (p > envelope[b] ? attack[b] : release[b]);
        };
        if (n == 2) {
            for (uint32_t i = start; i < start + len; ++i)
                for (int b = 0; b < 4; ++b)
                    follow(b, std::max(std::max(0.0f, std::fabs(bandCh[b][0][i])), std::fabs(bandCh[b][1][i])));
        } else {
            for (uint32_t i = start; i < start + len; ++i)
                for (int b = 0; b < 4; ++b) {
                    float peak = 0;
                    for (uint32_t c = 0; c < n; ++c) peak = std::max(peak, std::fabs(bandCh[b][c][i]));
                    follow(b, peak);
                }
        }
        for (int b = 0; b < 4; ++b) {
            const double target = envelope[b] > thresholdGain[b] ? std::pow(envelope[b], slope[b]) * scale[b]
                                                                 : makeupGain[b];
            applyRamp(bandCh[b], n, start, len, comp_[b].gain, target);
            comp_[b].gain = target;
        }
    }
    for (int b = 0; b < 4; ++b) comp_[b].envelope = dsp::flush(envelope[b]);
    const float post = float(dsp::dbToGain(value(1)));
    for (uint32_t c = 0; c < n; ++c) {
        const float *b0 = band(0, c), *b1 = band(1, c), *b2 = band(2, c), *b3 = band(3, c);
        for (uint32_t i = 0; i < frames; ++i) ch[c][i] = (b0[i] + b1[i] + b2[i] + b3[i]) * post;
    }
}

#if defined(__x86_64__)
namespace {
// One biquad stage in each lane of a vector (transposed direct form II with
// fused multiply-adds, as the stereo cascades of the filters use).
struct Lanes4 {
    __m256d b0, b1, b2, a1, a2;
};
struct Lanes2 {
    __m128d b0, b1, b2, a1, a2;
};
__attribute__((target("avx2,fma"))) Lanes4 lanes(const dsp::BiquadCoefficients& lo, const dsp::BiquadCoefficients& hi) {
    return {_mm256_setr_pd(lo.b0, lo.b0, hi.b0, hi.b0), _mm256_setr_pd(lo.b1, lo.b1, hi.b1, hi.b1),
            _mm256_setr_pd(lo.b2, lo.b2, hi.b2, hi.b2), _mm256_setr_pd(lo.a1, lo.a1, hi.a1, hi.a1),
            _mm256_setr_pd(lo.a2, lo.a2, hi.a2, hi.a2)};
}
// One frame through the stages of a vector; the state moves on only when
// `active` (the pipeline's first and last steps leave some stages idle).
template <bool Edge>
__attribute__((target("avx2,fma"), always_inline)) inline __m256d tick(const Lanes4& k, __m256d& z1, __m256d& z2,
                                                                        __m256d x, bool active = true) {
    const __m256d y = _mm256_fmadd_pd(k.b0, x, z1);
    const __m256d n1 = _mm256_fnmadd_pd(k.a1, y, _mm256_fmadd_pd(k.b1, x, z2));
    const __m256d n2 = _mm256_fnmadd_pd(k.a2, y, _mm256_mul_pd(k.b2, x));
    if (!Edge || active) {
        z1 = n1;
        z2 = n2;
    }
    return y;
}
template <bool Edge>
__attribute__((target("avx2,fma"), always_inline)) inline __m128d tick(const Lanes2& k, __m128d& z1, __m128d& z2,
                                                                        __m128d x, bool active = true) {
    const __m128d y = _mm_fmadd_pd(k.b0, x, z1);
    const __m128d n1 = _mm_fnmadd_pd(k.a1, y, _mm_fmadd_pd(k.b1, x, z2));
    const __m128d n2 = _mm_fnmadd_pd(k.a2, y, _mm_mul_pd(k.b2, x));
    if (!Edge || active) {
        z1 = n1;
        z2 = n2;
    }
    return y;
}
// The states of two stages of both channels: [lo a, lo b, hi a, hi b].
__attribute__((target("avx2,fma"))) void loadStates(const dsp::BiquadState& loA, const dsp::BiquadState& loB,
                                                    const dsp::BiquadState& hiA, const dsp::BiquadState& hiB,
                                                    __m256d& z1, __m256d& z2) {
    z1 = _mm256_setr_pd(loA.z1, loB.z1, hiA.z1, hiB.z1);
    z2 = _mm256_setr_pd(loA.z2, loB.z2, hiA.z2, hiB.z2);
}
__attribute__((target("avx2,fma"))) void storeStates(dsp::BiquadState& loA, dsp::BiquadState& loB,
                                                     dsp::BiquadState& hiA, dsp::BiquadState& hiB, __m256d z1,
                                                     __m256d z2) {
    alignas(32) double s1[4], s2[4];
    _mm256_store_pd(s1, z1);
    _mm256_store_pd(s2, z2);
    loA = {dsp::flush(s1[0]), dsp::flush(s2[0])};
    loB = {dsp::flush(s1[1]), dsp::flush(s2[1])};
    hiA = {dsp::flush(s1[2]), dsp::flush(s2[2])};
    hiB = {dsp::flush(s1[3]), dsp::flush(s2[3])};
}

// The crossover tree of a stereo pair, both channels and two filters in each
// vector, as a pipeline: each step feeds every vector the output of the
// step before, so that one frame's way down the tree (six sections deep)
// overlaps the next frames' instead of waiting on itself. Vector k works
// `kLag[k]` frames behind the input:
//   0: first sections of the low- and high-pass of crossover 1 (lag 0)
//   1: their second sections -> low band, rest (lag 1)
//   2, 3: the same for crossover 2 on the rest -> mid band, rest (lags 2, 3)
//   4, 5: the same for crossover 3 -> bands 2 and 3 (lags 4, 5)
//   6: the all-passes of crossovers 2 and 3: the low band's second one
//      beside the mid band's (band 0 and 1, lag 4)
// and `ap01` (lag 2), the low band's first all-pass, on two lanes. Its
// output waits one step more, to meet the mid band in vector 6.
struct CrossoverPipe {
    static constexpr uint32_t kDepth = 5;  // the last vector's lag
    static constexpr uint32_t kLag[7] = {0, 1, 2, 3, 4, 5, 4};
    Lanes4 x1, x2, x3, apPair;
    Lanes2 ap01;
    __m256d z1[7], z2[7];
    __m128d apZ1, apZ2;
    __m256d y[6];     // outputs of vectors 0..4 at the last step
    __m128d low[2];   // ap01's outputs at the last two steps
    __m128d pre;

    // Step `i` of `frames + kDepth`: reads input frame i, writes the bands
    // of frames i - 4 (bands 0, 1) and i - 5 (bands 2, 3).
    template <bool Edge>
    __attribute__((target("avx2,fma"), always_inline)) inline void step(uint32_t i, uint32_t frames,
                                                                         const float* xa, const float* xb,
                                                                         float* bands) {
        auto active = [&](uint32_t lag) { return i >= lag && i - lag < frames; };
        __m128d in = _mm_setzero_pd();
        if (!Edge || i < frames) in = _mm_mul_pd(_mm_cvtps_pd(_mm_setr_ps(xa[i], xb[i], 0, 0)), pre);
        const __m256d n0 = tick<Edge>(x1, z1[0], z2[0], _mm256_set_m128d(in, in), active(0));
        const __m256d n1 = tick<Edge>(x1, z1[1], z2[1], y[0], active(1));
        const __m256d n2 = tick<Edge>(x2, z1[2], z2[2], _mm256_permute2f128_pd(y[1], y[1], 0x11), active(2));
        const __m256d n3 = tick<Edge>(x2, z1[3], z2[3], y[2], active(3));
        const __m256d n4 = tick<Edge>(x3, z1[4], z2[4], _mm256_permute2f128_pd(y[3], y[3], 0x11), active(4));
        const __m256d n5 = tick<Edge>(x3, z1[5], z2[5], y[4], active(5));
        const __m128d n7 = tick<Edge>(ap01, apZ1, apZ2, _mm256_castpd256_pd128(y[1]), active(2));
        const __m256d n6 = tick<Edge>(apPair, z1[6], z2[6], _mm256_set_m128d(_mm256_castpd256_pd128(y[3]), low[1]),
                                      active(4));
        y[0] = n0;
        y[1] = n1;
        y[2] = n2;
        y[3] = n3;
        y[4] = n4;
        low[1] = low[0];
        low[0] = n7;
        if (!Edge || active(4)) _mm_storeu_ps(bands + 8 * (i - 4), _mm256_cvtpd_ps(n6));
        if (!Edge || active(5)) _mm_storeu_ps(bands + 8 * (i - 5) + 4, _mm256_cvtpd_ps(n5));
    }
};
}  // namespace

// The stereo slice, with the band signals kept frame by frame ([frame][band]
// [channel], eight floats a frame):
//   1. The split (CrossoverPipe).
//   2. The four envelope followers side by side; their values at the end of
//      every block are kept for the gains.
//   3. Per block, the gains of the bands (as the portable loop works them
//      out), then the ramped gains and the sum of the bands, frame by frame.
// Up to the fused multiply-adds of the split, the arithmetic is the portable
// loop's.
__attribute__((target("avx2,fma"))) void MultibandCompressorUnit::processPairWide(float* const* ch, uint32_t frames) {
    ChannelState& sa = state_[0];
    ChannelState& sb = state_[1];
    CrossoverPipe pipe;
    pipe.x1 = lanes(lp_[0], hp_[0]);
    pipe.x2 = lanes(lp_[1], hp_[1]);
    pipe.x3 = lanes(lp_[2], hp_[2]);
    pipe.apPair = lanes(ap_[2], ap_[2]);
    pipe.ap01 = {_mm_set1_pd(ap_[1].b0), _mm_set1_pd(ap_[1].b1), _mm_set1_pd(ap_[1].b2), _mm_set1_pd(ap_[1].a1),
                 _mm_set1_pd(ap_[1].a2)};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 2; ++j)
            loadStates(sa.lp[k][j], sb.lp[k][j], sa.hp[k][j], sb.hp[k][j], pipe.z1[2 * k + j], pipe.z2[2 * k + j]);
    loadStates(sa.ap[0][2], sb.ap[0][2], sa.ap[1][2], sb.ap[1][2], pipe.z1[6], pipe.z2[6]);
    pipe.apZ1 = _mm_setr_pd(sa.ap[0][1].z1, sb.ap[0][1].z1);
    pipe.apZ2 = _mm_setr_pd(sa.ap[0][1].z2, sb.ap[0][1].z2);
    for (auto& v : pipe.y) v = _mm256_setzero_pd();
    pipe.low[0] = pipe.low[1] = _mm_setzero_pd();
    pipe.pre = _mm_set1_pd(dsp::dbToGain(value(0)));

    // The split.
    float* bands = bands_.data();
    const uint32_t steps = frames + CrossoverPipe::kDepth;
    const uint32_t fullFrom = std::min(CrossoverPipe::kDepth, frames), fullTo = std::max(fullFrom, frames);
    uint32_t i = 0;
    for (; i < fullFrom; ++i) pipe.step<true>(i, frames, ch[0], ch[1], bands);
    for (; i < fullTo; ++i) pipe.step<false>(i, frames, ch[0], ch[1], bands);
    for (; i < steps; ++i) pipe.step<true>(i, frames, ch[0], ch[1], bands);
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 2; ++j)
            storeStates(sa.lp[k][j], sb.lp[k][j], sa.hp[k][j], sb.hp[k][j], pipe.z1[2 * k + j], pipe.z2[2 * k + j]);
    storeStates(sa.ap[0][2], sb.ap[0][2], sa.ap[1][2], sb.ap[1][2], pipe.z1[6], pipe.z2[6]);
    {
        alignas(16) double s1[2], s2[2];
        _mm_store_pd(s1, pipe.apZ1);
        _mm_store_pd(s2, pipe.apZ2);
        sa.ap[0][1] = {dsp::flush(s1[0]), dsp::flush(s2[0])};
        sb.ap[0][1] = {dsp::flush(s1[1]), dsp::flush(s2[1])};
    }

    // The envelopes of the bands: each band's peak over its two channels,
    // then the four followers in the lanes of one vector.
    double attack[4], release[4];
    for (int b = 0; b < 4; ++b) {
        comp_[b].setTimes(value(17), value(18), sampleRate());
        attack[b] = comp_[b].attack;
        release[b] = comp_[b].release;
    }
    const __m256d attackV = _mm256_loadu_pd(attack), releaseV = _mm256_loadu_pd(release);
    __m256d envelope = _mm256_setr_pd(comp_[0].envelope, comp_[1].envelope, comp_[2].envelope, comp_[3].envelope);
    const __m128 zero = _mm_setzero_ps();
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    double* blockEnvelope = blockEnvelopes_.data();
    for (uint32_t start = 0; start < frames; start += kBlock) {
        const uint32_t end = std::min(frames, start + kBlock);
        for (uint32_t f = start; f < end; ++f) {
            const __m128 b01 = _mm_loadu_ps(bands + 8 * f), b23 = _mm_loadu_ps(bands + 8 * f + 4);
            const __m128 m01 = _mm_max_ps(_mm_and_ps(b01, magnitude), zero);
            const __m128 m23 = _mm_max_ps(_mm_and_ps(b23, magnitude), zero);
            const __m128 p01 = _mm_max_ps(_mm_and_ps(_mm_shuffle_ps(b01, b01, 0xB1), magnitude), m01);
            const __m128 p23 = _mm_max_ps(_mm_and_ps(_mm_shuffle_ps(b23, b23, 0xB1), magnitude), m23);
            const __m256d peak = _mm256_cvtps_pd(_mm_shuffle_ps(p01, p23, 0x88));
            const __m256d rate = _mm256_blendv_pd(releaseV, attackV, _mm256_cmp_pd(peak, envelope, _CMP_GT_OQ));
            envelope = _mm256_add_pd(peak, _mm256_mul_pd(_mm256_sub_pd(envelope, peak), rate));
        }
        _mm256_storeu_pd(blockEnvelope + 4 * (start / kBlock), envelope);
    }
    {
        alignas(32) double e[4];
        _mm256_store_pd(e, envelope);
        for (int b = 0; b < 4; ++b) comp_[b].envelope = dsp::flush(e[b]);
    }

    // The gains, ramped over each block, and the sum.
    double slope[4], scale[4], thresholdGain[4], makeupGain[4];
    for (int b = 0; b < 4; ++b) {
        const double threshold = value(5 + b), ratio = value(9 + b), makeup = value(13 + b);
        slope[b] = 1.0 / ratio - 1.0;
        scale[b] = dsp::dbToGain(makeup - slope[b] * threshold);
        thresholdGain[b] = dsp::dbToGain(threshold);
        makeupGain[b] = dsp::dbToGain(makeup);
    }
    const __m128 post = _mm_set1_ps(float(dsp::dbToGain(value(1))));
    float* outA = ch[0];
    float* outB = ch[1];
    for (uint32_t start = 0; start < frames; start += kBlock) {
        const uint32_t len = std::min(kBlock, frames - start);
        double from[4], step[4];
        for (int b = 0; b < 4; ++b) {
            const double e = blockEnvelope[4 * (start / kBlock) + b];
            const double target = e > thresholdGain[b] ? std::pow(e, slope[b]) * scale[b] : makeupGain[b];
            from[b] = comp_[b].gain;
            step[b] = (target - from[b]) / len;
            comp_[b].gain = target;
        }
        // Each band's gain in the lanes of both its channels.
        __m256d g01 = _mm256_setr_pd(from[0], from[0], from[1], from[1]);
        __m256d g23 = _mm256_setr_pd(from[2], from[2], from[3], from[3]);
        const __m256d step01 = _mm256_setr_pd(step[0], step[0], step[1], step[1]);
        const __m256d step23 = _mm256_setr_pd(step[2], step[2], step[3], step[3]);
        for (uint32_t f = start; f < start + len; ++f) {
            g01 = _mm256_add_pd(g01, step01);
            g23 = _mm256_add_pd(g23, step23);
            const __m128 y01 = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(bands + 8 * f)), g01));
            const __m128 y23 = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(bands + 8 * f + 4)), g23));
            // ((band 0 + band 1) + band 2) + band 3, both channels at once.
            __m128 sum = _mm_add_ps(y01, _mm_movehl_ps(y01, y01));
            sum = _mm_add_ps(sum, y23);
            sum = _mm_mul_ps(_mm_add_ps(sum, _mm_movehl_ps(y23, y23)), post);
            outA[f] = _mm_cvtss_f32(sum);
            outB[f] = _mm_cvtss_f32(_mm_shuffle_ps(sum, sum, 0x55));
        }
    }
}
#else
void MultibandCompressorUnit::processPairWide(float* const*, uint32_t) {}
#endif

// ---------------------------------------------------------------- peak limiter

PeakLimiterUnit::PeakLimiterUnit()
    : EffectUnit({componenttype::Effect, fourCC("lmtr"), kBuiltInManufacturer, 0, 0},
                 QStringLiteral("Peak Limiter")) {
    addParameter(0, info("Attack Time", ParameterUnit::Seconds, 0.001f, 0.03f, 0.012f));
    addParameter(1, info("Decay Time", ParameterUnit::Seconds, 0.001f, 0.06f, 0.024f));
    addParameter(2, info("Pre-gain", ParameterUnit::Decibels, -40, 40, 0));
    addParameter(3, info("Ceiling", ParameterUnit::Decibels, -40, 0, 0));
}

// The output is delayed by the longest look-ahead whatever the attack time,
// so that changing the attack never moves the track's timing.
double PeakLimiterUnit::latency() const {
    return double(capacity_ >= 2 ? capacity_ - 2 : 0) / sampleRate();
}

Status PeakLimiterUnit::doInitialize() {
    capacity_ = uint32_t(std::ceil(0.03 * sampleRate())) + 2;
    delay_.assign(size_t(outputChannelCount()) * capacity_, 0.0f);
    ratio_.assign(capacity_, 1.0);
    minQueue_.assign(capacity_, 0);
    envRing_.assign(capacity_, 1.0);
    restart(std::max<uint32_t>(1, uint32_t(std::lround(value(0) * sampleRate()))));
    return Status::Ok;
}

void PeakLimiterUnit::restart(uint32_t lookahead) {
    lookahead_ = std::clamp<uint32_t>(lookahead, 1, capacity_ - 1);
    std::fill(delay_.begin(), delay_.end(), 0.0f);
    std::fill(ratio_.begin(), ratio_.end(), 1.0);
    std::fill(envRing_.begin(), envRing_.end(), 1.0);
    qHead_ = qTail_ = 0;
    envSum_ = lookahead_;
    envelope_ = 1.0;
    frame_ = 0;
}

void PeakLimiterUnit::doReset() { restart(lookahead_); }

void PeakLimiterUnit::process(float* const* ch, uint32_t n, uint32_t frames) {
    const uint32_t wanted = std::max<uint32_t>(1, uint32_t(std::lround(value(0) * sampleRate())));
    if (wanted != lookahead_) restart(wanted);
    const uint32_t L = lookahead_, cap = capacity_;
    const double pre = dsp::dbToGain(value(2));
    const double ceiling = dsp::dbToGain(value(3));
    const double rel = dsp::onePoleCoefficient(value(1), sampleRate());
    const float limit = float(ceiling);
    // Ring positions advance by one a frame: work them out once and step
    // them, instead of dividing for every frame. Queue counters stay below
    // twice the capacity, so one subtraction mostly wraps them.
    auto wrap = [cap](uint32_t x) { return x < cap ? x : x % cap; };
    // The gain looks at the input `pad` frames late, so that the frame it
    // is applied to, L - 1 frames older still, is always cap - 2 old.
    const uint32_t pad = cap - 2 - (L - 1);
    uint32_t at = uint32_t(frame_ % cap);
    uint32_t e = uint32_t(frame_ % L);
    uint32_t seen = uint32_t((frame_ + cap - pad) % cap);
    uint32_t from = uint32_t((frame_ + 2) % cap);
    for (uint32_t i = 0; i < frames; ++i, ++frame_) {
        double peak = 0;
        for (uint32_t c = 0; c < n; ++c) {
            delay_[size_t(c) * cap + at] = float(ch[c][i] * pre);
            peak = std::max(peak, double(std::fabs(delay_[size_t(c) * cap + seen])));
        }
        const double r = peak > ceiling ? ceiling / peak : 1.0;
        ratio_[at] = r;
        // Sliding minimum of the required gains over the last L frames.
        while (qTail_ != qHead_ && ratio_[minQueue_[wrap(qTail_ - 1)]] >= r) --qTail_;
        minQueue_[wrap(qTail_)] = at;
        ++qTail_;
        // Drop the front once it is L frames old.
        while (qTail_ - qHead_ > 1) {
            const uint32_t front = minQueue_[wrap(qHead_)];
            const uint32_t age = wrap(at + cap - front);
            if (age < L) break;
            ++qHead_;
        }
        if (qHead_ >= cap) {
            qHead_ -= cap;
            qTail_ -= cap;
        }
        const double held = ratio_[minQueue_[wrap(qHead_)]];
        envelope_ = held < envelope_ ? held : held + (envelope_ - held) * rel;
        envSum_ += envelope_ - envRing_[e];
        envRing_[e] = envelope_;
        const double gain = std::min(1.0, envSum_ / L);
        for (uint32_t c = 0; c < n; ++c)
            ch[c][i] = std::clamp(float(delay_[size_t(c) * cap + from] * gain), -limit, limit);
        at = at + 1 == cap ? 0 : at + 1;
        seen = seen + 1 == cap ? 0 : seen + 1;
        e = e + 1 == L ? 0 : e + 1;
        from = from + 1 == cap ? 0 : from + 1;
    }
    if (frame_ > (uint64_t(1) << 40)) frame_ %= uint64_t(cap) * L;  // keep the ring arithmetic exact
}

}  // namespace units
