#include "platform/core/PartialFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

namespace partialfiles {
namespace {

// An extension longer than this is part of the name, not a type.
constexpr int kLongestExtension = 32;

int bytes(const QString& s) { return int(QFile::encodeName(s).size()); }

// The name's last extension with its dot ("" when it has none or only a
// leading dot), and what comes before it.
void split(const QString& name, QString* stem, QString* extension) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && bytes(name.mid(dot)) <= kLongestExtension) {
        *stem = name.left(dot);
        *extension = name.mid(dot);
    } else {
        *stem = name;
        extension->clear();
    }
}

// The longest start of `text` of at most `limit` bytes that ends between two
// whole characters (a letter with its accents, an emoji with its modifiers).
QString cut(const QString& text, int limit) {
    if (bytes(text) <= limit) return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype best = 0;
    for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
        if (bytes(text.left(at)) > limit) break;
        best = at;
    }
    return text.left(best);
}

const QRegularExpression& pattern() {
    static const QRegularExpression re(QStringLiteral("^\\..*\\.part-(\\d{1,18})-\\d{1,18}(\\.[^.]*)?$"),
                                       QRegularExpression::DotMatchesEverythingOption);
    return re;
}

bool running(qint64 pid) {
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// fsync of the file or folder at `path`: 0, or the reason it failed.
int sync(const QString& path, bool folder) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0) return errno;
    int error = 0;
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        error = errno;
        break;
    }
    ::close(fd);
    return error;
}

bool failed(const QString& temporary, int reason, int* errorNumber) {
    QFile::remove(temporary);
    if (errorNumber) *errorNumber = reason;
    return false;
}

}  // namespace

QString fittedName(const QString& name, int limit, const QString& mark) {
    if (bytes(name) <= limit) return name;
    QString stem, extension;
    split(name, &stem, &extension);
    return cut(stem, limit - bytes(extension) - bytes(mark)) + mark + extension;
}

QString temporaryPathFor(const QString& path, const QString& ownExtension) {
    static std::atomic<quint64> counter{0};
    const QFileInfo info(path);
    QString stem, extension;
    split(info.fileName(), &stem, &extension);
    if (!ownExtension.isEmpty()) {
        if (extension.compare(QLatin1Char('.') + ownExtension, Qt::CaseInsensitive) != 0) stem = info.fileName();
        extension = QLatin1Char('.') + ownExtension;
    }
    const QString marker = QStringLiteral(".part-%1-%2").arg(::getpid()).arg(counter.fetch_add(1));
    const QString head = cut(stem, kNameLimit - 1 - bytes(marker) - bytes(extension));
    return info.absolutePath() + QStringLiteral("/.") + head + marker + extension;
}

bool isTemporaryName(const QString& fileName, qint64* pid) {
    const QRegularExpressionMatch m = pattern().match(fileName);
    if (!m.hasMatch()) return false;
    if (pid) *pid = m.captured(1).toLongLong();
    return true;
}

bool isLeftover(qint64 pid, const QDateTime& lastModified) {
    if (pid == ::getpid()) return false;
    return !running(pid) || lastModified <= QDateTime::currentDateTime().addDays(-1);
}

int removeLeftovers(const QString& folder) {
    if (folder.isEmpty()) return 0;
    int removed = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo file = it.fileInfo();
        qint64 pid = 0;
        if (!isTemporaryName(file.fileName(), &pid) || !isLeftover(pid, file.lastModified())) continue;
        if (QFile::remove(file.absoluteFilePath())) ++removed;
    }
    return removed;
}

bool writeWhole(const QString& path, const std::function<bool(const QString&)>& write, Durability durability,
                int* errorNumber, const QString& extension) {
    const QString temporary = partialfiles::temporaryPathFor(path, extension);
    if (!write(temporary)) return failed(temporary, 0, nullptr);
    return putInPlace(temporary, path, durability, errorNumber);
}

bool writeTemporary(const QString& temporary, const std::function<bool(const QString&)>& write,
                    Durability durability, int* errorNumber) {
    if (!write(temporary)) return failed(temporary, 0, nullptr);
    if (durability == Durability::Synced)
        if (const int error = sync(temporary, false)) return failed(temporary, error, errorNumber);
    return true;
}

bool putInPlace(const QString& temporary, const QString& path, Durability durability, int* errorNumber) {
    const bool synced = durability == Durability::Synced;
    // A disk that is full or failing often says so only here, when the
    // written data are first asked to reach it.
    if (synced)
        if (const int error = sync(temporary, false)) return failed(temporary, error, errorNumber);
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        return failed(temporary, errno, errorNumber);
    if (synced) syncFolderOf(path);
    return true;
}

void syncFolderOf(const QString& path) { (void)sync(QFileInfo(path).absolutePath(), true); }

QString reasonForError(int errorNumber, const QString& folder) {
    const QString where = QDir::toNativeSeparators(folder);
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return QStringLiteral("The disk is full.");
    case EACCES:
    case EPERM:
        return where.isEmpty() ? QStringLiteral("The folder cannot be written to.")
                               : QStringLiteral("The folder “%1” cannot be written to.").arg(where);
    case EROFS:
        return where.isEmpty() ? QStringLiteral("The disk is read-only.")
                               : QStringLiteral("The folder “%1” is on a read-only disk.").arg(where);
    case ENOENT:
    case ENOTDIR:
        return where.isEmpty() ? QStringLiteral("The folder does not exist.")
                               : QStringLiteral("The folder “%1” does not exist.").arg(where);
    case ENAMETOOLONG: return QStringLiteral("The file's name is too long.");
    case EIO: return QStringLiteral("The disk could not be read or written.");
    default: break;
    }
    return QString::fromLocal8Bit(std::strerror(errorNumber)) + QLatin1Char('.');
}

}  // namespace partialfiles
