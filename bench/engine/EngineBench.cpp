// Tracks per core in real time: tracks with the default chain plus the
// equaliser, the low-pass and the reverb active, rendered offline at
// 512-frame slices. sox runs the same three effects over the same file in
// the same run, as a reference. With 1, 8, 32 and 100 tracks: the figure per
// track holds to about 32 tracks and falls by a quarter to a third beyond,
// where the state that every slice of every track touches (the units'
// buffers, delay lines and parameters) no longer fits the processor's shared
// cache. The program runs with a temporary home folder, so the decoded cache
// of its source never reaches the user's.
#include "engine/MusicFilter.h"
#include "engine/TrackTapContext.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/ProcessingTap.h"
#include "platform/media/Renderer.h"
#include "platform/units/Unit.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "BenchTools.h"
#include "TrackChainMix.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using namespace trackchain;

void TracksThroughTheChain(benchmark::State& state) {
    const int trackCount = int(state.range(0));
    Mix m = makeMix(trackCount);
    Renderer::loadSources(*m.composition);
    Renderer r(m.composition, m.mix, kRate, Renderer::Mode::Offline);
    r.prepare();
    const int active = activateEffects(m);
    std::vector<float> left(kSlice), right(kSlice);
    for (auto _ : state) {
        r.setPosition(0);
        for (int64_t pos = 0; pos < r.length(); pos += kSlice) {
            const int n = int(std::min<int64_t>(kSlice, r.length() - pos));
            std::fill(left.begin(), left.end(), 0.0f);
            std::fill(right.begin(), right.end(), 0.0f);
            r.render(left.data(), right.data(), n);
        }
        benchmark::DoNotOptimize(left.data());
    }
    // Seconds of track audio rendered per second of one core.
    state.counters["tracks_per_core_x_realtime"] =
        benchmark::Counter(trackCount * kSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["active_units"] = active;
}
BENCHMARK(TracksThroughTheChain)->Arg(1)->Arg(8)->Arg(32)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// Playing backwards, the player jumps back and renders 16384 frames (as
// many as kChunk in Player.cpp), then plays them from the end: 8 tracks
// with the effects above. With the tracks' latency compensated (1), every
// jump also feeds each track its latency ahead; without (0), the same mix
// with no latency, for comparison in the same run.
void JumpsBackwards(benchmark::State& state) {
    const bool compensated = state.range(0) != 0;
    Mix m = makeMix(8);
    Renderer::loadSources(*m.composition);
    // The first renderer prepares the taps; the second, attached to taps
    // that are prepared already, takes their latency as it is then.
    Renderer first(m.composition, m.mix, kRate, Renderer::Mode::Offline);
    first.prepare();
    if (!compensated)
        for (auto& t : m.tracks)
            if (auto* k = t->getProcessorContext()) {
                for (auto& standIn : k->standIns) standIn.frames = 0;
                k->latencyFrames.store(0);
                k->tap->setLatency(0);
            }
    Renderer r(m.composition, m.mix, kRate, Renderer::Mode::Offline, 1024);
    r.prepare();
    activateEffects(m);
    constexpr int64_t kChunk = 16384;
    std::vector<float> left(1024), right(1024);
    int64_t pos = r.length();
    for (auto _ : state) {
        pos = pos >= kChunk ? pos - kChunk : r.length() - kChunk;
        r.setPosition(pos);
        for (int64_t done = 0; done < kChunk; done += 1024) r.render(left.data(), right.data(), 1024);
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["latency_frames"] =
        double(compensated && m.tracks.front()->getProcessorContext()
                   ? m.tracks.front()->getProcessorContext()->latencyFrames.load()
                   : 0);
    // Seconds of backward playback per second of one core.
    state.counters["x_realtime"] =
        benchmark::Counter(16384.0 / kRate, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(JumpsBackwards)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same three effects by sox over the same file.
void SoxLowpassEqualizerReverb(benchmark::State& state) {
    const QString cmd = QStringLiteral("sox -V1 -q '%1' -n equalizer 1000 1q 6 lowpass 5000 reverb 30")
                            .arg(sourceFile());
    for (auto _ : state) {
        if (std::system(cmd.toUtf8().constData()) != 0) {
            state.SkipWithError("sox failed");
            break;
        }
    }
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(SoxLowpassEqualizerReverb)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return benchtools::runBenchmarks<QCoreApplication>(argc, argv);
}
