// The renderer offline, against the reference tools on the same material in
// the same run:
//  - Mix16Tracks60s: 16 tracks of 60 s (no units) mixed to two channels;
//    "x_realtime" is seconds of mix per second of wall time, "sox_x_realtime"
//    the same for `sox -m` over the same 16 inputs, "vs_sox" ours / sox's.
//  - StretchedTrack: one 60 s track played at 0.8 speed (75 s, pitch kept);
//    "cost_per_audio_s" is wall seconds per second of output audio, and
//    "ffmpeg_cost_per_audio_s" the same for ffmpeg's Rubber Band filter (its
//    faster engine), "vs_ffmpeg" ours / ffmpeg's (lower is cheaper).

#include "platform/media/AssetReader.h"
#include "platform/media/Renderer.h"

#include <QDir>
#include <QString>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr int kSources = 4;

struct Material {
    std::vector<std::shared_ptr<AssetTrack>> tracks;
    std::vector<QString> files;
};

// Four stereo sources of 60 s, in memory and as float WAV files for the tools.
const Material& material() {
    static Material m = [] {
        Material out;
        const QString dir = QDir::tempPath() + "/trevalune-bench-render";
        QDir().mkpath(dir);
        const int64_t n = int64_t(kRate) * kSeconds;
        for (int s = 0; s < kSources; ++s) {
            std::vector<float> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
            const double f = 220.0 * (s + 1);
            for (int64_t i = 0; i < n; ++i) {
                l[i] = 0.2f * float(std::sin(2 * M_PI * f * i / kRate));
                r[i] = 0.2f * float(std::sin(2 * M_PI * f * 1.5 * i / kRate));
            }
            const QString path = dir + QString("/source%1.wav").arg(s);
            SF_INFO info{};
            info.samplerate = kRate;
            info.channels = 2;
            info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
            if (SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info)) {
                std::vector<float> inter(static_cast<size_t>(2 * n));
                for (int64_t i = 0; i < n; ++i) {
                    inter[2 * i] = l[i];
                    inter[2 * i + 1] = r[i];
                }
                sf_writef_float(file, inter.data(), n);
                sf_close(file);
            }
            out.files.push_back(path);
            out.tracks.push_back(AssetTrack::fromDecodedSource(
                DecodedSource::fromBuffers({std::move(l), std::move(r)}, kRate), s + 1));
        }
        return out;
    }();
    return m;
}

double timeCommand(const QString& command) {
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(command.toUtf8().constData());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return rc == 0 ? s : NAN;
}

// Reads a composition through an asset reader to the end; the frames read.
int64_t readAll(const std::shared_ptr<Composition>& comp) {
    auto reader = AssetReader::create(comp);
    std::vector<int32_t> ids;
    for (auto* t : comp->tracksWithMediaType(MediaType::Audio)) ids.push_back(t->trackID());
    auto output = std::make_shared<AssetReaderAudioMixOutput>(
        ids, AssetReaderAudioMixOutput::Settings{double(kRate), 2});
    reader->addOutput(output);
    if (!reader->startReading()) return 0;
    std::vector<float> l(4096), r(4096);
    int64_t total = 0;
    while (int64_t n = output->readNext(l.data(), r.data(), 4096)) {
        benchmark::DoNotOptimize(l.data());
        total += n;
    }
    return total;
}

void Mix16Tracks60s(benchmark::State& state) {
    const Material& m = material();
    auto comp = std::make_shared<Composition>();
    for (int t = 0; t < 16; ++t) {
        const auto& src = m.tracks[t % kSources];
        comp->addMutableTrack(MediaType::Audio)->insertTimeRange(src->timeRange(), src, MediaTime::zero());
    }
    int64_t frames = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        frames = readAll(comp);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    const double ours = double(frames) / kRate * double(state.iterations()) / seconds;

    QString inputs;
    for (int t = 0; t < 16; ++t) inputs += " '" + m.files[t % kSources] + "'";
    const double sox = kSeconds / timeCommand("sox -m" + inputs + " -n 2>/dev/null");
    state.counters["x_realtime"] = ours;
    state.counters["sox_x_realtime"] = sox;
    state.counters["vs_sox"] = ours / sox;
}

void StretchedTrack(benchmark::State& state) {
    const Material& m = material();
    const bool offline = state.range(0) == 1;
    auto comp = std::make_shared<Composition>();
    auto* track = comp->addMutableTrack(MediaType::Audio);
    track->insertTimeRange(m.tracks[0]->timeRange(), m.tracks[0], MediaTime::zero());
    track->scaleTimeRange(m.tracks[0]->timeRange(), MediaTime(75, 1));
    int64_t frames = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (offline) {
            frames = readAll(comp);
        } else {
            Renderer renderer(comp, nullptr, kRate, Renderer::Mode::RealTime, 512);
            renderer.prepare();
            std::vector<float> l(512), r(512);
            for (frames = 0; frames < renderer.length(); frames += 512) {
                renderer.render(l.data(), r.data(), 512);
                benchmark::DoNotOptimize(l.data());
            }
            frames = renderer.length();
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    state.SetLabel(offline ? "offline, finer engine" : "real time, faster engine");
    const double cost = seconds / double(state.iterations()) / (double(frames) / kRate);
    // ffmpeg's filter runs the faster engine only.
    const double ffmpeg =
        timeCommand(QString("ffmpeg -nostdin -v quiet -i '%1' -af rubberband=tempo=0.8 -f null -").arg(m.files[0])) / 75.0;
    state.counters["audio_s"] = double(frames) / kRate;
    state.counters["cost_per_audio_s"] = cost;
    state.counters["ffmpeg_cost_per_audio_s"] = ffmpeg;
    state.counters["vs_ffmpeg"] = cost / ffmpeg;
}

}  // namespace

BENCHMARK(Mix16Tracks60s)->Unit(benchmark::kSecond)->Iterations(2);
BENCHMARK(StretchedTrack)->Arg(1)->Arg(0)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_MAIN();
