#include "platform/units/EffectUnits.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace units {

namespace {
ParameterInfo info(const char* name, ParameterUnit unit, float min, float max, float def) {
    return {QString::fromUtf8(name), unit, min, max, def, ParameterInfo::Readable | ParameterInfo::Writable};
}
ComponentDescription builtIn(const char (&subtype)[5], FourCC type = componenttype::Effect) {
    return {type, fourCC(subtype), kBuiltInManufacturer, 0, 0};
}
}  // namespace

// ---------------------------------------------------------------- delay

DelayUnit::DelayUnit() : EffectUnit(builtIn("dely"), QStringLiteral("Delay")) {
    addParameter(0, info("Dry/Wet Mix", ParameterUnit::Percent, 0, 100, 50));
    addParameter(1, info("Delay Time", ParameterUnit::Seconds, 0, 2, 1));
    addParameter(2, info("Feedback", ParameterUnit::Percent, -99.9f, 99.9f, 50));
    addParameter(3, info("Low-pass Cutoff", ParameterUnit::Hertz, 10, 22050, 15000));
}

double DelayUnit::tailTime() const {
    const double fb = std::fabs(parameter(2)) / 100.0;
    const double repeats = fb > 0 ? std::min(1000.0, std::log(1e-3) / std::log(fb)) : 1.0;
    return parameter(1) * (1.0 + repeats);
}

Status DelayUnit::doInitialize() {
    length_ = uint32_t(std::ceil(2.0 * sampleRate())) + 4;
    line_.assign(size_t(outputChannelCount()) * length_, 0.0f);
    damp_.assign(outputChannelCount(), 0.0);
    write_ = 0;
    return Status::Ok;
}

void DelayUnit::doReset() {
    std::fill(line_.begin(), line_.end(), 0.0f);
    std::fill(damp_.begin(), damp_.end(), 0.0);
    write_ = 0;
}

void DelayUnit::process(float* const* ch, uint32_t n, uint32_t frames) {
    const double sr = sampleRate();
    const double mix = value(0) / 100.0, fb = value(2) / 100.0;
    double d = std::clamp(double(value(1)) * sr, 1.0, double(length_ - 2));
    if (std::fabs(d - std::round(d)) < 1e-3) d = std::round(d);  // times stored as floats
    const uint32_t whole = uint32_t(d);
    const double frac = d - whole;
    const double a = std::exp(-2 * std::numbers::pi * dsp::safeFrequency(value(3), sr) / sr);
    // The read positions step along with the write position; they are the
    // same for every channel.
    const uint32_t start0 = (write_ + length_ - whole) % length_;
    const uint32_t start1 = (start0 + length_ - 1) % length_;
    // Two channels at a time, so that their damping recursions overlap.
    uint32_t c = 0;
    for (; c + 1 < n; c += 2) {
        float* la = line_.data() + size_t(c) * length_;
        float* lb = la + length_;
        float* xa = ch[c];
        float* xb = ch[c + 1];
        double za = damp_[c], zb = damp_[c + 1];
        uint32_t w = write_, r0 = start0, r1 = start1;
        for (uint32_t i = 0; i < frames; ++i) {
            const double ya = la[r0] + (la[r1] - la[r0]) * frac;
            const double yb = lb[r0] + (lb[r1] - lb[r0]) * frac;
            za = ya + (za - ya) * a;
            zb = yb + (zb - yb) * a;
            const double inA = xa[i], inB = xb[i];
            la[w] = dsp::flush(float(inA + fb * za));
            lb[w] = dsp::flush(float(inB + fb * zb));
            xa[i] = float(inA * (1.0 - mix) + ya * mix);
            xb[i] = float(inB * (1.0 - mix) + yb * mix);
            if (++w == length_) w = 0;
            if (++r0 == length_) r0 = 0;
            if (++r1 == length_) r1 = 0;
        }
        damp_[c] = dsp::flush(za);
        damp_[c + 1] = dsp::flush(zb);
    }
    for (; c < n; ++c) {
        float* line = line_.data() + size_t(c) * length_;
        double z = damp_[c];
        uint32_t w = write_, r0 = start0, r1 = start1;
        for (uint32_t i = 0; i < frames; ++i) {
            const double y = line[r0] + (line[r1] - line[r0]) * frac;
            z = y + (z - y) * a;
            const double x = ch[c][i];
            line[w] = dsp::flush(float(x + fb * z));
            ch[c][i] = float(x * (1.0 - mix) + y * mix);
            if (++w == length_) w = 0;
            if (++r0 == length_) r0 = 0;
            if (++r1 == length_) r1 = 0;
        }
        damp_[c] = dsp::flush(z);
    }
    write_ = (write_ + frames) % length_;
}

// ---------------------------------------------------------------- matrix reverb

namespace {
constexpr double kSmallMs[MatrixReverbUnit::kLines] = {11.3, 13.7, 16.1, 18.5, 20.9, 23.3, 25.7, 28.1};
constexpr double kLargeMs[MatrixReverbUnit::kLines] = {41.3, 47.9, 53.5, 59.3, 65.9, 71.3, 77.9, 83.5};
// How much of the input each line takes (with the sign of kSign) and how
// loud the lines' sum comes out.
constexpr float kReverbIn = 0.25f, kReverbOut = 0.35f;
constexpr float kSign[MatrixReverbUnit::kLines] = {1, 1, -1, -1, 1, 1, -1, -1};
}  // namespace

