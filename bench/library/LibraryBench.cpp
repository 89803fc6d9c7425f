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
// main thread over all iterations (goal: under 50).
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
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "BenchTools.h"
#include <QTimer>

#include <algorithm>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);

using benchtools::ffmpeg;

// The media import benchmark's 60-minute MP3 (made here when missing, the
// same way).
QString input() {
    QDir().mkpath(dataDir);
    const QString mp3 = dataDir + QStringLiteral("/sixty-minutes.mp3");
    if (QFileInfo::exists(mp3)) return mp3;
    const QString flac = dataDir + QStringLiteral("/sixty-minutes.flac");
    if (!QFileInfo::exists(flac)) {
        const QString tmp = flac + QStringLiteral(".tmp.flac");
        const QString expr = QStringLiteral(
            "0.3*sin(2*PI*(220+110*sin(2*PI*t/7))*t)+0.01*random(0)|"
            "0.3*sin(2*PI*(330+50*sin(2*PI*t/5))*t)+0.01*random(1)");
        if (!ffmpeg({"-f", "lavfi", "-i", QStringLiteral("aevalsrc=%1:s=44100:d=3600").arg(expr), "-c:a", "flac", tmp}).ok ||
            !QFile::rename(tmp, flac))
            return {};
    }
    const QString tmp = mp3 + QStringLiteral(".tmp.mp3");
    if (!ffmpeg({"-i", flac, "-c:a", "libmp3lame", "-b:a", "192k", tmp}).ok || !QFile::rename(tmp, mp3)) return {};
    return mp3;
}

// Processor seconds of this process so far, every thread.
double processSeconds() {
    struct rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void LibraryPicture(benchmark::State& state) {
    const QString path = input();
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

        // The main thread's pulse.
        QElapsedTimer pulse;
        double longest = 0;
        QTimer timer;
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            longest = std::max(longest, pulse.nsecsElapsed() / 1e6);
            pulse.restart();
        });

        QElapsedTimer t;
        const double cpu0 = processSeconds();
        t.start();
        pulse.start();
        timer.start();
        c->addAudioTracksToLibrary({QUrl::fromLocalFile(path)});
        bool drawn = false;
        while (!drawn) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            LibraryView* view = c->ui.libraryView;
            if (view->urlArray.size() == 1 && !view->urlArray.front().libraryAudioWave.isNull() &&
                c->library.pendingLibraryPictures.isEmpty()) {
                view->repaint();
                drawn = QFileInfo(medialibrary::picturePathFor(view->urlArray.front().libraryAudioTrevalunePath)).isFile();
                if (!drawn) break;
            }
            if (t.elapsed() > 600000) break;
        }
        const double s = t.nsecsElapsed() / 1e9;
        const double cpu = processSeconds() - cpu0;
        timer.stop();
        if (!drawn) {
            state.SkipWithError("the picture was never made");
            return;
        }
        benchtools::Run mine;
        mine.ok = true;
        mine.wall = s;
        mine.cpu = cpu;
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
    state.counters["ours_s"] = ours.medianWall();
    state.counters["ffmpeg_s"] = theirs.medianWall();
    state.counters["ours_cpu_s"] = ours.medianCpu();
    state.counters["ffmpeg_cpu_s"] = theirs.medianCpu();
    state.counters["ratio"] = ours.medianWall() / theirs.medianWall();
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
