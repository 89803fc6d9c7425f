// The main thread's cost of a range edit inside a long track: a paste, a
// removal and an undo on a 60-minute track that already has 50 audio
// versions, each timed from the command until the rebuilt player item is
// ready and has sought back (wall and the main thread's processor time,
// medians of five runs of four edits), and the memory each edit adds. The
// edits compose edit lists and waveform pictures; they read no audio.
#include "BenchTools.h"

#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "editing/TimeSelection.h"
#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Player.h"
#include "views/AudioDrawingView.h"
#include "views/NumberTextField.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>

namespace {

constexpr int kRate = 8000;
constexpr int kMinutes = 60;
constexpr int kVersions = 50;

QString writeLongTone(const QString& folder) {
    const QString path = QDir(folder).filePath(QStringLiteral("hour.wav"));
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    std::vector<float> block(kRate);
    for (int s = 0; s < kMinutes * 60; ++s) {
        for (int i = 0; i < kRate; ++i) block[size_t(i)] = 0.25f * float(std::sin(2 * M_PI * (200 + s % 20 * 50) * i / kRate));
        sf_writef_float(f, block.data(), kRate);
    }
    sf_close(f);
    return path;
}

using benchtools::waitUntil;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double residentMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Window {
    QTemporaryDir media;
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    bool ready = false;

    bool settled() {
        auto* item = c->audioPlayer->currentItem();
        return item && item->status() == PlayerItem::Status::ReadyToPlay && !c->shell.audioControllerIsWorking &&
               c->shell.seekTime < 0;
    }
    AudioDrawingView* lane() { return AudioController::trackLaneOf(c->trackAt(0)); }
    void select(double from, double to) {
        MusicFilter* t = c->trackAt(0);
        const double W = lane()->width(), D = t->durationInSeconds;
        lane()->selectionPaths = {SelectionPathRecord{QPointF(from / D * W, 0), QPointF(to / D * W, 0)}};
    }

    Window() {
        interface = loadMainInterface(std::make_unique<Player>());
        c = interface->audioController.get();
        c->ui.window->resize(1400, 900);
        c->ui.window->show();
        c->ui.textFieldDurationMinutes->setText(QString::number(kMinutes + 5));
        c->ui.textFieldDurationSeconds->setText(QStringLiteral("0"));
        c->updateCompositionDuration();
        c->addAudioFileToComposition(QUrl::fromLocalFile(writeLongTone(media.path())));
        if (!waitUntil([&] { return c->trackCount() == 1 && c->imports.tracksReading == 0 && settled(); })) return;
        c->currentSelectedAudio = 0;
        // Versions: silence in, then the same length out, in turn.
        for (int i = 0; c->trackAt(0)->tempFilterTracks.size() < size_t(kVersions); ++i) {
            if (i % 2 == 0) {
                c->pasteSelectionEmptyInFilterFrom(nullptr, 600 + i, 1.0, true);
            } else {
                select(600 + i - 1, 600 + i);
                c->menuRemoveSelection(nullptr, true);
            }
            if (!waitUntil([&] { return settled(); })) return;
        }
        ready = true;
    }
};

// Made once and never destroyed: its widgets must not outlive the
// application object, which goes first at exit.
Window& window() {
    static Window* w = new Window;
    return *w;
}

// Runs `edit` and waits for the player; the iteration's time is the wall
// time, with the main thread's processor time and the memory added beside.
template <typename Edit>
void timeEdits(benchmark::State& state, Edit edit, const std::function<void()>& prepare = {}) {
    Window& w = window();
    if (!w.ready) {
        state.SkipWithError("the track did not load");
        return;
    }
    double cpu = 0, added = 0;
    for (auto _ : state) {
        if (prepare) {
            prepare();
            waitUntil([&] { return w.settled(); });
        }
        const double mb = residentMB();
        const double c0 = threadCpuSeconds();
        QElapsedTimer t;
        t.start();
        edit(w);
        waitUntil([&] { return w.settled(); });
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        cpu += threadCpuSeconds() - c0;
        added += residentMB() - mb;
    }
    state.counters["main_cpu_ms"] = benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
    state.counters["added_MB"] = benchmark::Counter(added, benchmark::Counter::kAvgIterations);
    state.counters["versions"] = double(w.c->trackAt(0)->tempFilterTracks.size());
}

void BM_Paste(benchmark::State& state) {
    timeEdits(state, [](Window& w) {
        w.select(1800, 1810);
        w.c->copyCurrentSelectionFrom();
        w.c->pasteSelectionInFilterFrom(900.0);
    });
}
void BM_Removal(benchmark::State& state) {
    timeEdits(state, [](Window& w) {
        w.select(1200, 1210);
        w.c->menuRemoveSelection(nullptr, true);
    });
}
void BM_Undo(benchmark::State& state) {
    timeEdits(
        state, [](Window& w) { w.c->undoManager()->undo(); },
        [] {
            Window& w = window();
            w.select(1300, 1305);
            w.c->menuRemoveSelection(nullptr, true);
        });
}
BENCHMARK(BM_Paste)->UseManualTime()->Iterations(4)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->Name("RangeEdit/paste");
BENCHMARK(BM_Removal)->UseManualTime()->Iterations(4)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->Name("RangeEdit/removal");
BENCHMARK(BM_Undo)->UseManualTime()->Iterations(4)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->Name("RangeEdit/undo");

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
