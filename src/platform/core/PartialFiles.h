#pragma once

#include <QString>

// Files being written. Every file that appears under its final name only
// when complete (an export, a source copied into a project) is first written
// beside it under one recognisable temporary name, hidden and marked with
// the writing process:
//
//     .<name without extension>.part-<process id>-<count>.<extension>
//
// The name ends in the destination's extension, or in the format's own where
// the writer's library looks at it (the m4a muxer) and fits the file system's limit on a name. A process killed
// while writing leaves such a file; the next save or export into that folder
// removes it (`removeLeftovers`). Files of the older form ".<name>.part-<pid>-<n>"
// are recognised too.
//
// Any thread; nothing here is for a render thread.
namespace partialfiles {

// The longest file name, in bytes, that the file systems in use take.
constexpr int kNameLimit = 255;

// A temporary path beside `path`, new to this process, ending in `path`'s
// extension or, when given, in `extension` (without its dot).
QString temporaryPathFor(const QString& path, const QString& extension = QString());
// Whether `fileName` (no folder) is a temporary name; `pid` gets its process.
bool isTemporaryName(const QString& fileName, qint64* pid = nullptr);
// Removes, directly in `folder`, the temporary files whose writer has gone:
// its process no longer runs, or the file has not changed for a day (the
// number was taken by another process since). Those of this process stay.
// Returns how many were removed.
int removeLeftovers(const QString& folder);

// `name` shortened to at most `limit` bytes (UTF-8, as file names are
// stored), cut between whole characters and keeping its extension; `mark`
// (short, ASCII) is put after the cut. A name that fits is returned as it is.
QString fittedName(const QString& name, int limit = kNameLimit, const QString& mark = QString());

// The reason a file operation failed, in the user's words: "The disk is
// full." and the like; `folder` names the folder where that is the reason.
QString reasonForError(int errorNumber, const QString& folder = QString());

}  // namespace partialfiles

// The temporary name of a file being written (see partialfiles).
inline QString temporaryPathFor(const QString& path, const QString& extension = QString()) {
    return partialfiles::temporaryPathFor(path, extension);
}
