// The renderer offline, against the reference tools on the same material:
//  - Mix16Tracks60s: 16 tracks of 60 s (no units) mixed to two channels.
//    Both sides run as whole processes, alternately, over the same 16
//    distinct WAV files (float, or 16-bit: the argument), whose decoded-cache
//    entries are float and 16-bit in turn: ours is this program again in its
//    child mode (it opens the files as assets, maps their decoded samples
//    from the cache, which a first untimed run fills, and reads the mix to
//    its end), theirs is `sox -m` over the same 16 inputs to nothing.
//    "x_realtime" and "sox_x_realtime" are seconds of mix per wall second,
//    "vs_sox" our wall time / sox's (lower is faster; goal: 0.25 at most);
//    "cpu_s" and "sox_cpu_s" processor seconds; all medians.
//  - StretchedTrack: one 60 s track played at 0.8 speed (75 s, pitch kept);
//    "cost_per_audio_s" is the median wall seconds per second of output
//    audio (in this process), "ffmpeg_cost_per_audio_s" the same for ffmpeg's
//    Rubber Band filter on one thread (its faster engine), run after each of
//    ours, "vs_ffmpeg" ours / ffmpeg's (lower is cheaper); "cpu_per_audio_s"
//    and "ffmpeg_cpu_per_audio_s" the same in processor time.
//
//  - OutputWakeAndSleep: the player's output on a running JACK server (none:
//    skipped), put to sleep and woken twenty times, as a pause and a play
//    do: "wake_ms" is the main thread's time in the call that wakes it,
//    "sleep_ms" its time in the sleep; "device_wake_ms" and
//    "device_sleep_ms" the output's own resume and suspend, on whichever
//    thread they ran; medians, and "*_max_ms" the longest.
//
//   bench_media_render --mix FILE...   one mix of the files, then exit

#include "platform/audio/AudioOutput.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/Player.h"
#include "platform/media/Renderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QTemporaryDir>
#include <QString>

#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <sys/resource.h>

#include "BenchTools.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr int kSources = 16;

struct Material {
    std::shared_ptr<AssetTrack> track;  // the first source, in memory
    std::vector<QString> files;    // float WAV
    std::vector<QString> files16;  // the same as 16-bit WAV
};

// Sixteen stereo sources of 60 s as float and 16-bit WAV files for the
// tools, the first of them also in memory.
const Material& material() {
    static Material m = [] {
        Material out;
        static QTemporaryDir folder;
        const QString dir = folder.path();
        const int64_t n = int64_t(kRate) * kSeconds;
        for (int s = 0; s < kSources; ++s) {
            std::vector<float> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
            const double f = 110.0 * (s + 2);
            for (int64_t i = 0; i < n; ++i) {
                l[i] = 0.2f * float(std::sin(2 * M_PI * f * i / kRate));
                r[i] = 0.2f * float(std::sin(2 * M_PI * f * 1.5 * i / kRate));
            }
            std::vector<float> inter(static_cast<size_t>(2 * n));
            for (int64_t i = 0; i < n; ++i) {
                inter[2 * i] = l[i];
                inter[2 * i + 1] = r[i];
            }
            for (const int subformat : {SF_FORMAT_FLOAT, SF_FORMAT_PCM_16}) {
                const bool sixteen = subformat == SF_FORMAT_PCM_16;
                const QString path = dir + QString(sixteen ? "/source%1-16.wav" : "/source%1.wav").arg(s);
                SF_INFO info{};
                info.samplerate = kRate;
                info.channels = 2;
                info.format = SF_FORMAT_WAV | subformat;
                if (SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info)) {
                    sf_writef_float(file, inter.data(), n);
                    sf_close(file);
                }
                (sixteen ? out.files16 : out.files).push_back(path);
            }
            if (s == 0)
                out.track = AssetTrack::fromDecodedSource(DecodedSource::fromBuffers({std::move(l), std::move(r)}, kRate), 1);
        }
        return out;
    }();
    return m;
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