MatrixReverbUnit::MatrixReverbUnit() : EffectUnit(builtIn("mrev"), QStringLiteral("Matrix Reverb")) {
    addParameter(0, info("Dry/Wet Mix", ParameterUnit::Percent, 0, 100, 40));
    addParameter(1, info("Small/Large Mix", ParameterUnit::Percent, 0, 100, 50));
    addParameter(2, info("Pre-delay", ParameterUnit::Seconds, 0.001f, 0.1f, 0.02f));
    addParameter(3, info("Small Room Decay", ParameterUnit::Seconds, 0.1f, 4, 0.6f));
    addParameter(4, info("Large Room Decay", ParameterUnit::Seconds, 0.5f, 12, 2.5f));
    addParameter(5, info("Damping Frequency", ParameterUnit::Hertz, 1000, 20000, 8000));
}

double MatrixReverbUnit::tailTime() const {
    return std::max(parameter(3), parameter(4)) + parameter(2);
}

void MatrixReverbUnit::Room::clear() {
    for (auto& l : lines) std::fill(l.begin(), l.end(), 0.0f);
    damp.fill(0.0);
    pos.fill(0);
}

Status MatrixReverbUnit::doInitialize() {
    const double sr = sampleRate();
    for (int i = 0; i < kLines; ++i) {
        small_.length[i] = std::max<uint32_t>(2, uint32_t(kSmallMs[i] * sr / 1000.0) | 1u);
        large_.length[i] = std::max<uint32_t>(2, uint32_t(kLargeMs[i] * sr / 1000.0) | 1u);
        small_.lines[i].assign(small_.length[i], 0.0f);
        large_.lines[i].assign(large_.length[i], 0.0f);
    }
    preLength_ = uint32_t(std::ceil(0.1 * sr)) + 2;
    preDelay_.assign(size_t(2) * preLength_, 0.0f);
    doReset();
    lastDecay_[0] = lastDecay_[1] = lastDamping_ = -1;
    return Status::Ok;
}

void MatrixReverbUnit::doReset() {
    small_.clear();
    large_.clear();
    std::fill(preDelay_.begin(), preDelay_.end(), 0.0f);
    prePos_ = 0;
}

void MatrixReverbUnit::tune(Room& room, double decay, double) {
    const double sr = sampleRate();
    for (int i = 0; i < kLines; ++i) room.gain[i] = std::pow(10.0, -3.0 * room.length[i] / (decay * sr));
}

