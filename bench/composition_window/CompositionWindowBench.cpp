// The composition window playing a 1080p H.264 movie whose sound is one of
// 16 audio tracks: the movie's frames it shows each second against the
// movie's rate, the frames of the movie it never shows (per minute of
// playback), and the longest time the main thread went without running its
// event loop while playing (the play command's own time is given apart),
// and the frames decoded for each frame shown. The player plays on a null
// output that keeps real time, so no sound server is involved.
//
// Reference: ffmpeg decoding the same movie on one thread and scaling it to
// the view's size, run alternately with the playback: its processor seconds
// per second of movie stand beside the whole application's while it plays.
#include "BenchTools.h"

#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "engine/MusicFilter.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/Player.h"
#include "platform/media/VideoFrames.h"
#include "views/SmallViews.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMainWindow>

#include <cmath>
#include <memory>
#include <set>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);
constexpr int kTracks = 16;  // the movie's sound and 15 tones
constexpr double kMovieSeconds = 40;
constexpr double kFrameRate = 30;
constexpr double kPlaySeconds = 20;
constexpr int kRounds = 3;

QString movie() {
    const QString d = QString::number(kMovieSeconds);
    return benchtools::generatedFile(dataDir, QStringLiteral("movie1080p.mp4"),
                     {"-f", "lavfi", "-i", QStringLiteral("testsrc2=size=1920x1080:rate=%1:duration=%2").arg(kFrameRate).arg(d),
                      "-f", "lavfi", "-i", QStringLiteral("sine=frequency=330:sample_rate=44100:duration=%1").arg(d),
                      "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-g", "60", "-c:a", "aac",
                      "-shortest"});
}

QString tone(int i) {
    return benchtools::generatedFile(dataDir, QStringLiteral("tone%1.wav").arg(i),
                     {"-f", "lavfi", "-i",
                      QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=%2").arg(110 * (i + 1)).arg(kMovieSeconds),
                      "-ac", "2", "-c:a", "pcm_s16le"});
}

// The main window with the movie and the tones imported, and the movie's
// composition window open.
struct Session {
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
    QString movie;
    QString error;

    bool itemReady() const {
        auto* item = c->audioPlayer->currentItem();
        return item && item->status() == PlayerItem::Status::ReadyToPlay && !c->shell.audioControllerIsWorking;
    }

    Session() {
        movie = ::movie();
        if (movie.isEmpty()) {
            error = QStringLiteral("ffmpeg could not make the movie");
            return;
        }
        interface = loadMainInterface(std::make_unique<Player>(std::make_unique<NullAudioOutput>(44100)));
        c = interface->audioController.get();
        c->ui.window->resize(1400, 900);
        c->ui.window->show();
        QStringList files{movie};
        for (int i = 1; i < kTracks; ++i) files << tone(i);
        for (int i = 0; i < files.size(); ++i) {
            if (files[i].isEmpty()) {
                error = QStringLiteral("ffmpeg could not make a tone");
                return;
            }
            c->addAudioFileToComposition(QUrl::fromLocalFile(files[i]));
            benchtools::waitUntil([&] { return c->trackCount() == i + 1 && c->imports.tracksReading == 0; });
        }
        if (!benchtools::waitUntil([&] { return c->trackCount() == kTracks && itemReady(); })) {
            error = QStringLiteral("the tracks did not load");
            return;
        }
        c->showCompositionWindow(0);
        c->compositionWindow()->resize(960, 600);
        if (!benchtools::waitUntil([&] { return itemReady(); }, 60000)) error = QStringLiteral("no item with the picture");
    }
};

// Made at the first use and freed by the benchmark, while the application
// object still exists.
std::unique_ptr<Session>& session() {
    static std::unique_ptr<Session> s;
    if (!s) s = std::make_unique<Session>();
    return s;
}

struct Playback {
    double shownPerSecond = 0, droppedPerMinute = 0, longestStallMs = 0, cpuPerSecond = 0;
    double startMs = 0;  // the play command itself, before the steady state
    uint64_t requestsReplaced = 0;
    double decodedPerShown = 0;  // frames decoded for each frame shown
    const char* failure = "";  // what went wrong, when something did
    bool ok = false;
};

