#pragma once

// What the benchmark programs share: a runner that times a whole process
// (wall and processor time, the child's peak memory), ffmpeg and sox through
// it, medians over alternating runs, and a temporary home folder so that no
// benchmark writes to the user's settings, data or caches.
//
// Figures are medians of the runs, never the best: the machine may be busy,
// and a best run flatters whichever side happened to be lucky. Run a program
// under `taskset -c N` to pin it and every process it starts to one processor.

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace benchtools {

// One finished process: wall seconds, processor seconds (user and system,
// every thread) and peak resident memory.
struct Run {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    double peakMB = 0;
};

// Runs `program` with `args` to its end, its output thrown away (standard
// error kept when `showErrors`), and times it.
inline Run run(const QString& program, const QStringList& args, bool showErrors = true) {
    std::vector<std::string> words{program.toStdString()};
    for (const QString& a : args) words.push_back(a.toStdString());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!showErrors) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run r;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return r;
    int status = 0;
    struct rusage use {};
    if (::wait4(pid, &status, 0, &use) != pid) return r;
    r.wall = t.nsecsElapsed() / 1e9;
    r.cpu = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
            double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    r.peakMB = double(use.ru_maxrss) / 1024.0;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

// ffmpeg quietly with `args`.
inline Run ffmpeg(const QStringList& args) {
    return run(QStringLiteral("ffmpeg"), QStringList{"-nostdin", "-v", "error", "-y"} + args);
}
inline bool ffmpeg(const QStringList& args, double* seconds) {
    const Run r = ffmpeg(args);
    if (seconds) *seconds = r.wall;
    return r.ok;
}
// ffmpeg decoding `path` on one thread and throwing the audio away: the
// reference for every import figure.
inline Run ffmpegDecode(const QString& path) {
    return ffmpeg({"-threads", "1", "-i", path, "-f", "null", "-"});
}

// This program again, with `args` (a benchmark's child mode).
inline Run self(const QStringList& args) {
    return run(QCoreApplication::applicationFilePath(), args);
}

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// The medians of a series of runs.
struct Series {
    std::vector<double> wall, cpu, peakMB;
    void add(const Run& r) {
        wall.push_back(r.wall);
        cpu.push_back(r.cpu);
        peakMB.push_back(r.peakMB);
    }
    double medianWall() const { return median(wall); }
    double medianCpu() const { return median(cpu); }
    double medianPeakMB() const { return median(peakMB); }
};

// Runs two sides `rounds` times each, alternately (ours first in even
// rounds, theirs first in odd ones), so that a change in the machine's load
// reaches both alike. False as soon as a run fails.
inline bool alternate(int rounds, const std::function<Run()>& ours, const std::function<Run()>& theirs,
                      Series* oursSeries, Series* theirsSeries) {
    for (int i = 0; i < rounds; ++i) {
        for (int side = 0; side < 2; ++side) {
            const bool oursNow = (side == 0) == (i % 2 == 0);
            const Run r = oursNow ? ours() : theirs();
            if (!r.ok) return false;
            (oursNow ? oursSeries : theirsSeries)->add(r);
        }
    }
    return true;
}

// Runs the event loop until `done` holds or `timeoutMs` passes; true if it
// held. The main thread sleeps between events, as the application's would:
// `done` is checked after each wake-up (a worker's report posted to the main
// thread, a timer, a paint), and a 2 ms timer wakes the loop for conditions
// that change without an event. Spinning here would add a core's worth of
// processor time to every figure and take that core from the work measured.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 600000) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(2);
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Processor seconds (user and system, every thread) of this process so far.
inline double processCpuSeconds() {
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The main thread's pulse: a 1 ms timer whose longest gap between two ticks
// is the longest the event loop went without running (a gap of 1 ms is no
// stall at all).
class MainThreadPulse {
public:
    MainThreadPulse() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ >= 0) longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void start() {
        clock_.start();
        last_ = -1;
        longest_ = 0;
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double longestStallMs() const { return longest_ / 1e6; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1, longest_ = 0;
};

// Runs `start`, then the event loop until `finished` holds (`timeoutMs` at
// most), in wall and processor seconds of this process (every thread), with
// the main thread's longest stall meanwhile. The run is not ok when
// `finished` never held.
inline Run timeOnMainThread(const std::function<void()>& start, const std::function<bool()>& finished,
                            double* longestStallMs, int timeoutMs = 600000) {
    MainThreadPulse pulse;
    Run r;
    QElapsedTimer t;
    const double cpu0 = processCpuSeconds();
    t.start();
    pulse.start();
    start();
    r.ok = waitUntil(finished, timeoutMs);
    r.wall = t.nsecsElapsed() / 1e9;
    r.cpu = processCpuSeconds() - cpu0;
    pulse.stop();
    if (longestStallMs) *longestStallMs = pulse.longestStallMs();
    return r;
}

// The counters of a benchmark timed against a reference tool: medians of
// wall ("ours_s", "ffmpeg_s") and processor seconds ("ours_cpu_s",
// "ffmpeg_cpu_s") and the ratio of the wall times.
inline void setCountersAgainstFfmpeg(benchmark::State& state, const Series& ours, const Series& theirs) {
    state.counters["ours_s"] = ours.medianWall();
    state.counters["ffmpeg_s"] = theirs.medianWall();
    state.counters["ours_cpu_s"] = ours.medianCpu();
    state.counters["ffmpeg_cpu_s"] = theirs.medianCpu();
    state.counters["ratio"] = ours.medianWall() / theirs.medianWall();
}

// The file `name` in `folder`, made with ffmpeg from `args` (the output path
// follows them) when it is missing, and kept for the next run. It is written
// under a temporary name and renamed, so a failed run leaves no file. Empty
// when it cannot be made.
inline QString generatedFile(const QString& folder, const QString& name, const QStringList& args) {
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    if (QFileInfo::exists(path)) return path;
    const QString tmp = folder + QStringLiteral("/tmp-") + name;
    if (!ffmpeg(args + QStringList{tmp}).ok || !QFile::rename(tmp, path)) return {};
    return path;
}

// The 60-minute inputs of the import benchmarks, in `folder`: a gliding
// two-voice tone with a little noise as 24-bit FLAC ("flac"), 16-bit FLAC
// ("flac16") or a 192 kbit/s MP3 ("mp3").
inline QString sixtyMinuteInput(const QString& folder, const QString& kind) {
    const QString expr = QStringLiteral(
        "0.3*sin(2*PI*(220+110*sin(2*PI*t/7))*t)+0.01*random(0)|"
        "0.3*sin(2*PI*(330+50*sin(2*PI*t/5))*t)+0.01*random(1)");
    const QString flac = generatedFile(folder, QStringLiteral("sixty-minutes.flac"),
                                       {"-f", "lavfi", "-i", QStringLiteral("aevalsrc=%1:s=44100:d=3600").arg(expr),
                                        "-c:a", "flac"});
    if (flac.isEmpty() || kind == QLatin1String("flac")) return flac;
    if (kind == QLatin1String("flac16"))
        return generatedFile(folder, QStringLiteral("sixty-minutes-16.flac"),
                             {"-i", flac, "-c:a", "flac", "-sample_fmt", "s16"});
    return generatedFile(folder, QStringLiteral("sixty-minutes.mp3"), {"-i", flac, "-c:a", "libmp3lame", "-b:a", "192k"});
}

// Points HOME and the XDG folders at a temporary folder removed at exit, so
// settings, the media library and the decoded cache of a benchmark (and of
// the processes it starts) never reach the user's own. Call first in main().
inline void useTemporaryHome() {
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/trevalune-bench-home-XXXXXX"));
    if (!home.isValid()) return;
    const QByteArray h = QFile::encodeName(home.path());
    setenv("HOME", h.constData(), 1);
    setenv("XDG_CONFIG_HOME", (h + "/.config").constData(), 1);
    setenv("XDG_DATA_HOME", (h + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", (h + "/.cache").constData(), 1);
}

// Runs the program's benchmarks in a temporary home, inside an application
// object of type App (QCoreApplication, or QApplication for views).
template <typename App>
int runBenchmarks(int argc, char** argv) {
    useTemporaryHome();
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchtools
