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

using Cascade = void (*)(const BiquadCoefficients* const*, dsp::BiquadState* const*, dsp::BiquadState* const*,
                         float*, float*, uint32_t);

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
#endif

// The stereo cascades of one to four stages, chosen once for this processor.
struct PairCascades {
    Cascade run[5] = {nullptr, dsp::cascadePair<1>, dsp::cascadePair<2>, dsp::cascadePair<3>, dsp::cascadePair<4>};
    PairCascades() {
#if defined(__x86_64__)
        __builtin_cpu_init();  // may run before the runtime's own initialisation
        if (__builtin_cpu_supports("fma"))
            run[1] = cascadePairFused<1>, run[2] = cascadePairFused<2>, run[3] = cascadePairFused<3>,
            run[4] = cascadePairFused<4>;
#endif
    }
};
const PairCascades kPairCascades;

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
        stageCount_ = n;
    }
    // The stages in use, in groups of up to kGroup: each group runs over the
    // whole slice sample by sample with its state in registers, both
    // channels of a pair in one vector. Each stage sees the same samples in
    // the same order as stage by stage, so the result does not depend on the
    // grouping.
    constexpr int kGroup = 4;
    const dsp::BiquadCoefficients* active[kMaxStages];
    int stageIndex[kMaxStages];
    int count = 0;
    for (int s = 0; s < stageCount_; ++s)
        if (!stages_[s].isIdentity()) {
            active[count] = &stages_[s];
            stageIndex[count++] = s;
        }
    uint32_t c = 0;
    for (; c + 1 < channelCount; c += 2) {
        dsp::BiquadState* sa[kMaxStages];
        dsp::BiquadState* sb[kMaxStages];
        for (int k = 0; k < count; ++k) {
            sa[k] = &state_[size_t(c) * kMaxStages + stageIndex[k]];
            sb[k] = &state_[size_t(c + 1) * kMaxStages + stageIndex[k]];
        }
        for (int k = 0; k < count; k += kGroup) {
            kPairCascades.run[std::min(kGroup, count - k)](active + k, sa + k, sb + k, ch[c], ch[c + 1], frames);
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