void MatrixReverbUnit::process(float* const* ch, uint32_t n, uint32_t frames) {
    const double sr = sampleRate();
    if (value(3) != lastDecay_[0]) tune(small_, lastDecay_[0] = value(3), 0);
    if (value(4) != lastDecay_[1]) tune(large_, lastDecay_[1] = value(4), 0);
    if (value(5) != lastDamping_)
        dampCoef_ = std::exp(-2 * std::numbers::pi * dsp::safeFrequency(lastDamping_ = value(5), sr) / sr);
    const float mix = value(0) / 100.0f, size = value(1) / 100.0f;
    const uint32_t pre = std::clamp<uint32_t>(uint32_t(value(2) * sr), 1, preLength_ - 1);
    const float a = float(dampCoef_);
    // A block of eight frames never reads what it writes when every line is
    // at least eight frames long: then the blocks can load and store each
    // line eight frames at a time.
    uint32_t shortest = preLength_;
    for (const Room* room : {&small_, &large_})
        for (uint32_t length : room->length) shortest = std::min(shortest, length);
    if (dsp::useWideKernels() && shortest >= 8) return processBlocks(ch, n, frames, pre, a, mix, size);

    constexpr float kIn = kReverbIn, kOut = kReverbOut;
    float inSign[kLines], outSign[kLines];
    for (int k = 0; k < kLines; ++k) {
        inSign[k] = kSign[k] * kIn;
        outSign[k] = kSign[(k + 2) % kLines];
    }
    float* preL = preDelay_.data();
    float* preR = preDelay_.data() + preLength_;

    // Per room: the lines' gains and damping states in locals for the inner
    // loop, four lines to a vector (lines 0-3 in lo, 4-7 in hi).
    using Float4 = float __attribute__((vector_size(16)));
    struct Net {
        Float4 gainLo, gainHi, dampLo, dampHi;
    } nets[2];
    Room* rooms[2] = {&small_, &large_};
    for (int r = 0; r < 2; ++r) {
        const Room& room = *rooms[r];
        nets[r].gainLo = Float4{float(room.gain[0]), float(room.gain[1]), float(room.gain[2]), float(room.gain[3])};
        nets[r].gainHi = Float4{float(room.gain[4]), float(room.gain[5]), float(room.gain[6]), float(room.gain[7])};
        nets[r].dampLo = Float4{float(room.damp[0]), float(room.damp[1]), float(room.damp[2]), float(room.damp[3])};
        nets[r].dampHi = Float4{float(room.damp[4]), float(room.damp[5]), float(room.damp[6]), float(room.damp[7])};
    }
    const Float4 inSignLo = {inSign[0], inSign[1], inSign[2], inSign[3]};
    const Float4 inSignHi = {inSign[4], inSign[5], inSign[6], inSign[7]};
    const Float4 outSignLo = {outSign[0], outSign[1], outSign[2], outSign[3]};
    const Float4 outSignHi = {outSign[4], outSign[5], outSign[6], outSign[7]};
    const Float4 av = {a, a, a, a};

    for (uint32_t i = 0; i < frames;) {
        // A run of frames in which no line and no pre-delay position wraps.
        const uint32_t from = (prePos_ + preLength_ - pre) % preLength_;
        uint32_t run = std::min({frames - i, preLength_ - prePos_, preLength_ - from});
        for (int r = 0; r < 2; ++r)
            for (int k = 0; k < kLines; ++k) run = std::min(run, rooms[r]->length[k] - rooms[r]->pos[k]);
        float* lines[2][kLines];
        for (int r = 0; r < 2; ++r)
            for (int k = 0; k < kLines; ++k) lines[r][k] = rooms[r]->lines[k].data() + rooms[r]->pos[k];

        for (uint32_t j = 0; j < run; ++j, ++i) {
            float l = 0, rr = 0;
            if (n == 1) {
                l = rr = ch[0][i];
            } else if (n == 2) {
                l = ch[0][i];
                rr = ch[1][i];
            } else {
                int nl = 0, nr = 0;
                for (uint32_t c = 0; c < n; ++c) {
                    if (c & 1) { rr += ch[c][i]; ++nr; } else { l += ch[c][i]; ++nl; }
                }
                l /= float(nl);
                rr /= float(std::max(nr, 1));
            }
            preL[prePos_ + j] = l;
            preR[prePos_ + j] = rr;
            const float inL = preL[from + j], inR = preR[from + j];
            const Float4 in = {inL, inR, inL, inR};
            float out[2][2];
            for (int r = 0; r < 2; ++r) {
                Net& net = nets[r];
                float* const* line = lines[r];
                const Float4 sLo = {line[0][j], line[1][j], line[2][j], line[3][j]};
                const Float4 sHi = {line[4][j], line[5][j], line[6][j], line[7][j]};
                net.dampLo = sLo + (net.dampLo - sLo) * av;
                net.dampHi = sHi + (net.dampHi - sHi) * av;
                const Float4 vLo = net.dampLo * net.gainLo, vHi = net.dampHi * net.gainHi;
                const float sum = vLo[0] + vLo[1] + vLo[2] + vLo[3] + vHi[0] + vHi[1] + vHi[2] + vHi[3];
                const float h = 2.0f / kLines * sum;
                const Float4 wLo = vLo - h + in * inSignLo, wHi = vHi - h + in * inSignHi;
                for (int k = 0; k < 4; ++k) {
                    line[k][j] = wLo[k];
                    line[k + 4][j] = wHi[k];
                }
                const Float4 pLo = vLo * outSignLo, pHi = vHi * outSignHi;
                out[r][0] = pLo[0] + pLo[2] + pHi[0] + pHi[2];
                out[r][1] = pLo[1] + pLo[3] + pHi[1] + pHi[3];
            }
            const float wetL = ((1 - size) * out[0][0] + size * out[1][0]) * kOut;
            const float wetR = ((1 - size) * out[0][1] + size * out[1][1]) * kOut;
            if (n == 1) {
                ch[0][i] = ch[0][i] * (1 - mix) + 0.5f * (wetL + wetR) * mix;
            } else {
                for (uint32_t c = 0; c < n; ++c) ch[c][i] = ch[c][i] * (1 - mix) + ((c & 1) ? wetR : wetL) * mix;
            }
        }
        prePos_ = (prePos_ + run) % preLength_;
        for (int r = 0; r < 2; ++r)
            for (int k = 0; k < kLines; ++k) rooms[r]->pos[k] = (rooms[r]->pos[k] + run) % rooms[r]->length[k];
    }
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k < 4; ++k) {
            rooms[r]->damp[k] = dsp::flush(nets[r].dampLo[k]);
            rooms[r]->damp[k + 4] = dsp::flush(nets[r].dampHi[k]);
        }
}

#if defined(__x86_64__)
namespace {
// Transposes the 8x8 floats in r[0..7] (row k becomes column k).
__attribute__((target("avx2,fma"), always_inline)) inline void transpose8(__m256 r[8]) {
    __m256 t[8], u[8];
    for (int k = 0; k < 8; k += 2) {
        t[k] = _mm256_unpacklo_ps(r[k], r[k + 1]);
        t[k + 1] = _mm256_unpackhi_ps(r[k], r[k + 1]);
    }
    for (int k = 0; k < 8; k += 4) {
        u[k] = _mm256_shuffle_ps(t[k], t[k + 2], 0x44);
        u[k + 1] = _mm256_shuffle_ps(t[k], t[k + 2], 0xEE);
        u[k + 2] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0x44);
        u[k + 3] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0xEE);
    }
    for (int k = 0; k < 4; ++k) {
        r[k] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x20);
        r[k + 4] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x31);
    }
}

// x = x * dryGain + wet * wetGain over the first `count` (at most 8) frames.
__attribute__((target("avx2,fma"), always_inline)) inline void mixBlock(float* x, uint32_t count, __m256 dryGain,
                                                                        __m256 wet, __m256 wetGain) {
    if (count == 8) {
        const __m256 dry = _mm256_loadu_ps(x);
        _mm256_storeu_ps(x, _mm256_add_ps(_mm256_mul_ps(dry, dryGain), _mm256_mul_ps(wet, wetGain)));
        return;
    }
    alignas(32) float tmp[8] = {};
    for (uint32_t j = 0; j < count; ++j) tmp[j] = x[j];
    _mm256_store_ps(tmp, _mm256_add_ps(_mm256_mul_ps(_mm256_load_ps(tmp), dryGain), _mm256_mul_ps(wet, wetGain)));
    for (uint32_t j = 0; j < count; ++j) x[j] = tmp[j];
}
}  // namespace

