// The recording's writer: 60 s of a 48 kHz stereo tone, handed over in the
// writer thread's chunks of 4096 interleaved frames, split into channels and
// encoded to AAC at 192 kbit/s in m4a, against
// `ffmpeg -threads 1 -i tone.wav -c:a aac -b:a 192k` on the same WAV. Both
// sides run as whole processes, alternately, five rounds.
//
// Counters, medians: "ours_s"/"ffmpeg_s" wall seconds, "ours_cpu_s"/
// "ffmpeg_cpu_s" processor seconds, "ours_x_realtime"/"ffmpeg_x_realtime"
// the input's length over the wall time, "ratio" ours / ffmpeg (wall).
//
// With a JACK server running (JACK_DEFAULT_SERVER), "Capture" records 10 s
// from the default input through a capture session and reports the input
// callback's longest run for one period ("callback_max_us"); the test
// server's period is 256 frames, 5333 us.
//
//   bench_recording --encode WAV OUT   one encode, then exit

#include "platform/audio/AudioInput.h"
#include "platform/media/AudioFileWriter.h"
#include "platform/media/CaptureSession.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <sndfile.h>

#include "BenchTools.h"

#include <cstdio>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);
constexpr double kSeconds = 60.0;

QString toneWav() {
    QDir().mkpath(dataDir);
    const QString wav = dataDir + QStringLiteral("/tone-48k.wav");
    if (!QFileInfo::exists(wav) &&
        !benchtools::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=60", "-ac", "2",
                             "-c:a", "pcm_f32le", wav})
             .ok)
        return {};
    return wav;
}

int encodeOnce(const QString& wav, const QString& out) {
    SF_INFO info{};
    SNDFILE* file = sf_open(wav.toUtf8().constData(), SFM_READ, &info);
    if (!file || info.channels != 2) return 1;
    std::vector<float> interleaved(size_t(info.frames) * 2);
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    AudioFileWriter::Settings settings;
    settings.sampleRate = 48000;
    settings.bitRate = 192000;
    QString error;
    auto writer = AudioFileWriter::create(out, settings, {}, &error);
    if (!writer) return 1;
    constexpr int64_t Chunk = 4096;
    std::vector<float> planes(Chunk * 2);
    const float* pointers[2] = {planes.data(), planes.data() + Chunk};
    for (int64_t at = 0; at < info.frames; at += Chunk) {
        const int64_t n = std::min(Chunk, int64_t(info.frames) - at);
        for (int64_t i = 0; i < n; ++i) {
            planes[i] = interleaved[(at + i) * 2];
            planes[Chunk + i] = interleaved[(at + i) * 2 + 1];
        }
        if (!writer->append(pointers, n, &error)) return 1;
    }
    return writer->finish(&error) ? 0 : 1;
}

void Writer(benchmark::State& state) {
    const QString wav = toneWav();
    if (wav.isEmpty()) {
        state.SkipWithError("the tone could not be made with ffmpeg");
        return;
    }
    const QString ours = dataDir + QStringLiteral("/ours.m4a");
    const QString theirs = dataDir + QStringLiteral("/ffmpeg.m4a");
    for (auto _ : state) {
        benchtools::Series a, b;
        if (!benchtools::alternate(
                5, [&] { return benchtools::self({"--encode", wav, ours}); },
                [&] { return benchtools::ffmpeg({"-threads", "1", "-i", wav, "-c:a", "aac", "-b:a", "192k", theirs}); },
                &a, &b)) {
            state.SkipWithError("a run failed");
            return;
        }
        state.counters["ours_s"] = a.medianWall();
        state.counters["ffmpeg_s"] = b.medianWall();
        state.counters["ours_cpu_s"] = a.medianCpu();
        state.counters["ffmpeg_cpu_s"] = b.medianCpu();
        state.counters["ours_x_realtime"] = kSeconds / a.medianWall();
        state.counters["ffmpeg_x_realtime"] = kSeconds / b.medianWall();
        state.counters["ratio"] = a.medianWall() / b.medianWall();
    }
}
BENCHMARK(Writer)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void Capture(benchmark::State& state) {
    const auto device = audioinput::defaultDevice();
    if (!qEnvironmentVariableIsSet("JACK_DEFAULT_SERVER") || !device) {
        state.SkipWithError("no JACK server or no input");
        return;
    }
    for (auto _ : state) {
        CaptureSession session;
        session.addInput(CaptureDeviceInput::make(*device));
        AudioFileWriter::Settings settings;
        settings.sampleRate = 48000;
        session.addOutput(std::make_unique<CaptureAudioFileOutput>(settings));
        session.startRunning();
        if (!session.isRunning()) {
            state.SkipWithError("the input did not start");
            return;
        }
        session.outputs().front()->startRecording(QUrl::fromLocalFile(dataDir + "/capture.m4a"));
        QThread::sleep(10);
        session.outputs().front()->stopRecording();
        session.stopRunning();
        state.counters["callback_max_us"] = session.longestCallbackSeconds() * 1e6;
    }
}
BENCHMARK(Capture)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchtools::useTemporaryHome();
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--encode") return encodeOnce(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
