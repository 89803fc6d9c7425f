// Importing a 60-minute stereo file to the decoded cache and peaks, against
// `ffmpeg -i FILE -f null -` on the same file in the same run. The inputs (an
// MP3 and a FLAC, 44.1 kHz) are made once with ffmpeg into the build tree's
// bench-data folder. Counters: "ours_s" and "ffmpeg_s" are the best wall
// seconds of the iterations,
// "ratio" is ours / ffmpeg (goal: at most 1.3), "peak_MB" the import's peak
// resident memory (goal: under 150).

#include "platform/media/Asset.h"
#include "platform/media/DecodedCache.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "BenchTools.h"

#include <algorithm>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);

using benchtools::ffmpeg;

// The 60-minute inputs: a gliding two-voice tone with a little noise.
QString input(const QString& extension) {
    QDir().mkpath(dataDir);
    const QString flac = dataDir + QStringLiteral("/sixty-minutes.flac");
    if (!QFileInfo::exists(flac)) {
        const QString tmp = flac + QStringLiteral(".tmp.flac");
        const QString expr = QStringLiteral(
            "0.3*sin(2*PI*(220+110*sin(2*PI*t/7))*t)+0.01*random(0)|"
            "0.3*sin(2*PI*(330+50*sin(2*PI*t/5))*t)+0.01*random(1)");
        if (!ffmpeg({"-f", "lavfi", "-i", QStringLiteral("aevalsrc=%1:s=44100:d=3600").arg(expr), "-c:a", "flac", tmp}) ||
            !QFile::rename(tmp, flac))
            return {};
    }
    if (extension == QStringLiteral("flac")) return flac;
    const QString mp3 = dataDir + QStringLiteral("/sixty-minutes.mp3");
    if (!QFileInfo::exists(mp3)) {
        const QString tmp = mp3 + QStringLiteral(".tmp.mp3");
        if (!ffmpeg({"-i", flac, "-c:a", "libmp3lame", "-b:a", "192k", tmp}) || !QFile::rename(tmp, mp3)) return {};
    }
    return mp3;
}

long peakResidentKB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

void resetPeakResident() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

void Import(benchmark::State& state, const char* extension) {
    const QString path = input(QString::fromLatin1(extension));
    if (path.isEmpty()) {
        state.SkipWithError("the input could not be made with ffmpeg");
        return;
    }
    const QString cache = dataDir + QStringLiteral("/cache");
    DecodedCache::setFolder(cache);
    // Best of the iterations for each side: the machine may be busy.
    double ours = 1e30, theirs = 1e30, frames = 0;
    long peak = 0;
    for (auto _ : state) {
        QDir(cache).removeRecursively();
        QDir().mkpath(cache);
        resetPeakResident();
        QElapsedTimer t;
        t.start();
        QString error;
        auto asset = Asset::load(path, &error);
        auto decoded = asset ? asset->tracks().at(0)->loadDecodedSource({}, &error) : nullptr;
        const double s = t.nsecsElapsed() / 1e9;
        if (!decoded) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        benchmark::DoNotOptimize(decoded->peaks().get());
        peak = std::max(peak, peakResidentKB());
        frames = double(decoded->frameCount());
        ours = std::min(ours, s);
        double f = 0;
        if (!ffmpeg({"-i", path, "-f", "null", "-"}, &f)) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        theirs = std::min(theirs, f);
        state.SetIterationTime(s);
    }
    state.counters["ours_s"] = ours;
    state.counters["ffmpeg_s"] = theirs;
    state.counters["ratio"] = ours / theirs;
    state.counters["peak_MB"] = double(peak) / 1024.0;
    state.counters["audio_min"] = frames / 44100.0 / 60.0;
    QDir(cache).removeRecursively();
}

}  // namespace

BENCHMARK_CAPTURE(Import, mp3_60min, "mp3")->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Import, flac_60min, "flac")->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
