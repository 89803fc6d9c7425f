// Adding a 60-minute MP3 to the media library through the controller, from
// the call to the moment its row holds its waveform picture and the picture
// is stored beside the file, against `ffmpeg -threads 1 -i FILE -f null -`
// on the same file after each add; meanwhile a 1 ms timer on the main thread
// measures the longest stall of the window. Each iteration starts with an
// empty decoded cache, an empty library and a new main window.
// Counters, medians of the iterations: "ours_s" and "ffmpeg_s" wall seconds,
// "ours_cpu_s" and "ffmpeg_cpu_s" processor seconds (ours: this process's
// during the add, every thread), "ratio" ours / ffmpeg in wall time (goal: at
// most 1.5); "stall_ms" is the longest gap between two timer ticks on the
// main thread over all iterations (goal: under 16, a frame at 60 Hz).
#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "library/LibraryFolder.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/DecodedCache.h"
#include "platform/media/Player.h"
#include "views/LibraryView.h"

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

void LibraryPicture(benchmark::State& state) {
    const QString path = benchtools::sixtyMinuteInput(dataDir, QStringLiteral("mp3"));
    if (path.isEmpty()) {
        state.SkipWithError("the input could not be made with ffmpeg");
        return;
    }
    const QString cache = dataDir + QStringLiteral("/add-track-cache");
    DecodedCache::setFolder(cache);
    const QString library = dataDir + QStringLiteral("/library-bench-library");
    benchtools::Series ours, theirs;
    double stall = 0;
    for (auto _ : state) {
        QDir(cache).removeRecursively();
        QDir().mkpath(cache);
        QDir(library).removeRecursively();
        QDir().mkpath(library);
        auto interface = loadMainInterface(std::make_unique<Player>(std::make_unique<NullAudioOutput>(44100)));
        AudioController* c = interface->audioController.get();
        c->library.mediaLibraryPath = library;
        c->ui.window->show();
        QApplication::processEvents();

        double longest = 0;
        bool stored = false;  // the picture is beside the file
        const benchtools::Run mine = benchtools::timeOnMainThread(
            [&] { c->addAudioTracksToLibrary({QUrl::fromLocalFile(path)}); },
            [&] {
                LibraryView* view = c->ui.libraryView;
                if (view->urlArray.size() != 1 || view->urlArray.front().libraryAudioWave.isNull() ||
                    !c->library.pendingLibraryPictures.isEmpty())
                    return false;
                view->repaint();
                stored = QFileInfo(medialibrary::picturePathFor(view->urlArray.front().libraryAudioTrevalunePath)).isFile();
                return true;
            },
            &longest);
        if (!mine.ok || !stored) {
            state.SkipWithError("the picture was never made");
            return;
        }
        const double s = mine.wall;
        ours.add(mine);
        stall = std::max(stall, longest);
        state.SetIterationTime(s);
        interface.reset();
        QApplication::processEvents();

        const benchtools::Run f = benchtools::ffmpegDecode(path);
        if (!f.ok) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        theirs.add(f);
    }
    benchtools::setCountersAgainstFfmpeg(state, ours, theirs);
    state.counters["stall_ms"] = stall;
    QDir(cache).removeRecursively();
    QDir(library).removeRecursively();
}

}  // namespace

BENCHMARK(LibraryPicture)->Name("LibraryPicture/mp3_60min")->Iterations(5)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