// Each block of eight frames loads eight consecutive samples of every line
// (nothing a block writes is read before the line comes round again),
// transposes them so that one vector holds the eight lines of one frame for
// the damping filters, which run frame by frame, and transposes back: the
// mixing matrix, the input and the outputs then work on eight frames per
// vector. The arithmetic is the frame-by-frame loop's, operation for
// operation, so the sound is the same to the last bit.
__attribute__((target("avx2,fma"))) void MatrixReverbUnit::processBlocks(float* const* ch, uint32_t n,
                                                                         uint32_t frames, uint32_t pre,
                                                                         float damping, float mix, float size) {
    // One room's lines, positions and filters in locals for the loop.
    struct Net {
        float* line[kLines];
        uint32_t pos[kLines], length[kLines];
        __m256 gain, damp;
    } nets[2];
    Room* rooms[2] = {&small_, &large_};
    for (int r = 0; r < 2; ++r) {
        Room& room = *rooms[r];
        alignas(32) float g[kLines], d[kLines];
        for (int k = 0; k < kLines; ++k) {
            nets[r].line[k] = room.lines[k].data();
            nets[r].pos[k] = room.pos[k];
            nets[r].length[k] = room.length[k];
            g[k] = float(room.gain[k]);
            d[k] = float(room.damp[k]);
        }
        nets[r].gain = _mm256_load_ps(g);
        nets[r].damp = _mm256_load_ps(d);
    }
    const __m256 a = _mm256_set1_ps(damping);
    const __m256 dryGain = _mm256_set1_ps(1 - mix), wetGain = _mm256_set1_ps(mix);
    const __m256 roomGain[2] = {_mm256_set1_ps(1 - size), _mm256_set1_ps(size)};
    float* preL = preDelay_.data();
    float* preR = preDelay_.data() + preLength_;
    const uint32_t preLength = preLength_;
    uint32_t at = prePos_;
    // Whether a block's reads from the pre-delay and its writes never meet.
    const bool preApart = pre >= 8 && pre + 8 <= preLength;

    for (uint32_t i = 0; i < frames; i += 8) {
        const uint32_t count = std::min<uint32_t>(8, frames - i);
        const bool whole = count == 8;

        // The block's input (odd channels right, even ones left) through the
        // pre-delay: eight frames at once where they do not wrap or meet,
        // otherwise frame by frame (with the longest pre-delay a frame reads
        // the slot that a later frame of the block writes).
        __m256 in[2];
        const uint32_t from = at >= pre ? at - pre : at + preLength - pre;
        if (whole && n == 2 && preApart && at + 8 <= preLength && from + 8 <= preLength) {
            in[0] = _mm256_loadu_ps(preL + from);
            in[1] = _mm256_loadu_ps(preR + from);
            _mm256_storeu_ps(preL + at, _mm256_loadu_ps(ch[0] + i));
            _mm256_storeu_ps(preR + at, _mm256_loadu_ps(ch[1] + i));
            at = at + 8 == preLength ? 0 : at + 8;
        } else {
            alignas(32) float inL[8] = {}, inR[8] = {};
            for (uint32_t j = 0; j < count; ++j) {
                float l = 0, rr = 0;
                if (n == 1) {
                    l = rr = ch[0][i + j];
                } else if (n == 2) {
                    l = ch[0][i + j];
                    rr = ch[1][i + j];
                } else {
                    int nl = 0, nr = 0;
                    for (uint32_t c = 0; c < n; ++c) {
                        if (c & 1) { rr += ch[c][i + j]; ++nr; } else { l += ch[c][i + j]; ++nl; }
                    }
                    l /= float(nl);
                    rr /= float(std::max(nr, 1));
                }
                const uint32_t back = at >= pre ? at - pre : at + preLength - pre;
                preL[at] = l;
                preR[at] = rr;
                inL[j] = preL[back];
                inR[j] = preR[back];
                at = at + 1 == preLength ? 0 : at + 1;
            }
            in[0] = _mm256_load_ps(inL);
            in[1] = _mm256_load_ps(inR);
        }

        // Eight frames of every line, then one vector per frame.
        __m256 rows[2][kLines];
        for (int r = 0; r < 2; ++r) {
            Net& net = nets[r];
            __m256* v = rows[r];
#pragma GCC unroll 8
            for (int k = 0; k < kLines; ++k) {
                const uint32_t pos = net.pos[k], length = net.length[k];
                if (pos + 8 <= length) {
                    v[k] = _mm256_loadu_ps(net.line[k] + pos);
                } else {
                    alignas(32) float tmp[8] = {};
                    for (uint32_t j = 0, p = pos; j < count; ++j, p = p + 1 == length ? 0 : p + 1)
                        tmp[j] = net.line[k][p];
                    v[k] = _mm256_load_ps(tmp);
                }
            }
            transpose8(v);
        }
        // The damping filters frame by frame, the two rooms side by side so
        // that their recursions overlap; the lines' gains after them.
        __m256 damp0 = nets[0].damp, damp1 = nets[1].damp;
        if (whole) {
#pragma GCC unroll 8
            for (int f = 0; f < 8; ++f) {
                damp0 = _mm256_add_ps(rows[0][f], _mm256_mul_ps(_mm256_sub_ps(damp0, rows[0][f]), a));
                damp1 = _mm256_add_ps(rows[1][f], _mm256_mul_ps(_mm256_sub_ps(damp1, rows[1][f]), a));
                rows[0][f] = _mm256_mul_ps(damp0, nets[0].gain);
                rows[1][f] = _mm256_mul_ps(damp1, nets[1].gain);
            }
        } else {
            for (uint32_t f = 0; f < 8; ++f) {
                if (f < count) {
                    damp0 = _mm256_add_ps(rows[0][f], _mm256_mul_ps(_mm256_sub_ps(damp0, rows[0][f]), a));
                    damp1 = _mm256_add_ps(rows[1][f], _mm256_mul_ps(_mm256_sub_ps(damp1, rows[1][f]), a));
                    rows[0][f] = _mm256_mul_ps(damp0, nets[0].gain);
                    rows[1][f] = _mm256_mul_ps(damp1, nets[1].gain);
                } else {
                    rows[0][f] = rows[1][f] = _mm256_setzero_ps();
                }
            }
        }
        nets[0].damp = damp0;
        nets[1].damp = damp1;

        __m256 wet[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        for (int r = 0; r < 2; ++r) {
            Net& net = nets[r];
            __m256* v = rows[r];
            transpose8(v);

            // The mixing matrix: every line takes back its own value less a
            // share of the sum of all, plus its part of the input.
            __m256 sum = v[0];
#pragma GCC unroll 8
            for (int k = 1; k < kLines; ++k) sum = _mm256_add_ps(sum, v[k]);
            const __m256 h = _mm256_mul_ps(_mm256_set1_ps(2.0f / kLines), sum);
#pragma GCC unroll 8
            for (int k = 0; k < kLines; ++k) {
                const __m256 w = _mm256_add_ps(_mm256_sub_ps(v[k], h),
                                               _mm256_mul_ps(in[k & 1], _mm256_set1_ps(kSign[k] * kReverbIn)));
                const uint32_t pos = net.pos[k], length = net.length[k];
                if (whole && pos + 8 <= length) {
                    _mm256_storeu_ps(net.line[k] + pos, w);
                } else {
                    alignas(32) float tmp[8];
                    _mm256_store_ps(tmp, w);
                    for (uint32_t j = 0, p = pos; j < count; ++j, p = p + 1 == length ? 0 : p + 1)
                        net.line[k][p] = tmp[j];
                }
                net.pos[k] = pos + count < length ? pos + count : pos + count - length;
            }
            // The outputs: the even lines left, the odd ones right.
            __m256 out[2];
#pragma GCC unroll 2
            for (int side = 0; side < 2; ++side) {
                out[side] = _mm256_mul_ps(v[side], _mm256_set1_ps(kSign[(side + 2) % kLines]));
#pragma GCC unroll 4
                for (int k = side + 2; k < kLines; k += 2)
                    out[side] = _mm256_add_ps(out[side], _mm256_mul_ps(v[k], _mm256_set1_ps(kSign[(k + 2) % kLines])));
            }
            if (r == 0) {
                wet[0] = _mm256_mul_ps(roomGain[0], out[0]);
                wet[1] = _mm256_mul_ps(roomGain[0], out[1]);
            } else {
                wet[0] = _mm256_mul_ps(_mm256_add_ps(wet[0], _mm256_mul_ps(roomGain[1], out[0])),
                                       _mm256_set1_ps(kReverbOut));
                wet[1] = _mm256_mul_ps(_mm256_add_ps(wet[1], _mm256_mul_ps(roomGain[1], out[1])),
                                       _mm256_set1_ps(kReverbOut));
            }
        }

        // Dry and wet into the channels.
        if (n == 1) {
            mixBlock(ch[0] + i, count, dryGain, _mm256_mul_ps(_mm256_set1_ps(0.5f), _mm256_add_ps(wet[0], wet[1])),
                     wetGain);
        } else {
            for (uint32_t c = 0; c < n; ++c) mixBlock(ch[c] + i, count, dryGain, wet[c & 1], wetGain);
        }
    }
    prePos_ = at;
    for (int r = 0; r < 2; ++r) {
        alignas(32) float d[kLines];
        _mm256_store_ps(d, nets[r].damp);
        for (int k = 0; k < kLines; ++k) {
            rooms[r]->damp[k] = dsp::flush(d[k]);
            rooms[r]->pos[k] = nets[r].pos[k];
        }
    }
}
#else
void MatrixReverbUnit::processBlocks(float* const*, uint32_t, uint32_t, uint32_t, float, float, float) {}
#endif

// ---------------------------------------------------------------- distortion

DistortionUnit::DistortionUnit() : EffectUnit(builtIn("dist"), QStringLiteral("Distortion")) {
    addParameter(0, info("Drive", ParameterUnit::Decibels, 0, 60, 12));
    addParameter(1, info("Shape", ParameterUnit::Indexed, 0, 2, 0), {"Soft Clip", "Hard Clip", "Asymmetric"});
    addParameter(2, info("Tone", ParameterUnit::Hertz, 500, 20000, 12000));
    addParameter(3, info("Output Gain", ParameterUnit::Decibels, -40, 20, 0));
    addParameter(4, info("Dry/Wet Mix", ParameterUnit::Percent, 0, 100, 100));
}

Status DistortionUnit::doInitialize() {
    tone_.assign(outputChannelCount(), 0.0);
    return Status::Ok;
}

void DistortionUnit::doReset() { std::fill(tone_.begin(), tone_.end(), 0.0); }

namespace {
// A smooth saturating curve (a rational fit of tanh), exactly ±1 beyond ±3.
inline double softClip(double x) {
    if (x <= -3) return -1;
    if (x >= 3) return 1;
    const double x2 = x * x;
    return x * (27 + x2) / (27 + 9 * x2);
}
#if defined(__x86_64__)
// softClip of four values at once, operation for operation.
__attribute__((target("avx2,fma"), always_inline)) inline __m256d softClip4(__m256d x) {
    const __m256d x2 = _mm256_mul_pd(x, x);
    const __m256d k27 = _mm256_set1_pd(27), k3 = _mm256_set1_pd(3), one = _mm256_set1_pd(1);
    __m256d y = _mm256_div_pd(_mm256_mul_pd(x, _mm256_add_pd(k27, x2)),
                              _mm256_add_pd(k27, _mm256_mul_pd(_mm256_set1_pd(9), x2)));
    y = _mm256_blendv_pd(y, one, _mm256_cmp_pd(x, k3, _CMP_GE_OQ));
    return _mm256_blendv_pd(y, _mm256_sub_pd(_mm256_setzero_pd(), one),
                            _mm256_cmp_pd(x, _mm256_sub_pd(_mm256_setzero_pd(), k3), _CMP_LE_OQ));
}

// y[i] = the shaper's output for x[i] * drive, four frames at a time, with
// the arithmetic of `shaped` in DistortionUnit::process.
__attribute__((target("avx2,fma"))) void shapeWide(const float* x, double* y, uint32_t count, double drive, int shape,
                                                   double bias, double biasOut) {
    const __m256d gain = _mm256_set1_pd(drive), one = _mm256_set1_pd(1), minusOne = _mm256_set1_pd(-1);
    const __m256d offset = _mm256_set1_pd(bias), offsetOut = _mm256_set1_pd(biasOut);
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d d = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + i)), gain);
        __m256d v;
        switch (shape) {
        case 1:
            v = _mm256_blendv_pd(d, minusOne, _mm256_cmp_pd(d, minusOne, _CMP_LT_OQ));
            v = _mm256_blendv_pd(v, one, _mm256_cmp_pd(one, v, _CMP_LT_OQ));
            break;
        case 2: v = _mm256_sub_pd(softClip4(_mm256_add_pd(d, offset)), offsetOut); break;
        default: v = softClip4(d); break;
        }
        _mm256_storeu_pd(y + i, v);
    }
    for (; i < count; ++i) {
        const double d = x[i] * drive;
        switch (shape) {
        case 1: y[i] = std::clamp(d, -1.0, 1.0); break;
        case 2: y[i] = softClip(d + bias) - biasOut; break;
        default: y[i] = softClip(d); break;
        }
    }
}
#else
void shapeWide(const float*, double*, uint32_t, double, int, double, double) {}
#endif
}  // namespace

