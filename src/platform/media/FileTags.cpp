#include "platform/media/FileTags.h"

#include <QFile>

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

namespace filetags {

bool setTagNames(const QString& path, const QStringList& names, QString* error) {
    QStringList clean;
    for (const QString& n : names) {
        // A comma would split a name in two.
        const QString t = QString(n).replace(QLatin1Char(','), QLatin1Char(' ')).trimmed();
        if (!t.isEmpty() && !clean.contains(t)) clean.append(t);
    }
    const QByteArray file = QFile::encodeName(path);
    const QByteArray value = clean.join(QLatin1Char(',')).toUtf8();
    const int r = clean.isEmpty() ? ::removexattr(file.constData(), kAttribute)
                                  : ::setxattr(file.constData(), kAttribute, value.constData(),
                                               size_t(value.size()), 0);
    if (r == 0 || (clean.isEmpty() && errno == ENODATA)) return true;
    if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

QStringList tagNames(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    const ssize_t size = ::getxattr(file.constData(), kAttribute, nullptr, 0);
    if (size <= 0) return {};
    QByteArray value(int(size), '\0');
    const ssize_t got = ::getxattr(file.constData(), kAttribute, value.data(), size_t(size));
    if (got <= 0) return {};
    value.resize(int(got));
    QStringList names = QString::fromUtf8(value).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& n : names) n = n.trimmed();
    return names;
}

}  // namespace filetags
