#include "platform/core/AppPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace apppaths {
namespace {
QString ensure(const QString& path) {
    QDir().mkpath(path);
    return path;
}
}  // namespace

QString musicFolder() {
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty()) music = QDir::homePath() + QStringLiteral("/Music");
    return ensure(music + QStringLiteral("/Trevalune"));
}

QString mediaLibraryFolder() { return ensure(musicFolder() + QStringLiteral("/Media Library")); }

QString dataFolder() {
    return ensure(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  QStringLiteral("/Trevalune"));
}

QString presetsFolder() { return ensure(dataFolder() + QStringLiteral("/Presets")); }
QString tempFilesFolder() { return ensure(dataFolder() + QStringLiteral("/TempFiles")); }
QString recordedFilesFolder() { return ensure(dataFolder() + QStringLiteral("/RecordedFiles")); }
QString decodedCacheFolder() { return ensure(dataFolder() + QStringLiteral("/DecodedCache")); }

}  // namespace apppaths