// Plays `seconds` from the start and watches the window.
Playback play(Session& s, double seconds) {
    Playback out;
    AudioController* c = s.c;
    c->updateCurrentTime(0);
    out.failure = "the player was not ready after the seek";
    if (!benchtools::waitUntil([&] { return s.itemReady(); }, 60000)) return out;
    auto& slot = c->videoWindows.playerLayerFrames;
    out.failure = "the window decodes no picture";
    if (!benchtools::waitUntil([&] { return slot && slot->hasVideo(); }, 60000)) return out;
    const std::shared_ptr<VideoFrames> frames = slot;

    // The movie's frames that reached the view, by their index.
    std::set<int64_t> shown;
    auto original = frames->frameReady;
    frames->frameReady = [&shown, original](const QImage& image, const MediaTime& time) {
        if (original) original(image, time);
        if (!image.isNull()) shown.insert(int64_t(std::floor(time.seconds() * kFrameRate + 1e-6)));
    };
    const uint64_t replacedBefore = frames->droppedFrames();
    const uint64_t decodedBefore = frames->decodedFrames();

    benchtools::MainThreadPulse pulse;
    QElapsedTimer clock;

    const double from = c->currentTime();
    const double cpu = benchtools::processCpuSeconds();
    clock.start();
    c->playPauseToggle();
    out.startMs = clock.nsecsElapsed() / 1e6;
    pulse.start();
    benchtools::waitUntil([&] { return clock.nsecsElapsed() >= qint64(seconds * 1e9); }, int(seconds * 1000) + 60000);
    const double wall = clock.nsecsElapsed() / 1e9;
    const double used = benchtools::processCpuSeconds() - cpu;
    pulse.stop();
    const double to = c->currentTime();
    if (c->shell.isPlaying) c->playPauseToggle();
    frames->frameReady = original;

    const double span = to - from;
    out.failure = "the player's time did not move";
    if (span <= 0) return out;
    const double expected = std::floor(span * kFrameRate);
    out.shownPerSecond = double(shown.size()) / span;
    out.droppedPerMinute = std::max(0.0, expected - double(shown.size())) * 60.0 / span;
    out.longestStallMs = pulse.longestStallMs();
    out.cpuPerSecond = used / wall;
    out.requestsReplaced = frames->droppedFrames() - replacedBefore;
    if (!shown.empty()) out.decodedPerShown = double(frames->decodedFrames() - decodedBefore) / double(shown.size());
    out.ok = true;
    return out;
}

void BM_CompositionWindowPlayback(benchmark::State& state) {
    Session& s = *session();
    struct Release {
        ~Release() { session().reset(); }
    } release;
    if (!s.error.isEmpty()) {
        state.SkipWithError(s.error.toStdString().c_str());
        return;
    }
    const QSize view = s.c->videoWindows.playerView ? s.c->videoWindows.playerView->size() : QSize(960, 540);
    std::vector<double> shown, dropped, stall, start, cpu, replaced, decoded, ffmpegCpu, ffmpegWall;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            // Alternately: ours first in even rounds, ffmpeg first in odd ones.
            for (int side = 0; side < 2; ++side) {
                if ((side == 0) == (round % 2 == 0)) {
                    const Playback p = play(s, kPlaySeconds);
                    if (!p.ok) {
                        state.SkipWithError(p.failure);
                        return;
                    }
                    shown.push_back(p.shownPerSecond);
                    dropped.push_back(p.droppedPerMinute);
                    stall.push_back(p.longestStallMs);
                    start.push_back(p.startMs);
                    cpu.push_back(p.cpuPerSecond);
                    replaced.push_back(double(p.requestsReplaced));
                    decoded.push_back(p.decodedPerShown);
                } else {
                    const benchtools::Run r = benchtools::ffmpeg(
                        {"-threads", "1", "-i", s.movie, "-an", "-vf",
                         QStringLiteral("scale=%1:%2").arg(view.width()).arg(view.height()), "-f", "null", "-"});
                    if (!r.ok) {
                        state.SkipWithError("ffmpeg did not decode the movie");
                        return;
                    }
                    ffmpegCpu.push_back(r.cpu / kMovieSeconds);
                    ffmpegWall.push_back(kMovieSeconds / r.wall);
                }
            }
        }
    }
    using benchtools::median;
    state.counters["shown_fps"] = median(shown);
    state.counters["movie_fps"] = kFrameRate;
    state.counters["shown_of_movie_pct"] = 100.0 * median(shown) / kFrameRate;
    state.counters["dropped_per_min"] = median(dropped);
    state.counters["stall_ms_max"] = median(stall);
    state.counters["play_command_ms"] = median(start);
    state.counters["requests_replaced"] = median(replaced);
    state.counters["decoded_per_shown"] = median(decoded);
    state.counters["cpu_s_per_s"] = median(cpu);
    state.counters["ffmpeg_cpu_s_per_s"] = median(ffmpegCpu);
    state.counters["ffmpeg_x_realtime"] = median(ffmpegWall);
    state.SetLabel(QStringLiteral("%1 tracks, 1920x1080 H.264 at %2 fps shown in %3x%4, medians of %5 runs of %6 s")
                       .arg(kTracks)
                       .arg(kFrameRate)
                       .arg(view.width())
                       .arg(view.height())
                       .arg(kRounds)
                       .arg(kPlaySeconds)
                       .toStdString());
}
BENCHMARK(BM_CompositionWindowPlayback)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