void DistortionUnit::process(float* const* ch, uint32_t n, uint32_t frames) {
    const double sr = sampleRate();
    const double drive = dsp::dbToGain(value(0)), out = dsp::dbToGain(value(3));
    const double mix = value(4) / 100.0;
    const int shape = int(value(1) + 0.5f);
    const double a = std::exp(-2 * std::numbers::pi * dsp::safeFrequency(value(2), sr) / sr);
    const double bias = 0.3, biasOut = softClip(bias);
    auto shaped = [&](double d) {
        switch (shape) {
        case 1: return std::clamp(d, -1.0, 1.0);
        case 2: return softClip(d + bias) - biasOut;
        default: return softClip(d);
        }
    };
    // Two channels at a time, so that their tone filters overlap.
    uint32_t c = 0;
    if (dsp::useWideKernels()) {
        // The shaper first, four frames to a vector (it keeps nothing from
        // frame to frame), then the tone filters over what it made.
        constexpr uint32_t kChunk = 128;
        double shapedA[kChunk], shapedB[kChunk];
        for (; c + 1 < n; c += 2) {
            double za = tone_[c], zb = tone_[c + 1];
            for (uint32_t start = 0; start < frames; start += kChunk) {
                const uint32_t count = std::min(kChunk, frames - start);
                float* a0 = ch[c] + start;
                float* b0 = ch[c + 1] + start;
                shapeWide(a0, shapedA, count, drive, shape, bias, biasOut);
                shapeWide(b0, shapedB, count, drive, shape, bias, biasOut);
                for (uint32_t i = 0; i < count; ++i) {
                    const double xa = a0[i], xb = b0[i];
                    const double ya = shapedA[i], yb = shapedB[i];
                    za = ya + (za - ya) * a;
                    zb = yb + (zb - yb) * a;
                    a0[i] = float(xa * (1 - mix) + za * out * mix);
                    b0[i] = float(xb * (1 - mix) + zb * out * mix);
                }
            }
            tone_[c] = dsp::flush(za);
            tone_[c + 1] = dsp::flush(zb);
        }
    }
    for (; c + 1 < n; c += 2) {
        double za = tone_[c], zb = tone_[c + 1];
        float* a0 = ch[c];
        float* b0 = ch[c + 1];
        for (uint32_t i = 0; i < frames; ++i) {
            const double xa = a0[i], xb = b0[i];
            const double ya = shaped(xa * drive), yb = shaped(xb * drive);
            za = ya + (za - ya) * a;
            zb = yb + (zb - yb) * a;
            a0[i] = float(xa * (1 - mix) + za * out * mix);
            b0[i] = float(xb * (1 - mix) + zb * out * mix);
        }
        tone_[c] = dsp::flush(za);
        tone_[c + 1] = dsp::flush(zb);
    }
    for (; c < n; ++c) {
        double z = tone_[c];
        for (uint32_t i = 0; i < frames; ++i) {
            const double x = ch[c][i];
            const double y = shaped(x * drive);
            z = y + (z - y) * a;
            ch[c][i] = float(x * (1 - mix) + z * out * mix);
        }
        tone_[c] = dsp::flush(z);
    }
}

