// Adding a 60-minute MP3 as a track through the controller, from the call to
// the moment its waveform is drawn in its lane, against `ffmpeg -threads 1
// -i FILE -f null -` on the same file, the two alternately (ours first in
// even iterations, ffmpeg first in odd ones); meanwhile a 1 ms
// timer on the main thread measures the longest stall of the window. Each
// iteration starts with an empty decoded cache and a new main window.
// Counters, medians of the iterations: "ours_s" and "ffmpeg_s" wall seconds,
// "ours_cpu_s" and "ffmpeg_cpu_s" processor seconds (ours: this process's
// during the add, every thread), "ratio" ours / ffmpeg in wall time (goal: at
// most 1.5); "stall_ms" is the longest gap between two timer ticks on the
// main thread over all iterations (goal: under 16, a frame at 60 Hz).
#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "engine/MusicFilter.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/DecodedCache.h"
#include "platform/media/Player.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "BenchTools.h"

#include <algorithm>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);

using benchtools::ffmpeg;

void AddTrack(benchmark::State& state) {
    const QString path = benchtools::sixtyMinuteInput(dataDir, QStringLiteral("mp3"));
    if (path.isEmpty()) {
        state.SkipWithError("the input could not be made with ffmpeg");
        return;
    }
    const QString cache = dataDir + QStringLiteral("/add-track-cache");
    DecodedCache::setFolder(cache);
    benchtools::Series ours, theirs;
    double stall = 0;
    int iteration = 0;
    auto runFfmpeg = [&] {
        const benchtools::Run f = benchtools::ffmpegDecode(path);
        theirs.add(f);
        return f.ok;
    };
    for (auto _ : state) {
        const bool ffmpegFirst = iteration++ % 2 == 1;
        if (ffmpegFirst && !runFfmpeg()) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        QDir(cache).removeRecursively();
        QDir().mkpath(cache);
        auto interface = loadMainInterface(std::make_unique<Player>(std::make_unique<NullAudioOutput>(44100)));
        AudioController* c = interface->audioController.get();
        c->ui.window->show();
        QApplication::processEvents();

        double longest = 0;
        const benchtools::Run mine = benchtools::timeOnMainThread(
            [&] { c->addAudioFileToComposition(QUrl::fromLocalFile(path)); },
            [&] {
                if (c->trackCount() != 1) return false;
                MusicFilter* track = c->ui.audioView->audioTracks.front().audioFilter.get();
                auto* lane = qobject_cast<AudioDrawingView*>(track->audioDrawingView);
                if (!lane || lane->loadingProgress >= 0 || track->filterBitmaps.isEmpty()) return false;
                lane->repaint();
                return true;
            },
            &longest);
        if (!mine.ok) {
            state.SkipWithError("the waveform was never drawn");
            return;
        }
        const double s = mine.wall;
        ours.add(mine);
        stall = std::max(stall, longest);
        state.SetIterationTime(s);
        interface.reset();
        QApplication::processEvents();

        if (!ffmpegFirst && !runFfmpeg()) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
    benchtools::setCountersAgainstFfmpeg(state, ours, theirs);
    state.counters["stall_ms"] = stall;
    QDir(cache).removeRecursively();
}

}  // namespace

BENCHMARK(AddTrack)->Name("AddTrack/mp3_60min")->Iterations(5)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
