// The cost of automation curves. Tracks per core, rendered offline at
// 512-frame slices through the controller's own curve evaluation, each with
// the default chain plus the equaliser, the low-pass and the reverb, with and
// without curves of 1,000 points on the automated inputs (their values move
// every slice but keep the same units in the chain; see chainCurves). Also a
// track's 24 look-ups per slice alone, and committing a recording burst over 16 such
// tracks on the main thread (two deep copies of the store and a snapshot
// per track).
#include "BenchTools.h"
#include "TrackChainMix.h"
#include "app/AudioController.h"
#include "platform/media/Renderer.h"
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

// Curves for a track of the chain above over its 10 s: the inputs whose
// units play swing between two values that keep them playing, the others
// hold their neutral value (no low shelf, the high-pass and the band-pass
// open), so that the same units play with curves as without. The pitch has
// no curve: a pitch curve keeps its unit, which has latency, playing even at
// the neutral value, so that a move away from it leaves no gap; that unit
// would then be timed rather than the curves (23 curves, not 24).
TrackCurves chainCurves() {
    TrackCurves curves;
    for (EffectInput input : automatedInputs()) {
        if (input == EffectInput::Pitch) continue;
        double a = 0, b = 0;
        switch (input) {
        case EffectInput::AudioMix: a = 0.9, b = 1.0; break;
        case EffectInput::ChannelMix: a = -0.1, b = 0.1; break;
        case EffectInput::Pitch: a = b = 1; break;
        case EffectInput::ReverbWetDryMix: a = 20, b = 40; break;
        case EffectInput::ReverbSmallLargeMix: a = 30, b = 70; break;
        case EffectInput::LowShelfCutoff: a = b = 80; break;
        case EffectInput::LowShelfGain: a = b = 0; break;
        case EffectInput::LowPassCutoff: a = 4000, b = 6000; break;
        case EffectInput::LowPassResonance: a = 0, b = 3; break;
        case EffectInput::HighPassCutoff: a = b = 0; break;
        case EffectInput::HighPassResonance: a = b = 0; break;
        case EffectInput::BandPassCenterFrequency:
        case EffectInput::BandPassBandwidth: a = b = 11025; break;
        default: a = 3, b = 6; break;  // the equaliser's gains
        }
        KeyPointCurve curve;
        for (int i = 0; i < kPoints; ++i)
            curve.push_back({i * trackchain::kSeconds / kPoints, i % 2 ? b : a, std::nullopt});
        curves[effectinputs::key(input)] = std::move(curve);
    }
    return curves;
}

void TracksWithCurves(benchmark::State& state) {
    using namespace trackchain;
    const int trackCount = int(state.range(0));
    const bool withCurves = state.range(1) != 0;
    AudioController controller;
    controller.notifyAudioMetering = false;
    Mix m = makeMix(trackCount);
    Renderer::loadSources(*m.composition);
    Renderer r(m.composition, m.mix, kRate, Renderer::Mode::Offline);
    r.prepare();
    const int active = activateEffects(m);
    const TrackCurves curves = chainCurves();
    for (auto& t : m.tracks) {
        t->setAudioController(&controller);
        if (!withCurves) continue;
        t->typeOfRecordedCurve = 1;
        controller.automation.recordedParameters[t->identifierOfFilter] = curves;
        controller.publishRecordedParametersForFilter(t.get());
    }
    std::vector<float> left(kSlice), right(kSlice);
    for (auto _ : state) {
        r.setPosition(0);
        for (int64_t pos = 0; pos < r.length(); pos += kSlice) {
            const int n = int(std::min<int64_t>(kSlice, r.length() - pos));
            r.render(left.data(), right.data(), n);
        }
        benchmark::DoNotOptimize(left.data());
    }
    for (auto& t : m.tracks) t->setAudioController(nullptr);
    state.counters["tracks_per_core_x_realtime"] =
        benchmark::Counter(trackCount * kSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["active_units"] = active;
}
BENCHMARK(TracksWithCurves)
    ->ArgsProduct({{8, 32}, {0, 1}})
    ->ArgNames({"tracks", "curves"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    return benchtools::runBenchmarks<QCoreApplication>(argc, argv);
}