// The child: the files as the tracks of one composition, read to the end.
int mixOnce(const QStringList& files) {
    auto comp = std::make_shared<Composition>();
    std::vector<std::shared_ptr<Asset>> assets;
    for (const QString& f : files) {
        QString error;
        auto asset = Asset::load(f, &error);
        const auto audio = asset ? asset->tracksWithMediaType(MediaType::Audio) : std::vector<std::shared_ptr<AssetTrack>>{};
        const auto track = audio.empty() ? nullptr : audio.front();
        if (!track || !track->loadDecodedSource({}, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        comp->addMutableTrack(MediaType::Audio)->insertTimeRange(track->timeRange(), track, MediaTime::zero());
        assets.push_back(asset);
    }
    return readAll(comp) == int64_t(kRate) * kSeconds ? 0 : 1;
}

void Mix16Tracks60s(benchmark::State& state) {
    const Material& m = material();
    const bool sixteen = state.range(0) == 1;
    QStringList inputs;
    for (int t = 0; t < kSources; ++t) inputs << (sixteen ? m.files16 : m.files)[size_t(t)];
    const QStringList mixArgs = QStringList{QStringLiteral("--mix")} + inputs;
    if (!benchtools::self(mixArgs).ok) {  // fills the decoded cache
        state.SkipWithError("our mix failed");
        return;
    }
    benchtools::Series ours, sox;
    for (auto _ : state) {
        if (!benchtools::alternate(
                5, [&] { return benchtools::self(mixArgs); },
                [&] { return benchtools::run(QStringLiteral("sox"), QStringList{"-m"} + inputs + QStringList{"-n"}, false); },
                &ours, &sox)) {
            state.SkipWithError("a mix failed");
            return;
        }
        state.SetIterationTime(ours.medianWall());
    }
    state.SetLabel(sixteen ? "16-bit sources" : "float sources");
    state.counters["x_realtime"] = kSeconds / ours.medianWall();
    state.counters["sox_x_realtime"] = kSeconds / sox.medianWall();
    state.counters["vs_sox"] = ours.medianWall() / sox.medianWall();
    state.counters["cpu_s"] = ours.medianCpu();
    state.counters["sox_cpu_s"] = sox.medianCpu();
}

void StretchedTrack(benchmark::State& state) {
    const Material& m = material();
    const bool offline = state.range(0) == 1;
    auto comp = std::make_shared<Composition>();
    auto* track = comp->addMutableTrack(MediaType::Audio);
    track->insertTimeRange(m.track->timeRange(), m.track, MediaTime::zero());
    track->scaleTimeRange(m.track->timeRange(), MediaTime(75, 1));
    int64_t frames = 0;
    std::vector<double> cost, cpuCost, theirs, theirsCpu;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const double cpu0 = benchtools::processCpuSeconds();
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
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double audio = double(frames) / kRate;
        cost.push_back(seconds / audio);
        cpuCost.push_back((benchtools::processCpuSeconds() - cpu0) / audio);
        state.SetIterationTime(seconds);
        // ffmpeg's filter runs the faster engine only.
        const benchtools::Run f = benchtools::ffmpeg({"-threads", "1", "-i", m.files[0], "-af", "rubberband=tempo=0.8",
                                                      "-f", "null", "-"});
        if (!f.ok) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        theirs.push_back(f.wall / 75.0);
        theirsCpu.push_back(f.cpu / 75.0);
    }
    state.SetLabel(offline ? "offline, finer engine" : "real time, faster engine");
    state.counters["audio_s"] = double(frames) / kRate;
    state.counters["cost_per_audio_s"] = benchtools::median(cost);
    state.counters["ffmpeg_cost_per_audio_s"] = benchtools::median(theirs);
    state.counters["vs_ffmpeg"] = benchtools::median(cost) / benchtools::median(theirs);
    state.counters["cpu_per_audio_s"] = benchtools::median(cpuCost);
    state.counters["ffmpeg_cpu_per_audio_s"] = benchtools::median(theirsCpu);
}

// What reading decoded samples costs the renderer per slice, by the way
// they are stored: 32-bit float copied (as the cache stores them) against
// 16-bit integers converted to float while read (half the space, for 16-bit
// sources). 16 stereo tracks of 60 s, 512-frame slices, each track's slice
// summed into the mix as the renderer does. "x_realtime" is seconds of the
// 16-track mix per wall second.
void SourceRead(benchmark::State& state) {
    const bool sixteen = state.range(0) == 1;
    constexpr int kTracks = 16, kSlice = 512;
    const int64_t n = int64_t(kRate) * kSeconds;
    std::vector<std::vector<float>> floats;
    std::vector<std::vector<int16_t>> shorts;
    for (int c = 0; c < kTracks * 2; ++c) {
        if (sixteen) {
            shorts.emplace_back(size_t(n));
            for (int64_t i = 0; i < n; ++i) shorts.back()[size_t(i)] = int16_t((i * 37 + c) & 0x3fff);
        } else {
            floats.emplace_back(size_t(n));
            for (int64_t i = 0; i < n; ++i) floats.back()[size_t(i)] = float((i * 37 + c) & 0x3fff) / 32768.0f;
        }
    }
    std::vector<float> l(kSlice), r(kSlice), tl(kSlice), tr(kSlice);
    auto read = [&](int channel, int64_t from, float* out) {
        if (!sixteen) {
            std::memcpy(out, floats[size_t(channel)].data() + from, sizeof(float) * kSlice);
            return;
        }
        const int16_t* in = shorts[size_t(channel)].data() + from;
        for (int i = 0; i < kSlice; ++i) out[i] = float(in[i]) * (1.0f / 32768.0f);
    };
    for (auto _ : state) {
        for (int64_t pos = 0; pos + kSlice <= n; pos += kSlice) {
            std::fill(l.begin(), l.end(), 0.0f);
            std::fill(r.begin(), r.end(), 0.0f);
            for (int t = 0; t < kTracks; ++t) {
                read(2 * t, pos, tl.data());
                read(2 * t + 1, pos, tr.data());
                for (int i = 0; i < kSlice; ++i) {
                    l[size_t(i)] += tl[size_t(i)];
                    r[size_t(i)] += tr[size_t(i)];
                }
            }
            benchmark::DoNotOptimize(l.data());
        }
    }
    state.SetLabel(sixteen ? "16-bit, converted" : "float, copied");
    state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

// An output that times its device's sleeps and wakes, and says whether they
// ran on the main thread.
class TimedOutput : public AudioOutput {
public:
    explicit TimedOutput(std::unique_ptr<AudioOutput> device) : device_(std::move(device)) {}
    bool start(Callback callback, QString* error) override { return device_->start(std::move(callback), error); }
    void stop() override { device_->stop(); }
    bool isRunning() const override { return device_->isRunning(); }
    double sampleRate() const override { return device_->sampleRate(); }
    QString name() const override { return device_->name(); }
    bool suspend() override {
        const auto begin = std::chrono::steady_clock::now();
        const bool slept = device_->suspend();
        record(sleeps, begin);
        return slept;
    }
    bool resume(QString* error) override {
        const auto begin = std::chrono::steady_clock::now();
        const bool woke = device_->resume(error);
        record(wakes, begin);
        return woke;
    }
    bool isSuspended() const override { return device_->isSuspended(); }

    struct Call {
        double ms;
        bool onMain;
    };
    std::mutex mutex;
    std::vector<Call> sleeps, wakes;

private:
    void record(std::vector<Call>& calls, std::chrono::steady_clock::time_point begin) {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        std::lock_guard g(mutex);
        calls.push_back({ms, QThread::currentThread() == QCoreApplication::instance()->thread()});
    }
    std::unique_ptr<AudioOutput> device_;
};

void OutputWakeAndSleep(benchmark::State& state) {
    QString error;
    auto jack = JackAudioOutput::open(&error);
    if (!jack) {
        state.SkipWithError("no JACK server is running");
        return;
    }
    auto timed = std::make_unique<TimedOutput>(std::move(jack));
    TimedOutput* output = timed.get();
    Player player(std::move(timed));
    auto waitFor = [](const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return done();
    };
    std::vector<double> wakeMain, sleepMain, wakeDevice, sleepDevice;
    for (auto _ : state) {
        for (int round = 0; round < 20; ++round) {
            // Idle, the output sleeps a moment after the last use: the sleep
            // runs from the player's timer.
            if (!waitFor([&] { return output->isSuspended(); })) {
                state.SkipWithError("the output did not sleep");
                return;
            }
            // Live input wakes the output as a play does.
            const auto begin = std::chrono::steady_clock::now();
            player.setLiveInput(true);
            wakeMain.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
            if (!waitFor([&] { return !output->isSuspended() && output->isRunning(); })) {
                state.SkipWithError("the output did not wake");
                return;
            }
            player.setLiveInput(false);
        }
    }
    {
        std::lock_guard g(output->mutex);
        for (const auto& c : output->sleeps) {
            sleepDevice.push_back(c.ms);
            sleepMain.push_back(c.onMain ? c.ms : 0.0);
        }
        for (const auto& c : output->wakes) wakeDevice.push_back(c.ms);
    }
    auto longest = [](const std::vector<double>& v) { return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()); };
    state.counters["wake_ms"] = benchtools::median(wakeMain);
    state.counters["wake_max_ms"] = longest(wakeMain);
    state.counters["sleep_ms"] = benchtools::median(sleepMain);
    state.counters["sleep_max_ms"] = longest(sleepMain);
    state.counters["device_wake_ms"] = benchtools::median(wakeDevice);
    state.counters["device_wake_max_ms"] = longest(wakeDevice);
    state.counters["device_sleep_ms"] = benchtools::median(sleepDevice);
    state.counters["device_sleep_max_ms"] = longest(sleepDevice);
}

}  // namespace

BENCHMARK(OutputWakeAndSleep)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK(Mix16Tracks60s)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1)->UseManualTime();
BENCHMARK(SourceRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StretchedTrack)->Arg(1)->Arg(0)->Unit(benchmark::kSecond)->Iterations(3)->Repetitions(1)->UseManualTime();

int main(int argc, char** argv) {
    if (argc > 2 && QByteArray(argv[1]) == "--mix") {
        QCoreApplication app(argc, argv);
        QStringList files;
        for (int i = 2; i < argc; ++i) files << QString::fromLocal8Bit(argv[i]);
        return mixOnce(files);
    }
    return benchtools::runBenchmarks<QCoreApplication>(argc, argv);
}
