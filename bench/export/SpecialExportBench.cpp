// The reversed export and the single-track movie export, each against the
// ffmpeg command that does the same on the same input, the two run
// alternately:
//  - Reversed/10min: a 10-minute stereo track exported reversed to m4a at
//    320 kbit/s, against `ffmpeg -threads 1 -i FILE -af areverse -c:a aac
//    -b:a 320k` on the same file (the track has no effect on, so the file is
//    its forward render).
//  - Movie/10min_1080p: a track using 5 s to the end of a 10-minute 1080p
//    clip exported with its video, against `ffmpeg -threads 1 -ss 5 -i FILE
//    -t 595 -c:v copy -c:a aac`. Goal: within 1.5 times.
// The sound of both is tones with a little noise: FFmpeg's AAC encoder
// takes several times longer on a pure tone at 320 kbit/s.
// Counters: "ratio" (our median wall seconds over ffmpeg's), for the movie
// also "ratio_same_bitrate" (ffmpeg encoding at our 320 kbit/s, 44.1 kHz),
// "x_realtime",
// "ffmpeg_x", "cpu_s", "ffmpeg_cpu_s" (processor seconds, all threads).
#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "engine/MusicFilter.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/Player.h"
#include "views/AudioView.h"
#include "views/ExportViews.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include "BenchTools.h"

#include <sys/resource.h>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);
constexpr double kSeconds = 600.0;

// Ten minutes of 1080p take long to import and export on a loaded machine.
constexpr int kLongWaitMs = 1800000;

using benchtools::median;

QString tenMinuteTrack() {
    return benchtools::generatedFile(dataDir, QStringLiteral("ten-minutes.wav"),
                     {"-f", "lavfi", "-i",
                      QStringLiteral("aevalsrc=0.1*sin(2*PI*440*t)+0.01*random(0)|0.1*sin(2*PI*660*t):s=44100:d=%1")
                          .arg(kSeconds),
                      "-c:a", "pcm_s16le"});
}

QString tenMinuteClip() {
    return benchtools::generatedFile(dataDir, QStringLiteral("ten-minutes-1080p.mp4"),
                     {"-f", "lavfi", "-i", QStringLiteral("testsrc2=size=1920x1080:rate=25:duration=%1").arg(kSeconds),
                      "-f", "lavfi", "-i",
                      QStringLiteral("aevalsrc=0.1*sin(2*PI*440*t)+0.01*random(0)|0.1*sin(2*PI*660*t)+0.01*random(1)"
                                     ":s=48000:d=%1")
                          .arg(kSeconds),
                      "-c:v", "mpeg4", "-q:v", "8", "-g", "50", "-c:a", "aac", "-b:a", "192k", "-ac", "2"});
}

struct Session {
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    MusicFilter* track = nullptr;
};

bool makeSession(Session& s, const QString& path) {
    s.interface = loadMainInterface(std::make_unique<Player>(std::make_unique<NullAudioOutput>(44100)));
    s.c = s.interface->audioController.get();
    AudioController* c = s.c;
    c->addAudioFileToComposition(QUrl::fromLocalFile(path));
    if (!benchtools::waitUntil([&] {
            return c->trackCount() == 1 && c->imports.tracksReading == 0 &&
                   c->ui.audioView->audioTracks.back().audioFilter->hasPlayerAsset();
        }, kLongWaitMs))
        return false;
    if (!benchtools::waitUntil([&] {
            auto* item = c->audioPlayer->currentItem();
            return item && item->status() == PlayerItem::Status::ReadyToPlay && c->shell.viewControlsEnabled;
        }, kLongWaitMs))
        return false;
    s.track = c->trackAt(0);
    return s.track != nullptr;
}

using Start = std::function<bool(AudioController*, MusicFilter*, const QUrl&)>;

