// The main thread's cost of building the menu bar's "Mix" menu until it can
// open: one track menu for each of 32 tracks whose shown curve holds 5,000
// recorded key points. The key-point submenus fill themselves when they
// first open; argument 0 also fills every one of them at once, which is what
// building them whole would cost. Run under `taskset -c N` for one core.
#include "BenchWindow.h"

#include "engine/MusicFilter.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kTracks = 32;
constexpr int kPoints = 5000;

// The main window with 32 tracks of a 5 s tone, each showing its level
// curve of 5,000 recorded points over its 5 s.
struct Window : benchtools::MainWindowWithTones {
    QMenu* trackMenu = nullptr;  // the menu holding "Mix"

    Window() : MainWindowWithTones(kTracks, 5, QStringLiteral("10"), QStringLiteral("0")) {
        for (int i = 0; i < c->trackCount(); ++i) {
            MusicFilter* track = c->trackAt(quint64(i));
            track->showParameterCurve = 1;
            KeyPointCurve curve;
            for (int k = 0; k < kPoints; ++k) curve.push_back({k * 0.001, 0.25 + 0.5 * (k % 2), 1});
            c->automation.recordedParameters[track->identifierOfFilter][QStringLiteral("inputAudioMix")] =
                std::move(curve);
        }
        for (QAction* a : c->ui.window->menuBar()->actions())
            if (a->text() == QLatin1String("Track")) trackMenu = a->menu();
        ready = ready && trackMenu && c->trackMenu.mixMenu;
    }
};

// Made once and left for the process's end: its widgets must not outlive
// the application object in a static destructor.
Window& window() {
    static Window* w = new Window;
    return *w;
}

void BM_MixMenuUntilItCanOpen(benchmark::State& state) {
    Window& w = window();
    if (!w.ready) {
        state.SkipWithError("the tracks did not load");
        return;
    }
    const bool fillKeyPoints = state.range(0) == 0;
    for (auto _ : state) {
        w.c->mixMenuDidBeginTracking(w.trackMenu);
        if (fillKeyPoints)
            for (QMenu* m : w.c->trackMenu.mixMenu->menu()->findChildren<QMenu*>())
                if (m->title() == QLatin1String("Volume Key Points")) emit m->aboutToShow();
        // The menus replaced by this build go now, outside the timing of the next.
        state.PauseTiming();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    state.SetLabel(fillKeyPoints ? "every key-point submenu filled" : "key-point submenus filled when opened");
}
BENCHMARK(BM_MixMenuUntilItCanOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One track's key-point submenu opened for the first time: its 5,000 items made.
void BM_KeyPointSubmenuFirstOpen(benchmark::State& state) {
    Window& w = window();
    if (!w.ready) {
        state.SkipWithError("the tracks did not load");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<QMenu> menu = w.c->trackMenuForIndex(0);
        QMenu* points = nullptr;
        for (QMenu* m : menu->findChildren<QMenu*>())
            if (m->title() == QLatin1String("Volume Key Points")) points = m;
        state.ResumeTiming();
        if (points) emit points->aboutToShow();
        state.PauseTiming();
        menu.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_KeyPointSubmenuFirstOpen)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
