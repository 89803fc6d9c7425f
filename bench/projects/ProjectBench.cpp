// A project of 16 tracks, each a 10-minute stereo WAV file.
// Save: the project written into a new folder (every source copied) against
// `cp` of the same 16 files into a new folder, run alternately.
// Load: the folder opened until the player's item is ready (every source
// decoded into an empty decoded cache) against `ffmpeg -threads 1 -i FILE
// -f null -` on the 16 files one after another, run alternately; meanwhile a
// 1 ms timer on the main thread measures its longest stall.
// Counters (medians): "ours_s", "cp_s" / "ffmpeg_s" wall seconds, the
// processor seconds beside them, "ratio" ours / reference (load goal: at
// most 1.3), "stall_ms" the longest main-thread gap (goal: under 50).
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "library/ProjectLoading.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/DecodedCache.h"
#include "platform/media/Player.h"
#include "views/AudioView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "BenchTools.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);
constexpr int kTracks = 16;

double processSeconds() {
    struct rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The 16 sources, made with ffmpeg when missing (each its own tone).
QStringList sources() {
    QDir().mkpath(dataDir);
    QStringList out;
    for (int i = 0; i < kTracks; ++i) {
        const QString path = dataDir + QStringLiteral("/track-%1.wav").arg(i + 1, 2, 10, QLatin1Char('0'));
        if (!QFileInfo::exists(path)) {
            const QString tmp = path + QStringLiteral(".tmp.wav");
            const QString expr = QStringLiteral("0.2*sin(2*PI*%1*t)+0.01*random(0)|0.2*sin(2*PI*%2*t)+0.01*random(1)")
                                     .arg(110 + 20 * i).arg(165 + 20 * i);
            if (!benchtools::ffmpeg({"-f", "lavfi", "-i", QStringLiteral("aevalsrc=%1:s=44100:d=600").arg(expr),
                                     "-c:a", "pcm_s16le", tmp}).ok ||
                !QFile::rename(tmp, path))
                return {};
        }
        out << path;
    }
    return out;
}

struct Session {
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    Session() {
        interface = loadMainInterface(std::make_unique<Player>(std::make_unique<NullAudioOutput>(44100)));
        c = interface->audioController.get();
        c->ui.window->resize(1400, 900);
        c->ui.window->show();
        setAlertRunner([](QWidget*, const AlertRequest&) { return 0; });
        QApplication::processEvents();
    }
    ~Session() {
        interface.reset();
        QApplication::processEvents();
    }
    bool ready() const {
        auto* item = c->audioPlayer ? c->audioPlayer->currentItem() : nullptr;
        return item && item->status() == PlayerItem::Status::ReadyToPlay;
    }
};

void Project(benchmark::State& state) {
    const QStringList files = sources();
    if (files.size() != kTracks) {
        state.SkipWithError("the sources could not be made with ffmpeg");
        return;
    }
    const QString cache = dataDir + QStringLiteral("/cache");
    DecodedCache::setFolder(cache);
    const QString project = dataDir + QStringLiteral("/Bench.trvproj");
    const QString copies = dataDir + QStringLiteral("/copies");

    // The composition to save, made once.
    QDir(project).removeRecursively();
    {
        Session s;
        for (const QString& f : files) s.c->addAudioFileToComposition(QUrl::fromLocalFile(f));
        QElapsedTimer t;
        t.start();
        while ((s.c->trackCount() < kTracks || s.c->imports.tracksReading > 0 || !s.ready()) && t.elapsed() < 600000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (s.c->trackCount() != kTracks) {
            state.SkipWithError("the tracks could not be added");
            return;
        }

        benchtools::Series ours, theirs;
        auto save = [&] {
            QDir(project).removeRecursively();
            benchtools::Run r;
            const double cpu0 = processSeconds();
            QElapsedTimer w;
            w.start();
            QString error;
            r.ok = s.c->saveProjectToURL(QUrl::fromLocalFile(project), &error);
            r.wall = w.nsecsElapsed() / 1e9;
            r.cpu = processSeconds() - cpu0;
            return r;
        };
        auto cp = [&] {
            QDir(copies).removeRecursively();
            QDir().mkpath(copies);
            return benchtools::run(QStringLiteral("cp"), files + QStringList{copies});
        };
        if (!benchtools::alternate(3, save, cp, &ours, &theirs)) {
            state.SkipWithError("a save or a copy failed");
            return;
        }
        QDir(copies).removeRecursively();
        state.counters["save_s"] = ours.medianWall();
        state.counters["save_cpu_s"] = ours.medianCpu();
        state.counters["cp_s"] = theirs.medianWall();
        state.counters["cp_cpu_s"] = theirs.medianCpu();
        state.counters["save_ratio"] = ours.medianWall() / theirs.medianWall();
    }

    benchtools::Series ours, theirs;
    double stall = 0;
    for (auto _ : state) {
        auto load = [&] {
            QDir(cache).removeRecursively();
            QDir().mkpath(cache);
            Session s;
            QElapsedTimer pulse;
            double longest = 0;
            QTimer timer;
            timer.setInterval(1);
            QObject::connect(&timer, &QTimer::timeout, [&] {
                longest = std::max(longest, pulse.nsecsElapsed() / 1e6);
                pulse.restart();
            });
            benchtools::Run r;
            const double cpu0 = processSeconds();
            QElapsedTimer w;
            w.start();
            pulse.start();
            timer.start();
            s.c->loadTrackToCompositionForProject(QUrl::fromLocalFile(project));
            while (!(s.c->projectLoading && s.c->projectLoading->restored && s.ready()) && w.elapsed() < 600000)
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            r.wall = w.nsecsElapsed() / 1e9;
            r.cpu = processSeconds() - cpu0;
            timer.stop();
            r.ok = s.c->trackCount() == kTracks && s.ready();
            stall = std::max(stall, longest);
            state.SetIterationTime(r.wall);
            return r;
        };
        auto decode = [&] {
            benchtools::Run total;
            total.ok = true;
            for (const QString& f : QDir(project).entryList({QStringLiteral("*.wav")}, QDir::Files)) {
                const benchtools::Run r = benchtools::ffmpegDecode(QDir(project).filePath(f));
                total.ok = total.ok && r.ok;
                total.wall += r.wall;
                total.cpu += r.cpu;
            }
            return total;
        };
        if (!benchtools::alternate(1, load, decode, &ours, &theirs)) {
            state.SkipWithError("a load or a decode failed");
            return;
        }
    }
    state.counters["load_s"] = ours.medianWall();
    state.counters["load_cpu_s"] = ours.medianCpu();
    state.counters["ffmpeg_s"] = theirs.medianWall();
    state.counters["ffmpeg_cpu_s"] = theirs.medianCpu();
    state.counters["load_ratio"] = ours.medianWall() / theirs.medianWall();
    state.counters["stall_ms"] = stall;
    QDir(cache).removeRecursively();
}

double residentMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A project of two 10-second tracks opened 100 times in one window, as a
// user opening projects one after another does. Counters: "first_mb" the
// resident memory after the first load, "last_mb" after the last,
// "growth_mb" the difference (goal: under 10) and "per_load_kb" its share
// of each load after the first.
void ProjectReloads(benchmark::State& state) {
    const QString folder = dataDir + QStringLiteral("/reloads");
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 0; i < 2; ++i) {
        const QString path = folder + QStringLiteral("/short-%1.wav").arg(i + 1);
        if (!QFileInfo::exists(path) &&
            !benchtools::ffmpeg({"-f", "lavfi", "-i", QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=10").arg(330 + 220 * i),
                                 "-ac", "2", "-c:a", "pcm_s16le", path}).ok) {
            state.SkipWithError("the sources could not be made with ffmpeg");
            return;
        }
        files << path;
    }
    const QString project = folder + QStringLiteral("/Reload.trvproj");
    const int loads = int(state.range(0));
    for (auto _ : state) {
        Session s;
        QDir(project).removeRecursively();
        for (const QString& f : files) s.c->addAudioFileToComposition(QUrl::fromLocalFile(f));
        if (!benchtools::waitUntil([&] { return s.c->trackCount() == 2 && s.c->imports.tracksReading == 0 && s.ready(); }) ||
            !s.c->saveProjectToURL(QUrl::fromLocalFile(project), nullptr)) {
            state.SkipWithError("the project could not be made");
            return;
        }
        double first = 0;
        for (int i = 0; i < loads; ++i) {
            s.c->loadTrackToCompositionForProject(QUrl::fromLocalFile(project));
            if (!benchtools::waitUntil([&] {
                    return s.c->projectLoading && s.c->projectLoading->restored && s.c->tapCounter() == 0 &&
                           s.ready() && s.c->trackCount() == 2;
                })) {
                state.SkipWithError("a load did not end");
                return;
            }
            // What the load left for later (deferred deletions, queued calls) runs first.
            for (int k = 0; k < 5; ++k) {
                QApplication::processEvents();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            if (i == 0) first = residentMB();
        }
        const double last = residentMB();
        state.counters["first_mb"] = first;
        state.counters["last_mb"] = last;
        state.counters["growth_mb"] = last - first;
        state.counters["per_load_kb"] = loads > 1 ? (last - first) * 1024.0 / (loads - 1) : 0.0;
    }
}

}  // namespace

BENCHMARK(ProjectReloads)->Name("ProjectReloads/2x10s")->Arg(100)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(Project)->Name("Project/16x10min_wav")->Iterations(3)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
