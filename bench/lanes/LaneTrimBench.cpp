// The main thread's cost of one drag step of a track's edge trim with the
// repaint it causes (the lane and the ruler layer), and of drawing all the
// lanes afresh, with 32 tracks whose lanes show a curve of 10,000 key points
// each. A frame at 60 Hz lasts 16.7 ms. Run under `taskset -c N` for one core.
#include "BenchTools.h"

#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Player.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/LineView.h"
#include "views/NumberTextField.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kTracks = 32;
constexpr int kPoints = 10000;
constexpr int kRate = 44100;

QString writeTone(const QString& folder, int index) {
    const QString path = QDir(folder).filePath(QStringLiteral("tone%1.wav").arg(index));
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    const int frames = 20 * kRate;
    std::vector<float> data(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i)
        data[2 * size_t(i)] = data[2 * size_t(i) + 1] = 0.25f * float(std::sin(2 * M_PI * (220 + 20 * index) * i / kRate));
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
    return path;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 300000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The main window with 32 tracks of 20 s in a composition of 100 s, each
// lane showing its audio-mix curve of 10,000 points, in trim mode; the
// first track selected.
struct Window {
    QTemporaryDir media;
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    bool ready = false;

    Window() {
        interface = loadMainInterface(std::make_unique<Player>());
        c = interface->audioController.get();
        c->ui.window->resize(1400, 900);
        c->ui.window->show();
        c->ui.textFieldDurationMinutes->setText(QStringLiteral("1"));
        c->ui.textFieldDurationSeconds->setText(QStringLiteral("40"));
        c->updateCompositionDuration();
        for (int i = 0; i < kTracks; ++i) {
            c->addAudioFileToComposition(QUrl::fromLocalFile(writeTone(media.path(), i)));
            waitUntil([&] { return c->trackCount() == i + 1 && c->imports.tracksReading == 0; });
        }
        ready = waitUntil([&] {
            auto* item = c->audioPlayer->currentItem();
            return c->trackCount() == kTracks && item && item->status() == PlayerItem::Status::ReadyToPlay &&
                   !c->shell.audioControllerIsWorking;
        });
        for (int i = 0; i < kTracks; ++i) {
            MusicFilter* track = c->trackAt(quint64(i));
            track->typeOfComposition = 1;
            track->showParameterCurve = 1;
            KeyPointCurve curve;
            for (int k = 0; k < kPoints; ++k) curve.push_back({k * 0.002, 0.25 + 0.5 * (k % 2), std::nullopt});
            c->automation.recordedParameters[track->identifierOfFilter][QStringLiteral("inputAudioMix")] =
                std::move(curve);
        }
        c->currentSelectedAudio = 0;
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
