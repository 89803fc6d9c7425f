#include "library/LibraryFolder.h"

#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/DecodedSource.h"
#include "views/AudioView.h"
#include "views/WaveformValues.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

#include <algorithm>

namespace medialibrary {

QString picturePathFor(const QString& filePath) {
    const QFileInfo info(filePath);
    const QString dir = info.path();
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    return dir + QLatin1Char('/') + base + QStringLiteral(".tiff");
}

QStringList libraryFiles(const QString& folder) {
    QStringList files;
    if (folder.isEmpty()) return files;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() || entry.suffix() == QLatin1String("tiff")) continue;
        files.append(entry.fileName());
    }
    return files;
}

std::vector<LibraryItemRecord> recordsForFolder(const QString& folder) {
    std::vector<LibraryItemRecord> records;
    for (const QString& name : libraryFiles(folder)) {
        LibraryItemRecord record;
        record.libraryAudioURL = QUrl::fromLocalFile(folder + QLatin1Char('/') + name);
        record.libraryAudioTrevalunePath = record.libraryAudioURL.toLocalFile();
        const QString picture = picturePathFor(record.libraryAudioTrevalunePath);
        if (QFileInfo(picture).isFile()) record.libraryAudioWave = readPicture(picture);
        records.push_back(std::move(record));
    }
    return records;
}

void sortRecords(std::vector<LibraryItemRecord>& records) {
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    auto key = [](const LibraryItemRecord& r) {
        return QFileInfo(r.libraryAudioTrevalunePath).completeBaseName();
    };
    std::stable_sort(records.begin(), records.end(), [&](const LibraryItemRecord& a, const LibraryItemRecord& b) {
        return collator.compare(key(a), key(b)) < 0;
    });
}

double viewHeight(qsizetype rows, double indexHeight) {
    return std::max(indexHeight * double(rows) + 10, 250.0);
}

QString renamedDestination(const QString& folder, const QString& fileName, const QSet<QString>& taken) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    for (qint64 n = 2;; ++n) {
        const QString candidate =
            folder + QLatin1Char('/') + QStringLiteral("%1 (%2)").arg(base).arg(n) + extension;
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink() && !taken.contains(candidate))
            return candidate;
    }
}

bool copyIntoPlace(const QString& from, const QString& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) return false;
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly)) return false;
    QByteArray block;
    for (;;) {
        block = source.read(1 << 20);
        if (block.isEmpty()) break;
        if (target.write(block) != block.size()) {
            target.cancelWriting();
            return false;
        }
    }
    if (source.error() != QFileDevice::NoError) {
        target.cancelWriting();
        return false;
    }
    return target.commit();
}

QImage pictureForValues(const QVector<float>& values) {
    QImage coverage = AudioView::createNewBmpImageRep(AudioView::WaveformWidth, AudioView::WaveformHeight, 1.0, true);
    AudioView::paintWaveform(coverage, values);
    if (coverage.isNull()) return {};
    // The painter keeps only the strokes' coverage: white through it.
    QImage picture(coverage.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    {
        QPainter p(&picture);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, coverage);
    }
    return picture;
}

QImage waveformPictureForFile(const QString& path) {
    auto asset = Asset::load(path);
    if (!asset) return {};
    const auto tracks = asset->tracksWithMediaType(MediaType::Audio);
    if (tracks.empty()) return {};
    std::shared_ptr<DecodedSource> decoded = tracks.front()->loadDecodedSource();
    if (!decoded || decoded->frameCount() <= 0 || !(decoded->sampleRate() > 0)) return {};
    const QVector<float> values = waveform::valuesForSource(*decoded);
    decoded->releaseMappedPages();
    if (values.isEmpty()) return {};
    return pictureForValues(values);
}

bool writePicture(const QImage& picture, const QString& path) {
    if (picture.isNull()) return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QImageWriter writer(&file, "tiff");
    writer.setCompression(1);  // LZW
    if (!writer.write(picture)) return false;
    file.close();
    return file.error() == QFileDevice::NoError;
}

QImage readPicture(const QString& path) {
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull()) return {};
    if (image.size() != QSize(AudioView::WaveformWidth, AudioView::WaveformHeight))
        image = image.scaled(AudioView::WaveformWidth, AudioView::WaveformHeight, Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace medialibrary