bool exportOnce(Session& s, const Start& start, const QString& path, double* wall, double* cpu) {
    QFile::remove(path);
    const double cpu0 = benchtools::processCpuSeconds();
    QElapsedTimer t;
    t.start();
    if (!start(s.c, s.track, QUrl::fromLocalFile(path))) return false;
    const bool ok = benchtools::waitUntil([&] { return !s.c->exporting.session; }, kLongWaitMs);
    *wall = t.nsecsElapsed() / 1e9;
    *cpu = benchtools::processCpuSeconds() - cpu0;
    const bool good = ok && s.c->exporting.lastExportSucceeded && QFileInfo::exists(path);
    s.c->closeSheet();
    QApplication::processEvents();
    return good;
}

// `sameRate`, when given, is a second reference run at our sound's bit rate.
void compare(benchmark::State& state, const QString& source, const Start& start, const QString& out,
             const QStringList& reference, double seconds, double usedFrom = 0, const QStringList& sameRate = {}) {
    if (source.isEmpty()) {
        state.SkipWithError("the input could not be made");
        return;
    }
    Session s;
    if (!makeSession(s, source)) {
        state.SkipWithError("the track could not be added");
        return;
    }
    s.track->projectSampleRate = 44100;
    if (usedFrom > 0) {
        const MediaTimeRange all = s.track->currentTimeRange();
        const MediaTime from = MediaTime::fromSeconds(usedFrom, 44100);
        s.track->setCurrentTimeRange(MediaTimeRange(from, all.duration - from));
    }
    std::vector<double> ours, oursCpu, theirs, theirsCpu, theirsSameRate;
    for (auto _ : state) {
        double wall = 0, cpu = 0;
        if (!exportOnce(s, start, out, &wall, &cpu)) {
            state.SkipWithError("the export failed");
            return;
        }
        ours.push_back(wall);
        oursCpu.push_back(cpu);
        state.SetIterationTime(wall);
        const benchtools::Run f = benchtools::ffmpeg(reference);
        if (!f.ok) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        theirs.push_back(f.wall);
        theirsCpu.push_back(f.cpu);
        if (!sameRate.isEmpty()) {
            const benchtools::Run g = benchtools::ffmpeg(sameRate);
            if (!g.ok) {
                state.SkipWithError("ffmpeg failed");
                return;
            }
            theirsSameRate.push_back(g.wall);
        }
    }
    if (!theirsSameRate.empty()) state.counters["ratio_same_bitrate"] = median(ours) / median(theirsSameRate);
    state.counters["x_realtime"] = seconds / median(ours);
    state.counters["ffmpeg_x"] = seconds / median(theirs);
    state.counters["ratio"] = median(ours) / median(theirs);
    state.counters["cpu_s"] = median(oursCpu);
    state.counters["ffmpeg_cpu_s"] = median(theirsCpu);
    s.interface.reset();
    QApplication::processEvents();
}

void Reversed(benchmark::State& state) {
    const QString source = tenMinuteTrack();
    compare(state, source,
            [](AudioController* c, MusicFilter* t, const QUrl& url) { return c->saveReversedTrackToURL(t, url); },
            dataDir + QStringLiteral("/reversed.m4a"),
            {"-threads", "1", "-i", source, "-af", "areverse", "-c:a", "aac", "-b:a", "320k",
             dataDir + QStringLiteral("/reversed-ref.m4a")},
            kSeconds);
}

void Movie(benchmark::State& state) {
    const QString source = tenMinuteClip();
    compare(state, source,
            [](AudioController* c, MusicFilter* t, const QUrl& url) {
                return c->saveAudioAndVideoTrackToURL(t, url);
            },
            dataDir + QStringLiteral("/movie.mov"),
            {"-threads", "1", "-ss", "5", "-i", source, "-t", "595", "-c:v", "copy", "-c:a", "aac",
             dataDir + QStringLiteral("/movie-ref.mov")},
            kSeconds - 5, 5.0,
            {"-threads", "1", "-ss", "5", "-i", source, "-t", "595", "-c:v", "copy", "-c:a", "aac", "-b:a", "320k",
             "-ar", "44100", dataDir + QStringLiteral("/movie-ref-320k.mov")});
}

}  // namespace

BENCHMARK(Reversed)->Name("Reversed/10min")->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(Movie)->Name("Movie/10min_1080p")->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
