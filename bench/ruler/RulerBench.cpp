// The main thread's cost of one step of a playhead drag while paused: the
// playhead, position slider and time labels moved, the selected track's 24
// curves evaluated into its inputs and sliders, and the ruler layer redrawn,
// with 16 tracks in the composition. A frame at 60 Hz lasts 16.7 ms.
#include "BenchWindow.h"

#include "app/AudioController.h"
#include "engine/EffectInputs.h"
#include "engine/MusicFilter.h"
#include "views/AudioView.h"
#include "views/LineView.h"
#include "views/SmallViews.h"

#include <QApplication>
#include <QScrollBar>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kTracks = 16;
constexpr int kPoints = 1000;

// The main window with 16 tracks of 10 s in a composition of 10 minutes,
// the player paused and ready, the first track selected.
struct Window : benchtools::MainWindowWithTones {
    Window() : MainWindowWithTones(kTracks, 10, QStringLiteral("10"), QStringLiteral("0")) {}
    // Curves on all 24 automated inputs of the selected track, or none.
    void setCurves(bool on) {
        MusicFilter* track = c->trackAt(0);
        auto& curves = c->automation.recordedParameters[track->identifierOfFilter];
        curves.clear();
        if (!on) return;
        for (EffectInput input : effectinputs::all()) {
            if (input == EffectInput::Repeat || input == EffectInput::Speed || input == EffectInput::FadeIn ||
                input == EffectInput::FadeOut)
                continue;
            KeyPointCurve curve;
            for (int i = 0; i < kPoints; ++i) curve.push_back({i * 0.6, 0.5 + 0.25 * (i % 2), std::nullopt});
            curves[effectinputs::key(input)] = std::move(curve);
        }
    }
};

Window& window() {
    static Window w;
    return w;
}

void BM_PlayheadDragStep(benchmark::State& state) {
    Window& w = window();
    if (!w.ready) {
        state.SkipWithError("the tracks did not load");
        return;
    }
    w.setCurves(state.range(0) != 0);
    AudioController* c = w.c;
    LineView* line = c->ui.lineView;
    // The gate stays shut after the drag's first seek: the steps measured
    // are the ones between seeks, most of a drag.
    line->performAfterDelay = [](int, std::function<void()>) {};
    // The notes editor's drag by time: the mouse drag's work without the
    // pointer's mapping (the lanes' regions cover every played time here).
    c->updateCurrentTime(1.0);
    benchtools::waitUntil([&] { return !c->shell.audioControllerIsWorking; });
    line->lineUpdateDownFromAbsoluteTime(1.0);
    benchtools::waitUntil([&] { return line->canSeekTime; });
    double t = 1.0;
    for (auto _ : state) {
        t = t >= 9.0 ? 1.0 : t + 0.037;
        line->lineUpdateDraggedFromAbsoluteTime(t);
        line->repaint();
    }
    line->lineUpdateUpFromAbsoluteTime(t);
    benchtools::waitUntil([&] { return !c->shell.audioControllerIsWorking; });
    state.SetLabel(state.range(0) ? "16 tracks, 24 curves of 1000 points" : "16 tracks, no curves");
}
BENCHMARK(BM_PlayheadDragStep)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Name("PlayheadDragStep/curves");

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
