// Cost of the built-in effect units: each unit alone and the whole chain of
// eighteen, rendering stereo audio at 44.1 kHz in 512-frame slices, with
// every unit set to do real work. The "xRealtime" counter is seconds of
// audio rendered per second of time: the multiple of real time on one core.

#include "platform/units/Component.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace units;

namespace {

constexpr double kRate = 44100;
constexpr uint32_t kSlice = 512;

struct Noise {
    uint32_t state = 1;
    static Status render(void* ref, RenderActionFlags*, const TimeStamp&, uint32_t, uint32_t frames, BufferList* io) {
        auto* n = static_cast<Noise*>(ref);
        for (uint32_t c = 0; c < io->numberBuffers; ++c)
            for (uint32_t i = 0; i < frames; ++i) {
                n->state = n->state * 1664525u + 1013904223u;
                io->channel(c)[i] = 0.25f * (float(n->state >> 8) / float(1 << 23) - 1.0f);
            }
        return Status::Ok;
    }
};

struct Spec {
    FourCC type;
    const char* subtype;
    std::vector<std::pair<ParameterID, float>> settings;
};

// The eighteen units in the order a track creates them, set to work.
std::vector<Spec> eighteen() {
    std::vector<std::pair<ParameterID, float>> tenBands;
    const float freqs[10] = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
    for (uint32_t b = 0; b < 10; ++b) {
        tenBands.push_back({1000 + b, 0});
        tenBands.push_back({3000 + b, freqs[b]});
        tenBands.push_back({4000 + b, b % 2 ? 3.0f : -3.0f});
    }
    std::vector<std::pair<ParameterID, float>> graphic;
    for (uint32_t b = 0; b < 10; ++b) graphic.push_back({b, b % 2 ? 2.0f : -2.0f});
    const FourCC fx = componenttype::Effect;
    return {
        {fx, "nbeq", tenBands},
        {fx, "greq", graphic},
        {fx, "dist", {{0, 6}}},
        {fx, "filt", {{0, 12000}, {2, 40}, {5, 3}}},
        {fx, "dcmp", {{0, -30}}},
        {fx, "mcmp", {}},
        {fx, "dely", {{1, 0.3f}, {2, 40}}},
        {fx, "lmtr", {{2, 6}}},
        {fx, "tmpt", {{1, 300}}},
        {fx, "mrev", {{0, 30}}},
        {componenttype::Panner, "hrtf", {{0, 30}}},
        {componenttype::FormatConverter, "nutp", {{1, -500}}},
        {fx, "mrev", {{0, 20}}},
        {fx, "lshf", {{1, 6}}},
        {fx, "bpas", {{0, 3000}, {1, 6000}}},
        {fx, "lpas", {{0, 15000}}},
        {fx, "hpas", {{0, 30}}},
        {fx, "nbeq", tenBands},
    };
}

bool isPitch(const Spec& s) {
    return std::string(s.subtype) == "tmpt" || std::string(s.subtype) == "nutp";
}

std::unique_ptr<Unit> make(const Spec& s) {
    auto u = ComponentRegistry::instance().instantiate(s.type, fourCC(*reinterpret_cast<const char(*)[5]>(s.subtype)));
    if (!u) return nullptr;
    const StreamFormat f = StreamFormat::canonical(kRate, 2);
    u->setStreamFormat(Scope::Input, 0, f);
    u->setStreamFormat(Scope::Output, 0, f);
    u->setMaximumFramesPerSlice(kSlice);
    if (!ok(u->initialize())) return nullptr;
    for (auto [id, v] : s.settings) u->setParameter(id, v);
    return u;
}

// Renders one second of audio per iteration through the last of `chain`.
void renderSeconds(benchmark::State& state, std::vector<std::unique_ptr<Unit>>& chain) {
    Noise noise;
    chain.front()->setRenderCallback(0, {&Noise::render, &noise});
    for (size_t i = 1; i < chain.size(); ++i) chain[i]->setInputConnection(0, chain[i - 1].get());
    std::vector<float> left(kSlice), right(kSlice);
    float* data[2] = {left.data(), right.data()};
    const int slices = int(std::ceil(kRate / kSlice));
    TimeStamp ts;
    for (auto _ : state) {
        for (int s = 0; s < slices; ++s) {
            BufferList io;
            io.point(2, kSlice, data);
            RenderActionFlags flags = 0;
            if (!ok(chain.back()->render(&flags, ts, 0, kSlice, &io))) {
                state.SkipWithError("render failed");
                return;
            }
            ts.sampleTime += kSlice;
        }
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["xRealtime"] = benchmark::Counter(double(slices) * kSlice / kRate * double(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}

void BM_Unit(benchmark::State& state) {
    const Spec spec = eighteen()[size_t(state.range(0))];
    state.SetLabel(spec.subtype);
    std::vector<std::unique_ptr<Unit>> chain;
    chain.push_back(make(spec));
    if (!chain.back()) return state.SkipWithError("no unit");
    renderSeconds(state, chain);
}
BENCHMARK(BM_Unit)->DenseRange(0, 17)->Unit(benchmark::kMillisecond);

void BM_Chain(benchmark::State& state) {
    const bool withPitch = state.range(0) != 0;
    state.SetLabel(withPitch ? "all eighteen" : "without the two pitch units");
    std::vector<std::unique_ptr<Unit>> chain;
    for (const Spec& s : eighteen()) {
        if (!withPitch && isPitch(s)) continue;
        chain.push_back(make(s));
        if (!chain.back()) return state.SkipWithError("no unit");
    }
    renderSeconds(state, chain);
}
BENCHMARK(BM_Chain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
