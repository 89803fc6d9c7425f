#pragma once

#include <QString>
#include <QStringList>

// The desktop's tags of a file: the extended attribute "user.xdg.tags", the
// names separated by commas. A file system without user attributes keeps none.
namespace filetags {

inline constexpr const char* kAttribute = "user.xdg.tags";

// False (with `error`) when the attribute cannot be written.
bool setTagNames(const QString& path, const QStringList& names, QString* error = nullptr);
// The file's tags; empty when it has none or they cannot be read.
QStringList tagNames(const QString& path);

}  // namespace filetags
