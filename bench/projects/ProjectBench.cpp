// A project of 16 tracks, each a 10-minute stereo WAV file, in a shown
// (offscreen) main window.
// Save: the project written into a new folder (every source copied) through
// the menu's path, the copies on a worker, against `cp` of the same 16 files
// into a new folder; a `sync` and a settle before each run on both sides,
// run alternately five times.
// Load: the folder opened until the player's item is ready (every source
// decoded into an empty decoded cache) against `ffmpeg -threads 1 -i FILE
// -f null -` on the 16 files one after another, run alternately five times.
// Meanwhile a 1 ms timer on the main thread measures its stalls: the longest
// gap between two of its ticks.
// Counters (medians of the five): "save_s", "cp_s", "load_s", "ffmpeg_s"
// wall seconds and their processor seconds; "save_ratio", "load_ratio" ours
// over the peer's; "save_stall_ms" the longest stall while the save copies
// and writes, "save_start_ms" the main thread's share at its start (the
// window's picture and the records), "load_stall_ms" the longest stall of a
// load (goals: under 16), "*_stall_max_ms" the worst of the five runs,
// "load_stalls_over_16" the stalls of 16 ms or more in a load, and "loadavg"
// the machine's one-minute load average while it ran (a figure taken on a
// busy machine says so).
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
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include "BenchTools.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>

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

// The main thread's heartbeat: a 1 ms timer whose longest gap between two
// ticks is the longest time the main thread could not answer.
struct Heartbeat {
    QElapsedTimer pulse;
    QTimer timer;
    double longest = 0;
    int over16 = 0;
    Heartbeat() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const double gap = pulse.nsecsElapsed() / 1e6;
            longest = std::max(longest, gap);
            if (gap >= 16) ++over16;
            pulse.restart();
        });
    }
    void start() {
        longest = 0;
        over16 = 0;
        pulse.start();
        timer.start();
    }
    void stop() { timer.stop(); }
};

// Runs the event loop until `done` (checked every 2 ms, without spinning).
bool runUntil(const std::function<bool()>& done, int timeoutMs = 600000) {
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > timeoutMs) loop.quit();
    });
    check.start();
    loop.exec();
    return done();
}

// Both sides start from the same disk state: what is dirty written out, and
// a moment for the writes to settle.
void syncAndSettle() {
    ::sync();
    QThread::msleep(500);
}

double loadAverage() {
    std::ifstream f("/proc/loadavg");
    double one = 0;
    f >> one;
    return one;
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

constexpr int kRounds = 5;

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
    std::vector<double> loads;
    loads.push_back(loadAverage());

    for (auto _ : state) {
        // The composition to save, made once.
        QDir(project).removeRecursively();
        {
            Session s;
            for (const QString& f : files) s.c->addAudioFileToComposition(QUrl::fromLocalFile(f));
            runUntil([&] { return s.c->trackCount() == kTracks && s.c->imports.tracksReading == 0 && s.ready(); });
            if (s.c->trackCount() != kTracks) {
                state.SkipWithError("the tracks could not be added");
                return;
            }

            benchtools::Series ours, theirs;
            std::vector<double> stalls, starts;
            auto save = [&] {
                QDir(project).removeRecursively();
                s.c->library.projectURL = QUrl();
                syncAndSettle();
                Heartbeat beat;
                benchtools::Run r;
                const double cpu0 = processSeconds();
                QElapsedTimer w;
                w.start();
                // The heartbeat runs before the command, so that the command's
                // own time on the main thread counts as a stall.
                beat.start();
                s.c->beginProjectSave(QUrl::fromLocalFile(project));
                starts.push_back(w.nsecsElapsed() / 1e6);
                runUntil([&] { return !s.c->projectSaveIsRunning(); });
                // The copies are on the disk, as cp's are when it returns.
                r.wall = w.nsecsElapsed() / 1e9;
                r.cpu = processSeconds() - cpu0;
                beat.stop();
                stalls.push_back(beat.longest);
                r.ok = s.c->library.projectURL == QUrl::fromLocalFile(project);
                return r;
            };
            auto cp = [&] {
                QDir(copies).removeRecursively();
                QDir().mkpath(copies);
                syncAndSettle();
                return benchtools::run(QStringLiteral("cp"), files + QStringList{copies});
            };
            if (!benchtools::alternate(kRounds, save, cp, &ours, &theirs)) {
                state.SkipWithError("a save or a copy failed");
                return;
            }
            loads.push_back(loadAverage());
            QDir(copies).removeRecursively();
            state.counters["save_s"] = ours.medianWall();
            state.counters["save_cpu_s"] = ours.medianCpu();
            state.counters["cp_s"] = theirs.medianWall();
            state.counters["cp_cpu_s"] = theirs.medianCpu();
            state.counters["save_ratio"] = ours.medianWall() / theirs.medianWall();
            state.counters["save_stall_ms"] = benchtools::median(stalls);
            state.counters["save_stall_max_ms"] = *std::max_element(stalls.begin(), stalls.end());
            state.counters["save_start_ms"] = benchtools::median(starts);
        }

        benchtools::Series ours, theirs;
        std::vector<double> stalls, over16;
        auto load = [&] {
            QDir(cache).removeRecursively();
            QDir().mkpath(cache);
            Session s;
            Heartbeat beat;
            benchtools::Run r;
            const double cpu0 = processSeconds();
            QElapsedTimer w;
            w.start();
            beat.start();
            s.c->loadTrackToCompositionForProject(QUrl::fromLocalFile(project));
            runUntil([&] { return s.c->projectLoading && s.c->projectLoading->restored && s.ready(); });
            r.wall = w.nsecsElapsed() / 1e9;
            r.cpu = processSeconds() - cpu0;
            beat.stop();
            r.ok = s.c->trackCount() == kTracks && s.ready();
            stalls.push_back(beat.longest);
            over16.push_back(beat.over16);
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
        if (!benchtools::alternate(kRounds, load, decode, &ours, &theirs)) {
            state.SkipWithError("a load or a decode failed");
            return;
        }
        loads.push_back(loadAverage());
        state.SetIterationTime(ours.medianWall());
        state.counters["load_s"] = ours.medianWall();
        state.counters["load_cpu_s"] = ours.medianCpu();
        state.counters["ffmpeg_s"] = theirs.medianWall();
        state.counters["ffmpeg_cpu_s"] = theirs.medianCpu();
        state.counters["load_ratio"] = ours.medianWall() / theirs.medianWall();
        state.counters["load_stall_ms"] = benchtools::median(stalls);
        state.counters["load_stall_max_ms"] = *std::max_element(stalls.begin(), stalls.end());
        state.counters["load_stalls_over_16"] = benchtools::median(over16);
    }
    state.counters["loadavg"] = *std::max_element(loads.begin(), loads.end());
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
BENCHMARK(Project)->Name("Project/16x10min_wav")->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
