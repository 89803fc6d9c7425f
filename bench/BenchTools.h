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
#include <QStringList>
#include <QTemporaryDir>

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
