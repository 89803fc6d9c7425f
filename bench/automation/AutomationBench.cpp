// The cost of automation curves: evaluating a track's 24 curves of 1,000
// points once per slice (the render's share), and committing a recording
// burst over 16 such tracks on the main thread (two deep copies of the
// store and a snapshot per track).
#include "BenchTools.h"
#include "automation/RecordedParameters.h"
#include "engine/EffectInputs.h"
#include "platform/core/Snapshot.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kPoints = 1000;
constexpr int kTracks = 16;

// The 24 automated inputs (all but repeat, speed and the fades).
std::vector<EffectInput> automatedInputs() {
    std::vector<EffectInput> inputs;
    for (EffectInput input : effectinputs::all())
        if (input != EffectInput::Repeat && input != EffectInput::Speed && input != EffectInput::FadeIn &&
            input != EffectInput::FadeOut)
            inputs.push_back(input);
    return inputs;
}

TrackCurves makeTrackCurves() {
    TrackCurves curves;
    for (EffectInput input : automatedInputs()) {
        KeyPointCurve curve;
        for (int i = 0; i < kPoints; ++i) curve.push_back({i * 0.3, 0.5 + 0.25 * (i % 2), std::nullopt});
        curves[effectinputs::key(input)] = std::move(curve);
    }
    return curves;
}

std::unique_ptr<const TrackAutomation> snapshotOf(const TrackCurves& curves, CurveStyle style) {
    auto s = std::make_unique<TrackAutomation>();
    s->style = style;
    for (const auto& [key, curve] : curves)
        if (auto input = effectinputs::fromKey(key)) {
            s->curves[size_t(*input)] = curve;
            s->automatedInputs |= 1u << int(*input);
        }
    return s;
}

// One slice of a track: 24 curve look-ups at a moving time, as the render
// makes them (the snapshot opened once per slice). With no curves the
// look-up ends at the snapshot's mask.
void BM_SliceEvaluation(benchmark::State& state) {
    const bool withCurves = state.range(0) != 0;
    realtime::Snapshot<TrackAutomation> published(
        withCurves ? snapshotOf(makeTrackCurves(), CurveStyle::Linear) : std::make_unique<TrackAutomation>());
    const auto inputs = automatedInputs();
    double t = 0;
    for (auto _ : state) {
        auto curves = published.read();
        double sum = 0;
        for (EffectInput input : inputs) {
            if (!(curves->automatedInputs >> int(input) & 1u)) continue;
            const auto& points = curves->curves[size_t(input)];
            if (auto v = automation::curveValueAt(points.data(), points.size(), t, curves->style)) sum += *v;
        }
        benchmark::DoNotOptimize(sum);
        t += 512.0 / 44100.0;
        if (t > kPoints * 0.3) t = 0;
    }
    // A 512-frame slice lasts 11.6 ms: the share of it the curves take.
    state.counters["slices_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SliceEvaluation)->Arg(0)->Arg(1)->Name("SliceEvaluation/curves");

// The end of a recording burst with 16 tracks of 24 curves: the undo copy of
// the committed store, the committed store from the working copy, and every
// track's snapshot published.
void BM_CommitRecordingBurst(benchmark::State& state) {
    RecordedParameters working;
    for (int i = 0; i < kTracks; ++i) working[QString::number(i)] = makeTrackCurves();
    RecordedParameters committed = working;
    std::vector<std::unique_ptr<realtime::Snapshot<TrackAutomation>>> tracks;
    for (int i = 0; i < kTracks; ++i) tracks.push_back(std::make_unique<realtime::Snapshot<TrackAutomation>>());
    for (auto _ : state) {
        RecordedParameters undo = automation::copyRecordedDictionary(committed);
        committed = automation::copyRecordedDictionary(working);
        for (int i = 0; i < kTracks; ++i)
            tracks[size_t(i)]->publish(snapshotOf(committed.at(QString::number(i)), CurveStyle::Step));
        benchmark::DoNotOptimize(undo);
    }
    state.SetLabel("16 tracks x 24 curves x 1000 points");
}
BENCHMARK(BM_CommitRecordingBurst)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return benchtools::runBenchmarks<QCoreApplication>(argc, argv);
}
