// The cost of the SoundFont instrument with many notes sounding at once, as a
// multiple of real time: "x_realtime" is seconds of audio rendered per second
// of wall time on one core.

#include "platform/units/SoundFontUnit.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace units;

namespace {

constexpr double kRate = 44100.0;
constexpr uint32_t kSlice = 512;

void SoundFontNotes(benchmark::State& state) {
    const int notes = int(state.range(0));
    SoundFontUnit unit(soundfontunit::kSamplerSubType, "Apple: AU Sampler");
    if (!unit.isValid()) {
        state.SkipWithError("no SoundFont installed");
        return;
    }
    const StreamFormat format = StreamFormat::canonical(kRate, 2);
    unit.setStreamFormat(Scope::Output, 0, format);
    unit.setMaximumFramesPerSlice(kSlice);
    unit.initialize();
    // Drawbar organ on two channels: notes that sustain for as long as they
    // are held, spread over the keyboard.
    unit.midiEvent(0xC0, 16, 0, 0);
    unit.midiEvent(0xC1, 16, 0, 0);
    for (int i = 0; i < notes; ++i) {
        const int channel = i % 2;
        const int key = 24 + (i / 2) % 80;
        unit.midiEvent(0x90 | channel, key, 90, 0);
    }
    std::vector<float> left(kSlice), right(kSlice);
    float* data[2] = {left.data(), right.data()};
    BufferList list;
    TimeStamp ts;
    const int slicesPerSecond = int(kRate / kSlice);
    for (auto _ : state) {
        for (int s = 0; s < slicesPerSecond; ++s) {
            list.point(2, kSlice, data);
            unit.render(nullptr, ts, 0, kSlice, &list);
            ts.sampleTime += kSlice;
        }
        benchmark::DoNotOptimize(left.data());
    }
    const double audioSeconds = double(slicesPerSecond * kSlice) / kRate;
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["voices"] = unit.activeVoiceCount();
}

}  // namespace

BENCHMARK(SoundFontNotes)->Arg(32)->Arg(128)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