// ---------------------------------------------------------------- panner

PannerUnit::PannerUnit() : Unit(builtIn("hrtf", componenttype::Panner), QStringLiteral("Panner")) {
    addParameter(0, info("Azimuth", ParameterUnit::Degrees, -180, 180, 0));
    addParameter(1, info("Elevation", ParameterUnit::Degrees, -90, 90, 0));
    addParameter(2, info("Distance", ParameterUnit::Meters, 0.1f, 100, 1));
    addParameter(3, info("Rendering Mode", ParameterUnit::Indexed, 0, 1, 1), {"Equal Power", "Binaural"});
}

Status PannerUnit::checkFormats() const {
    const StreamFormat in = streamFormat(Scope::Input, 0), out = streamFormat(Scope::Output, 0);
    return in.sampleRate == out.sampleRate ? Status::Ok : Status::FormatNotSupported;
}

Status PannerUnit::doInitialize() {
    input_.assign(size_t(inputChannelCount()) * maximumFramesPerSlice(), 0.0f);
    history_ = uint32_t(std::ceil(0.0015 * sampleRate())) + 2;
    mono_.assign(history_ + maximumFramesPerSlice(), 0.0f);
    delayed_.assign(size_t(2) * maximumFramesPerSlice(), 0.0);
    doReset();
    return Status::Ok;
}

