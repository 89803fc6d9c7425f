// The mix export of 16 tracks of 60 s, each through its default chain with
// the equaliser, the low-pass and the reverb on, to m4a at 192 kbit/s and to
// wav, against ffmpeg -threads 1 doing the same job from the same 16 files:
// decoding them, mixing them (`amix`) and encoding the mix (`-c:a aac -b:a
// 192k` and `-c:a pcm_s16le`); ffmpeg applies no effects, so it does a little
// less. Each iteration exports with the tracks rendered on the reader's
// thread alone, then on its pool of render threads, and runs ffmpeg after
// them in even iterations and before them in odd ones.
// Counters: "x_realtime" (60 s over our median wall seconds, pooled;
// "x_realtime_1thread" on one render thread), "ffmpeg_x"
// (the same for ffmpeg), "ratio" (our seconds over ffmpeg's), "cpu_s" and
// "ffmpeg_cpu_s" (processor seconds, all threads; "cpu_s_1thread"). Goal: m4a at least 25
// times real time. PreRender/speed2 gives the cost of rendering one speed-2
// track alone, in seconds per second of audio.
#include "app/AudioController.h"
#include "app/MainInterface.h"
#include "engine/MusicFilter.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/Player.h"
#include "views/AudioView.h"
#include "views/ExportViews.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include "BenchTools.h"

#include <sys/resource.h>

#include <algorithm>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);
constexpr int kTracks = 16;
constexpr double kSeconds = 60.0;

using benchtools::median;

QString source(int i) {
    QDir().mkpath(dataDir);
    const QString path = dataDir + QStringLiteral("/track%1.wav").arg(i);
    if (QFileInfo::exists(path)) return path;
    const QString tmp = path + QStringLiteral(".tmp.wav");
    const QString expr = QStringLiteral("0.05*sin(2*PI*%1*t)+0.01*random(%2)").arg(110 * (i + 1)).arg(i);
    if (!benchtools::ffmpeg({"-f", "lavfi", "-i", QStringLiteral("aevalsrc=%1|%1:s=44100:d=%2").arg(expr).arg(kSeconds),
                             "-c:a", "pcm_s16le", tmp}).ok ||
        !QFile::rename(tmp, path))
        return {};
    return path;
}

struct Session {
    std::unique_ptr<MainInterface> interface;
    AudioController* c = nullptr;
};

// A composition of `count` tracks, each with the equaliser, low-pass and
// reverb on; `speed` for the first track.
bool makeComposition(Session& s, int count, float speed = 1.0f) {
    s.interface = loadMainInterface(std::make_unique<Player>(std::make_unique<NullAudioOutput>(44100)));
    s.c = s.interface->audioController.get();
    AudioController* c = s.c;
    for (int i = 0; i < count; ++i) {
        const QString path = source(i);
        if (path.isEmpty()) return false;
        c->addAudioFileToComposition(QUrl::fromLocalFile(path));
        if (!benchtools::waitUntil([&] {
                return c->trackCount() == i + 1 && c->imports.tracksReading == 0 &&
                       c->ui.audioView->audioTracks.back().audioFilter->hasPlayerAsset();
            }))
            return false;
    }
    auto ready = [&] {
        auto* item = c->audioPlayer->currentItem();
        return item && item->status() == PlayerItem::Status::ReadyToPlay && c->shell.viewControlsEnabled;
    };
    if (!benchtools::waitUntil(ready)) return false;
    for (int i = 0; i < count; ++i) {
        MusicFilter* t = c->trackAt(quint64(i));
        t->setValue(EffectInput::LowPassCutoff, 4000.0f);
        t->setValue(EffectInput::ReverbWetDryMix, 30.0f);
        t->setValue(EffectInput::GlobalGain, -3.0f);
        t->setValue(EffectInput::Gain1K, 3.0f);
        t->updateAudioMixState();
    }
    if (speed != 1.0f) {
        MusicFilter* t = c->trackAt(0);
        t->setValue(EffectInput::Speed, speed);
        t->setAnimationEnd(MediaTime::fromSeconds(kSeconds / speed, 44100));
        c->updatePlayerWithNewTrackSettings(t);
        if (!benchtools::waitUntil(ready)) return false;
    }
    return true;
}

