// The main thread's cost of one step of a playhead drag while paused: the
// playhead, position slider and time labels moved, the selected track's 24
// curves evaluated into its inputs and sliders, and the ruler layer redrawn,
// with 16 tracks in the composition. A frame at 60 Hz lasts 16.7 ms.
#include "BenchTools.h"

#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "engine/EffectInputs.h"
#include "engine/MusicFilter.h"
#include "platform/media/Player.h"
#include "views/AudioView.h"
#include "views/NumberTextField.h"
#include "views/LineView.h"
#include "views/SmallViews.h"

#include <QApplication>
#include <QMainWindow>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kTracks = 16;
constexpr int kPoints = 1000;
constexpr int kRate = 44100;

QString writeTone(const QString& folder, int index) {
    const QString path = QDir(folder).filePath(QStringLiteral("tone%1.wav").arg(index));
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    const int frames = 10 * kRate;
    std::vector<float> data(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i)
        data[2 * size_t(i)] = data[2 * size_t(i) + 1] = 0.25f * float(std::sin(2 * M_PI * (220 + 20 * index) * i / kRate));
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
    return path;
}

// The main window with 16 tracks of 10 s in a composition of 10 minutes,
// the player paused and ready, the first track selected.
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
        c->ui.textFieldDurationMinutes->setText(QStringLiteral("10"));
        c->ui.textFieldDurationSeconds->setText(QStringLiteral("0"));
        c->updateCompositionDuration();
        for (int i = 0; i < kTracks; ++i) {
            c->addAudioFileToComposition(QUrl::fromLocalFile(writeTone(media.path(), i)));
            benchtools::waitUntil([&] { return c->trackCount() == i + 1 && c->imports.tracksReading == 0; });
        }
        ready = benchtools::waitUntil([&] {
            auto* item = c->audioPlayer->currentItem();
            return c->trackCount() == kTracks && item && item->status() == PlayerItem::Status::ReadyToPlay &&
                   !c->shell.audioControllerIsWorking;
        });
        c->currentSelectedAudio = 0;
    }
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
