#include "export/ExportRules.h"

#include "engine/ExportItems.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryFile>

#include <algorithm>

namespace exportrules {

double sampleRateForIndex(int index) {
    return exportitems::itemAt(exportitems::sampleRates, index, 0).sampleRate;
}

int bitRateForIndex(int index) {
    return exportitems::itemAt(exportitems::bitRates, index, 2).bitRate;
}

std::optional<AudioFileWriter::Format> formatForIndex(int index) {
    static constexpr AudioFileWriter::Format byIndex[] = {
        AudioFileWriter::Format::M4A, AudioFileWriter::Format::AIFF, AudioFileWriter::Format::WAV,
        AudioFileWriter::Format::CAF};
    static_assert(std::size(byIndex) == exportitems::formats.size());
    if (index < 0 || size_t(index) >= exportitems::formats.size()) return std::nullopt;
    return byIndex[index];
}

QStringList allowedTypesForFormat(int index) {
    if (index < 0 || size_t(index) >= exportitems::formats.size()) return {};
    QStringList types{QString::fromLatin1(exportitems::formats[size_t(index)].extension)};
    for (const auto& f : exportitems::formats) {
        const QString type = QString::fromLatin1(f.extension);
        if (!types.contains(type)) types.append(type);
    }
    return types;
}

QString proposedCompositionName(const QString& title, const QUrl& projectURL, int trackCount) {
    if (!title.isEmpty()) return title;
    if (projectURL.isEmpty()) return {};
    const QString name = QFileInfo(projectURL.toLocalFile()).completeBaseName();
    if (trackCount == 1) return QStringLiteral("%1 - 1 Track").arg(name);
    return QStringLiteral("%1 - %2 Tracks").arg(name).arg(trackCount);
}

QString proposedTrackName(quint64 index) { return QStringLiteral("Track %1").arg(index + 1); }

QString proposedReversedTrackName(quint64 index) { return QStringLiteral("Reversed track %1").arg(index); }

QString proposedVideoTrackName(quint64 index) { return QStringLiteral("Track %1 - Video").arg(index + 1); }

MediaMetadata compositionMetadata(const QString& title, const QString& artist, const QString& comment,
                                  const QImage& artwork, const QString& destinationPath) {
    MediaMetadata m;
    if (!artwork.isNull()) {
        const QImage square = bitmapFromImage(artwork);
        if (!square.isNull()) m.artwork = jpegData(square);
    }
    if (!title.isEmpty()) m.title = title;
    else if (!m.artwork.isEmpty()) m.title = QFileInfo(destinationPath).completeBaseName();
    m.artist = artist;
    m.comment = comment;
    return m;
}

MediaMetadata trackMetadata(const QImage& thumbnail, const QString& destinationPath) {
    MediaMetadata m;
    if (thumbnail.isNull()) return m;
    const QImage square = bitmapFromImage(thumbnail);
    if (square.isNull()) return m;
    m.title = QFileInfo(destinationPath).completeBaseName();
    m.artwork = jpegData(square);
    return m;
}

QImage bitmapFromImage(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return {};
    QImage square(kArtworkSize, kArtworkSize, QImage::Format_RGBA8888);
    if (square.isNull()) return {};
    square.fill(Qt::black);
    const double scale = std::min(double(kArtworkSize) / image.width(), double(kArtworkSize) / image.height());
    const double w = image.width() * scale, h = image.height() * scale;
    QPainter p(&square);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QRectF((kArtworkSize - w) * 0.5, (kArtworkSize - h) * 0.5, w, h), image);
    p.end();
    return square;
}

QByteArray jpegData(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "JPEG", 100)) return {};
    return bytes;
}

QString temporaryAudioFilePath(const QString& folder, const QString& sourcePath, const QString& extension) {
    const QString base = QFileInfo(sourcePath).completeBaseName();
    const QString suffix = QLatin1Char('.') + extension;
    QString stem = folder + QLatin1Char('/') + base;
    QString candidate = stem + suffix;
    for (long counter = 2;; ++counter) {
        const QFileInfo info(candidate);
        if (!info.exists() || info.isDir()) return candidate;
        stem += QStringLiteral(" %1").arg(counter);
        candidate = stem + suffix;
    }
}

void clearFolderFiles(const QString& folder) {
    QDir dir(folder);
    const auto entries = dir.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : entries) QFile::remove(info.absoluteFilePath());
}

QString scratchFilePath(const QString& folder, const QString& stem) {
    if (!QDir().mkpath(folder)) return {};
    QTemporaryFile file(QDir(folder).filePath(stem + QStringLiteral("-XXXXXX.f32")));
    file.setAutoRemove(false);
    if (!file.open()) return {};
    return file.fileName();
}

}  // namespace exportrules