// One export; its wall and processor seconds, and how long the renders of
// single tracks took.
bool exportOnce(AudioController* c, int format, const QString& path, double* wall, double* cpu,
                double* preRender = nullptr) {
    auto* a = c->saveAccessoryView();
    a->saveAudioFormatPopUpButton->setCurrentIndex(format);
    a->saveAudioSampleRatePopUpButton->setCurrentIndex(0);
    a->saveAudioBitratePopUpButton->setCurrentIndex(2);
    QFile::remove(path);
    const double cpu0 = benchtools::processCpuSeconds();
    QElapsedTimer t;
    t.start();
    c->saveAudioToURL(QUrl::fromLocalFile(path));
    double rendered = -1;
    const bool ok = benchtools::waitUntil([&] {
        if (rendered < 0 && c->progressSheet()->sheetInfoTextField->text() != QStringLiteral("Converting audio..."))
            rendered = t.nsecsElapsed() / 1e9;
        return !c->exporting.session;
    });
    *wall = t.nsecsElapsed() / 1e9;
    *cpu = benchtools::processCpuSeconds() - cpu0;
    if (preRender) *preRender = rendered;
    const bool good = ok && c->exporting.lastExportSucceeded;
    c->closeSheet();
    QApplication::processEvents();
    return good;
}

void MixExport(benchmark::State& state) {
    const int format = int(state.range(0));  // 0 m4a, 2 wav
    Session s;
    if (!makeComposition(s, kTracks)) {
        state.SkipWithError("the composition could not be made");
        return;
    }
    const QString out = dataDir + (format == 0 ? QStringLiteral("/mix.m4a") : QStringLiteral("/mix.wav"));
    std::vector<double> ours, oursCpu, single, singleCpu, theirs, theirsCpu;
    const QString ref = dataDir + (format == 0 ? QStringLiteral("/ref.m4a") : QStringLiteral("/ref.wav"));
    QStringList ffmpegArgs{"-threads", "1"};
    for (int i = 0; i < kTracks; ++i) ffmpegArgs << "-i" << source(i);
    ffmpegArgs << "-filter_complex" << QStringLiteral("amix=inputs=%1:normalize=0").arg(kTracks) << "-threads" << "1";
    ffmpegArgs << (format == 0 ? QStringList{"-c:a", "aac", "-b:a", "192k"} : QStringList{"-c:a", "pcm_s16le"}) << ref;
    auto runFfmpeg = [&] {
        const benchtools::Run f = benchtools::ffmpeg(ffmpegArgs);
        theirs.push_back(f.wall);
        theirsCpu.push_back(f.cpu);
        return f.ok;
    };
    int iteration = 0;
    for (auto _ : state) {
        const bool ffmpegFirst = iteration++ % 2 == 1;
        if (ffmpegFirst && !runFfmpeg()) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        // The tracks on the reader's thread alone, then on its pool.
        double wall = 0, cpu = 0;
        s.c->exporting.mixRenderWorkers = 0;
        if (!exportOnce(s.c, format, out, &wall, &cpu)) {
            state.SkipWithError("the export failed");
            return;
        }
        single.push_back(wall);
        singleCpu.push_back(cpu);
        s.c->exporting.mixRenderWorkers = -1;
        if (!exportOnce(s.c, format, out, &wall, &cpu)) {
            state.SkipWithError("the export failed");
            return;
        }
        ours.push_back(wall);
        oursCpu.push_back(cpu);
        state.SetIterationTime(wall);
        if (!ffmpegFirst && !runFfmpeg()) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
    state.counters["x_realtime"] = kSeconds / median(ours);
    state.counters["x_realtime_1thread"] = kSeconds / median(single);
    state.counters["ffmpeg_x"] = kSeconds / median(theirs);
    state.counters["ratio"] = median(ours) / median(theirs);
    state.counters["cpu_s"] = median(oursCpu);
    state.counters["cpu_s_1thread"] = median(singleCpu);
    state.counters["ffmpeg_cpu_s"] = median(theirsCpu);
    s.interface.reset();
    QApplication::processEvents();
}

void PreRender(benchmark::State& state) {
    Session s;
    if (!makeComposition(s, 1, 2.0f)) {
        state.SkipWithError("the composition could not be made");
        return;
    }
    std::vector<double> per;
    for (auto _ : state) {
        double wall = 0, cpu = 0, rendered = 0;
        if (!exportOnce(s.c, 2, dataDir + QStringLiteral("/speed2.wav"), &wall, &cpu, &rendered) || rendered <= 0) {
            state.SkipWithError("the export failed");
            return;
        }
        per.push_back(rendered / kSeconds);
        state.SetIterationTime(rendered);
    }
    state.counters["s_per_audio_s"] = median(per);
    state.counters["x_realtime"] = 1.0 / median(per);
    s.interface.reset();
    QApplication::processEvents();
}

}  // namespace

BENCHMARK(MixExport)->Name("MixExport/16x60s/m4a_192k")->Arg(0)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(MixExport)->Name("MixExport/16x60s/wav")->Arg(2)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(PreRender)->Name("PreRender/speed2_60s")->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return benchtools::runBenchmarks<QApplication>(argc, argv);
}
