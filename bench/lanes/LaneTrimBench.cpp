// The main thread's cost of one drag step of a track's edge trim with the
// repaint it causes (the lane and the ruler layer), and of drawing all the
// lanes afresh, with 32 tracks whose lanes show a curve of 10,000 key points
// each. A frame at 60 Hz lasts 16.7 ms. Run under `taskset -c N` for one core.
#include "BenchWindow.h"

#include "app/AudioController.h"
#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/LineView.h"

#include <QApplication>
#include <QMouseEvent>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kTracks = 32;
constexpr int kPoints = 10000;

// The main window with 32 tracks of 20 s in a composition of 100 s, each
// lane showing its audio-mix curve of 10,000 points, in trim mode; the
// first track selected.
struct Window : benchtools::MainWindowWithTones {
    Window() : MainWindowWithTones(kTracks, 20, QStringLiteral("1"), QStringLiteral("40")) {
        for (int i = 0; i < kTracks; ++i) {
            MusicFilter* track = c->trackAt(quint64(i));
            track->typeOfComposition = 1;
            track->showParameterCurve = 1;
            KeyPointCurve curve;
            for (int k = 0; k < kPoints; ++k) curve.push_back({k * 0.002, 0.25 + 0.5 * (k % 2), std::nullopt});
            c->automation.recordedParameters[track->identifierOfFilter][QStringLiteral("inputAudioMix")] =
                std::move(curve);
        }
    }
    AudioDrawingView* lane(int i) { return AudioController::trackLaneOf(c->trackAt(quint64(i))); }
    void send(QEvent::Type type, QPointF at) {
        LineView* line = c->ui.lineView;
        QMouseEvent e(type, at, at, line->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(line, &e);
    }
    QPointF onLane(int i, double x) {
        return c->ui.lineView->mapFromGlobal(lane(i)->mapToGlobal(QPointF(x, 100)));
    }
};

// Made once and left for the process's end: its widgets must not outlive
// the application object in a static destructor.
Window& window() {
    static Window* w = new Window;
    return *w;
}

// The end edge of the first track dragged back and forth over 100 points:
// each step rebuilds the region, moves the labels, sliders and playhead, and
// repaints the lane, with the ruler layer (argument 1) or without (0).
void BM_EdgeTrimDragStep(benchmark::State& state) {
    Window& w = window();
    if (!w.ready) {
        state.SkipWithError("the tracks did not load");
        return;
    }
    AudioDrawingView* lane = w.lane(0);
    const double end = lane->drawingBezierPath.boundingRect().right();
    w.send(QEvent::MouseButtonPress, w.onLane(0, end - 2));
    if (!lane->isMouseDown) {
        state.SkipWithError("the press did not start an edge trim");
        return;
    }
    const QPointF from = w.onLane(0, end - 2);
    int k = 0;
    for (auto _ : state) {
        k = (k + 7) % 200;
        const double dx = -double(k < 100 ? k : 200 - k);
        w.send(QEvent::MouseMove, from + QPointF(dx, 0));
        lane->repaint();
        if (state.range(0)) w.c->ui.lineView->repaint();
    }
    // Put the edge back where it was and leave nothing to undo.
    w.send(QEvent::MouseMove, from);
    w.send(QEvent::MouseButtonRelease, from);
    w.c->undoManager()->removeAllActions();
    state.SetLabel(state.range(0) ? "lane and ruler layer repainted" : "lane repainted");
}
// The ruler layer lies over the lanes and is not opaque: its repaint draws
// the visible lanes under it again.
BENCHMARK(BM_EdgeTrimDragStep)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Every lane drawn afresh, whole, into a picture.
void BM_AllLanesRepaint(benchmark::State& state) {
    Window& w = window();
    if (!w.ready) {
        state.SkipWithError("the tracks did not load");
        return;
    }
    for (auto _ : state)
        for (int i = 0; i < kTracks; ++i) benchmark::DoNotOptimize(w.lane(i)->grab());
    state.SetLabel("32 lanes, curves of 10000 points");
}
BENCHMARK(BM_AllLanesRepaint)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