void PannerUnit::doReset() {
    std::fill(mono_.begin(), mono_.end(), 0.0f);
    shadow_[0] = shadow_[1] = rear_[0] = rear_[1] = 0;
    lastDelay_[0] = lastDelay_[1] = -1;
}

#if defined(__x86_64__)
namespace {
// The mean of the input channels, four frames at a time, with the
// arithmetic of the loop in doRender.
__attribute__((target("avx2,fma"))) void meanWide(const BufferList& in, uint32_t channels, float* src,
                                                  uint32_t frames) {
    const __m256d count = _mm256_set1_pd(double(channels));
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        __m256d sum = _mm256_setzero_pd();
        for (uint32_t c = 0; c < channels; ++c) sum = _mm256_add_pd(sum, _mm256_cvtps_pd(_mm_loadu_ps(in.channel(c) + i)));
        _mm_storeu_ps(src + i, _mm256_cvtpd_ps(_mm256_div_pd(sum, count)));
    }
    for (; i < frames; ++i) {
        double sum = 0;
        for (uint32_t c = 0; c < channels; ++c) sum += in.channel(c)[i];
        src[i] = float(sum / channels);
    }
}

// Both ears of the panner in the two lanes of a vector, with the arithmetic
// of the loop in doRender, operation for operation, in two passes: first
// the delayed source of every frame (reads and interpolation, which the
// frames do not share), then the head-shadow and rear filters, whose
// recursions are all the second pass waits on.
__attribute__((target("avx2,fma"))) void earsWide(const float* src, double* delayed, float* const* out,
                                                  uint32_t frames, const double* d0, const double* dStep,
                                                  const double* g0, const double* gStep, double* z, double* zr,
                                                  double shadowCoef, const double* shadow, double rearCoef,
                                                  double rear) {
    const __m128d delay0 = _mm_loadu_pd(d0), delayStep = _mm_loadu_pd(dStep);
    for (uint32_t i = 0; i < frames; ++i) {
        const __m128d step = _mm_set1_pd(double(i + 1));
        const __m128d d = _mm_add_pd(delay0, _mm_mul_pd(delayStep, step));
        const __m128d pos = _mm_sub_pd(_mm_set1_pd(double(i)), d);  // may reach back into history
        const __m128d whole = _mm_floor_pd(pos);
        const __m128d frac = _mm_sub_pd(pos, whole);
        alignas(16) int32_t at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), _mm_cvttpd_epi32(whole));
        const long i0 = at[0], i1 = at[1], now = long(i);
        const __m128d x0 = _mm_setr_pd(src[i0], src[i1]);
        const __m128d x1 = _mm_setr_pd(src[i0 + 1 <= now ? i0 + 1 : i0], src[i1 + 1 <= now ? i1 + 1 : i1]);
        _mm_storeu_pd(delayed + 2 * i, _mm_add_pd(x0, _mm_mul_pd(_mm_sub_pd(x1, x0), frac)));
    }
    const __m128d gain0 = _mm_loadu_pd(g0), gainStep = _mm_loadu_pd(gStep);
    const __m128d shadowC = _mm_set1_pd(shadowCoef), shadowMix = _mm_loadu_pd(shadow);
    const __m128d rearC = _mm_set1_pd(rearCoef), rearMix = _mm_set1_pd(rear);
    __m128d head = _mm_loadu_pd(z), back = _mm_loadu_pd(zr);
    float* left = out[0];
    float* right = out[1];
    for (uint32_t i = 0; i < frames; ++i) {
        const __m128d g = _mm_add_pd(gain0, _mm_mul_pd(gainStep, _mm_set1_pd(double(i + 1))));
        __m128d y = _mm_loadu_pd(delayed + 2 * i);
        head = _mm_add_pd(y, _mm_mul_pd(_mm_sub_pd(head, y), shadowC));
        y = _mm_add_pd(y, _mm_mul_pd(_mm_sub_pd(head, y), shadowMix));
        back = _mm_add_pd(y, _mm_mul_pd(_mm_sub_pd(back, y), rearC));
        y = _mm_add_pd(y, _mm_mul_pd(_mm_sub_pd(back, y), rearMix));
        const __m128 o = _mm_cvtpd_ps(_mm_mul_pd(y, g));
        _mm_store_ss(left + i, o);
        _mm_store_ss(right + i, _mm_movehdup_ps(o));
    }
    _mm_storeu_pd(z, head);
    _mm_storeu_pd(zr, back);
}
}  // namespace
#else
namespace {
void meanWide(const BufferList&, uint32_t, float*, uint32_t) {}
void earsWide(const float*, double*, float* const*, uint32_t, const double*, const double*, const double*,
              const double*, double*, double*, double, const double*, double, double) {}
}  // namespace
#endif

