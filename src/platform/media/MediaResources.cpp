#include "platform/media/MediaResources.h"

#include "platform/media/AudioFileWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <vector>

namespace mediaresources {

QString emptyTrackFileName(double sampleRate) {
    return sampleRate == 48000 ? QStringLiteral("EmptyTrack48kHz.m4a") : QStringLiteral("EmptyTrack44,1kHz.m4a");
}

QString resourcesFolder() {
    QStringList candidates;
    const QString env = qEnvironmentVariable("TREVALUNE_RESOURCES_DIR");
    if (!env.isEmpty()) candidates << env;
    if (QCoreApplication::instance()) {
        QDir dir(QCoreApplication::applicationDirPath());
        for (int up = 0; up < 4; ++up) {
            candidates << dir.filePath(QStringLiteral("resources"))
                       << dir.filePath(QStringLiteral("share/trevalune/resources"));
            if (!dir.cdUp()) break;
        }
    }
#ifdef TREVALUNE_BUILD_RESOURCES_DIR
    candidates << QStringLiteral(TREVALUNE_BUILD_RESOURCES_DIR);
#endif
    for (const QString& c : candidates)
        if (QFileInfo::exists(c + QLatin1Char('/') + emptyTrackFileName(44100))) return QDir(c).absolutePath();
    return {};
}

QString emptyTrackPath(double sampleRate) {
    const QString folder = resourcesFolder();
    if (folder.isEmpty()) return {};
    const QString path = folder + QLatin1Char('/') + emptyTrackFileName(sampleRate);
    return QFileInfo::exists(path) ? path : QString();
}

bool writeEmptyTrack(const QString& path, double sampleRate, double seconds, QString* error) {
    auto writer = AudioFileWriter::create(path, {AudioFileWriter::Format::M4A, sampleRate, 2, 128000}, {}, error);
    if (!writer) return false;
    const int64_t total = int64_t(seconds * sampleRate + 0.5);
    std::vector<float> silence(8192, 0.0f);
    const float* channels[2] = {silence.data(), silence.data()};
    for (int64_t done = 0; done < total;) {
        const int64_t n = std::min<int64_t>(8192, total - done);
        if (!writer->append(channels, n, error)) return false;
        done += n;
    }
    return writer->finish(error);
}

}  // namespace mediaresources
