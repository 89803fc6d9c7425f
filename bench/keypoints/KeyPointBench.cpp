// Editing key points in a busy window: 32 lanes of 600 s tracks, each showing
// an audio-mix curve of 10,000 points, in the main window with its
// controller. Measures one drag step of a key point (the working curve
// changed, re-sorted and published, the controls set from it, the events it
// posts handled) with the repaint of its lane, and a full repaint of the 32
// lanes. Run under `taskset -c N` for one core; a step with its repaint
// should stay well under a 60 Hz frame (16 ms). With KEYPOINT_BENCH_SHOT set
// to a file name, the dragged lane's last picture is saved there to look at.
#include "BenchTools.h"

#include "app/MainInterface.h"
#include "engine/MusicFilter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <cstdlib>

namespace {

constexpr int kLanes = 32;
constexpr int kPoints = 10000;
constexpr double kSeconds = 600;
constexpr int kLaneWidth = 1400;

struct Window {
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    std::vector<AudioDrawingView*> lanes;

    Window() {
        interface = loadMainInterface(nullptr);
        c = interface->audioController.get();
        AudioView* area = c->ui.audioView;
        area->resize(kLaneWidth, kLanes * AudioView::RowHeight);
        area->audioController = c;  // as the first import sets it
        KeyPointCurve curve;
        for (int i = 0; i < kPoints; ++i)
            curve.push_back({i * kSeconds / kPoints, 0.25 + 0.5 * ((i / 7) % 2),
                             i % 10 == 0 ? std::optional<int32_t>(KeyPoint::kRecordingBoundary) : std::nullopt});
        for (int i = 0; i < kLanes; ++i) {
            auto track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
            track->setDefaults();
            track->durationInSeconds = kSeconds;
            track->trackRatio = 1.0;
            track->showParameterCurve = 1;
            track->isRecordingParameters = 1;
            track->setAnimationStart(MediaTime::fromSeconds(0, 44100));
            track->setCurrentTimeRange({MediaTime::fromSeconds(0, 44100), MediaTime::fromSeconds(kSeconds, 44100)});
            area->audioTracks.push_back(TrackRecord{QUrl::fromLocalFile(QStringLiteral("/tmp/keys.wav")), track, {}});
            AudioDrawingView* lane = c->addTrackLane(*track, quint64(i));
            lanes.push_back(lane);
            c->automation.recordedParameters[track->identifierOfFilter][QStringLiteral("inputAudioMix")] = curve;
        }
        c->automation.tempRecorderParameters = c->automation.recordedParameters;
        c->publishAllRecordedParameters();
        c->currentSelectedAudio = 0;
        // As when the player's item is ready.
        c->setViewControlsEnabled(true);
        area->setViewAcceptsMouseEvents(true);
    }
    void send(AudioDrawingView* lane, QEvent::Type type, QPointF p) {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, p, p, lane->mapToGlobal(p), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(lane, &e);
    }
};

// Made once and kept to the end of the program (it must not outlive the application).
Window& window() {
    static Window* w = new Window;
    return *w;
}

// The repaint a lane's update() leads to, drawn into an image of its size.
void repaint(AudioDrawingView* lane, QImage& image) {
    image.fill(Qt::transparent);
    lane->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
}

// Arg 1: with the lane's repaint; 0: the step alone.
void KeyPointDragStep(benchmark::State& state) {
    const bool withRepaint = state.range(0) != 0;
    Window& w = window();
    AudioDrawingView* lane = w.lanes[0];
    QImage image(lane->size(), QImage::Format_ARGB32_Premultiplied);
    // A press on empty space adds a point in the middle and grabs it; the
    // steps then sweep it back and forth across 200 points of the curve.
    const double middle = lane->width() / 2.0;
    w.send(lane, QEvent::MouseButtonPress, {middle, 10});
    int i = 0;
    for (auto _ : state) {
        const double x = middle + 10.0 * double(i++ % 3 - 1);
        w.send(lane, QEvent::MouseMove, {x, 20.0 + 160.0 * (i % 2)});
        QCoreApplication::processEvents();
        if (withRepaint) repaint(lane, image);
        benchmark::DoNotOptimize(image.constBits());
    }
    w.send(lane, QEvent::MouseButtonRelease, {middle, 100});
    QCoreApplication::processEvents();
    if (std::getenv("KEYPOINT_BENCH_SHOT")) {
        image.save(QString::fromLocal8Bit(std::getenv("KEYPOINT_BENCH_SHOT")));
        fprintf(stderr, "lane %dx%d, points %zu, undo %d\n", lane->width(), lane->height(),
                w.c->automation.recordedParameters[w.c->trackAt(0)->identifierOfFilter][QStringLiteral("inputAudioMix")].size(),
                w.c->undoManager()->undoCount());
    }
    state.counters["steps_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(KeyPointDragStep)->ArgName("repaint")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void LanesFullRepaint(benchmark::State& state) {
    Window& w = window();
    QImage image(w.lanes[0]->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        for (AudioDrawingView* lane : w.lanes) repaint(lane, image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel("32 lanes x 10,000 points");
}
BENCHMARK(LanesFullRepaint)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