Status PannerUnit::doRender(RenderActionFlags& flags, const TimeStamp& ts, uint32_t, uint32_t frames,
                            BufferList& io) {
    const uint32_t inCh = inputChannelCount(), stride = maximumFramesPerSlice();
    BufferList in;
    in.numberBuffers = inCh;
    for (uint32_t c = 0; c < inCh; ++c)
        in.buffers[c] = {1, frames * uint32_t(sizeof(float)), input_.data() + size_t(c) * stride};
    if (Status s = pullInput(flags, ts, 0, frames, in); !ok(s)) return s;

    // The source: the mean of the input channels, after `history_` frames of the past.
    float* src = mono_.data() + history_;
    if (dsp::useWideKernels()) {
        meanWide(in, inCh, src, frames);
    } else {
        for (uint32_t i = 0; i < frames; ++i) {
            double sum = 0;
            for (uint32_t c = 0; c < inCh; ++c) sum += in.channel(c)[i];
            src[i] = float(sum / inCh);
        }
    }

    const double sr = sampleRate();
    const double az = value(0) * std::numbers::pi / 180, el = value(1) * std::numbers::pi / 180;
    const double distanceGain = 1.0 / std::max(1.0, double(value(2)));
    const double lateral = std::sin(az) * std::cos(el);  // -1 left .. 1 right
    double gain[2], delay[2] = {0, 0}, shadow[2] = {0, 0}, rear = 0;
    const bool binaural = value(3) >= 0.5f && !bypass();
    if (bypass()) {
        gain[0] = gain[1] = 1;
    } else if (!binaural) {
        const double theta = (lateral + 1) * std::numbers::pi / 4;
        gain[0] = std::cos(theta) * distanceGain;
        gain[1] = std::sin(theta) * distanceGain;
    } else {
        const double p = std::fabs(lateral);
        const double angle = std::asin(std::min(1.0, p));
        const double itd = 0.0875 / 343.0 * (angle + std::sin(angle));  // spherical head
        const int far = lateral > 0 ? 0 : 1;
        gain[far] = (1.0 - 0.45 * p) * distanceGain;
        gain[1 - far] = distanceGain;
        delay[far] = itd * sr;
        shadow[far] = p;  // the far ear hears more of the head's shadow
        const double behind = std::max(0.0, -std::cos(az)) * std::cos(el);
        rear = behind;  // a source behind is duller in both ears
    }

    // One-pole low-passes: the head's shadow (about 1.2 kHz) and the duller
    // sound from behind (about 6 kHz), mixed in by how much they apply.
    const double shadowCoef = std::exp(-2 * std::numbers::pi * 1200.0 / sr);
    const double rearCoef = std::exp(-2 * std::numbers::pi * dsp::safeFrequency(6000.0, sr) / sr);
    const uint32_t outCh = io.numberBuffers;
    for (int e = 0; e < 2; ++e) {
        if (lastDelay_[e] < 0) {
            lastDelay_[e] = delay[e];
            lastGain_[e] = gain[e];
        }
    }
    float* left = outCh > 0 ? io.channel(0) : nullptr;
    float* right = outCh > 1 ? io.channel(1) : nullptr;
    if (outCh == 1) {
        for (uint32_t i = 0; i < frames; ++i) left[i] = float(src[i] * distanceGain);
    } else if (outCh >= 2) {
        // Both ears in one pass, so that their recursions overlap.
        float* out[2] = {left, right};
        double d0[2], g0[2], dStep[2], gStep[2], z[2], zr[2];
        for (int e = 0; e < 2; ++e) {
            d0[e] = lastDelay_[e];
            g0[e] = lastGain_[e];
            dStep[e] = (delay[e] - d0[e]) / frames;
            gStep[e] = (gain[e] - g0[e]) / frames;
            z[e] = shadow_[e];
            zr[e] = rear_[e];
        }
        if (dsp::useWideKernels()) {
            earsWide(src, delayed_.data(), out, frames, d0, dStep, g0, gStep, z, zr, shadowCoef, shadow, rearCoef,
                     rear);
        } else {
            for (uint32_t i = 0; i < frames; ++i) {
                for (int e = 0; e < 2; ++e) {
                    const double d = d0[e] + dStep[e] * (i + 1), g = g0[e] + gStep[e] * (i + 1);
                    const double pos = double(i) - d;  // relative to src, may reach back into history
                    long at = long(pos);               // floor, without a call
                    if (double(at) > pos) --at;
                    const double frac = pos - double(at);
                    const double x0 = src[at], x1 = src[at + 1 <= long(i) ? at + 1 : at];
                    double y = x0 + (x1 - x0) * frac;
                    z[e] = y + (z[e] - y) * shadowCoef;
                    y = y + (z[e] - y) * shadow[e];
                    zr[e] = y + (zr[e] - y) * rearCoef;
                    y = y + (zr[e] - y) * rear;
                    out[e][i] = float(y * g);
                }
            }
        }
        for (int e = 0; e < 2; ++e) {
            shadow_[e] = dsp::flush(z[e]);
            rear_[e] = dsp::flush(zr[e]);
            lastDelay_[e] = delay[e];
            lastGain_[e] = gain[e];
        }
        for (uint32_t c = 2; c < outCh; ++c) std::memset(io.channel(c), 0, frames * sizeof(float));
    }
    // Keep the newest `history_` frames of the source for the next slice.
    std::memmove(mono_.data(), mono_.data() + frames, history_ * sizeof(float));
    return Status::Ok;
}

}  // namespace units
