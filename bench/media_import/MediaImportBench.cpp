// Importing a 60-minute stereo file to the decoded cache and peaks, against
// `ffmpeg -threads 1 -i FILE -f null -` on the same file. Both sides run as
// whole processes (this program again, in its child mode, for ours), one
// after the other in alternating order, starting from an empty cache. The
// inputs (an MP3, a 24-bit FLAC and a 16-bit FLAC, 44.1 kHz) are made once
// with ffmpeg into the build tree's bench-data folder. The 16-bit FLAC's
// entry is 16-bit, the others' float.
//
// Counters, medians of the rounds: "ours_s" and "ffmpeg_s" wall seconds,
// "ours_cpu_s" and "ffmpeg_cpu_s" processor seconds (every thread, user and
// system), "ratio" ours / ffmpeg in wall time (goal: at most 1.3) and
// "cpu_ratio" the same in processor time, "peak_MB" our peak resident memory
// (goal: under 150), "cache_MB" the size of the entry the import wrote
// (samples and peaks). Run under `taskset -c N` for the figures on one
// processor.
//
//   bench_media_import --import FILE CACHE_FOLDER   one import, then exit

#include "platform/media/Asset.h"
#include "platform/media/DecodedCache.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "BenchTools.h"

#include <cstdio>

namespace {

const QString dataDir = QStringLiteral(TREVALUNE_BENCH_DATA_DIR);
constexpr int kRounds = 5;

using benchtools::ffmpeg;

// The child: one import of `path` into the cache folder `cache`, as the
// application does it (the asset, then its first audio track's decoded
// samples and peaks).
int importOnce(const QString& path, const QString& cache) {
    DecodedCache::setFolder(cache);
    QString error;
    auto asset = Asset::load(path, &error);
    auto decoded = asset ? asset->tracks().at(0)->loadDecodedSource({}, &error) : nullptr;
    if (!decoded || !decoded->peaks()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

void Import(benchmark::State& state, const char* extension) {
    const QString path = benchtools::sixtyMinuteInput(dataDir, QString::fromLatin1(extension));
    if (path.isEmpty()) {
        state.SkipWithError("the input could not be made with ffmpeg");
        return;
    }
    const QString cache = dataDir + QStringLiteral("/cache");
    benchtools::Series ours, theirs;
    for (auto _ : state) {
        const bool ok = benchtools::alternate(
            kRounds,
            [&] {
                QDir(cache).removeRecursively();
                QDir().mkpath(cache);
                return benchtools::self({QStringLiteral("--import"), path, cache});
            },
            [&] { return benchtools::ffmpegDecode(path); }, &ours, &theirs);
        if (!ok) {
            state.SkipWithError("an import or ffmpeg failed");
            break;
        }
        state.SetIterationTime(ours.medianWall());
    }
    state.counters["ours_s"] = ours.medianWall();
    state.counters["ffmpeg_s"] = theirs.medianWall();
    state.counters["ours_cpu_s"] = ours.medianCpu();
    state.counters["ffmpeg_cpu_s"] = theirs.medianCpu();
    state.counters["ratio"] = ours.medianWall() / theirs.medianWall();
    state.counters["cpu_ratio"] = ours.medianCpu() / theirs.medianCpu();
    state.counters["peak_MB"] = ours.medianPeakMB();
    qint64 cacheBytes = 0;
    for (const QFileInfo& f : QDir(cache).entryInfoList(QDir::Files)) cacheBytes += f.size();
    state.counters["cache_MB"] = double(cacheBytes) / 1e6;
    QDir(cache).removeRecursively();
}

}  // namespace

BENCHMARK_CAPTURE(Import, mp3_60min, "mp3")->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Import, flac24_60min, "flac")->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Import, flac16_60min, "flac16")->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--import") {
        QCoreApplication app(argc, argv);
        return importOnce(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    return benchtools::runBenchmarks<QCoreApplication>(argc, argv);
}
