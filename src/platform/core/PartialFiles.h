#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

// Files being written. Every file that appears under its final name only
// when complete (an export, a recording, a source copied into a project, a
// library picture, a decoded-audio cache entry) is first written beside it
// under one recognisable temporary name, hidden and marked with the writing
// process, then renamed (writeWhole, putInPlace):
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
// Removes, directly in `folder`, the temporary files whose writer has gone
// (isLeftover). Returns how many were removed.
int removeLeftovers(const QString& folder);

// Whether a temporary file of process `pid` (isTemporaryName) was left by a
// writer that has gone: its process no longer runs, or the file has not
// changed for a day (the number was taken by another process since). Never
// true for this process's files.
bool isLeftover(qint64 pid, const QDateTime& lastModified);

// How a file that appears whole is kept.
enum class Durability {
    // Its data reach the disk before it takes its name, and its name after:
    // a crash leaves the old file or the new one, each whole. For what the
    // user made (projects, exports, recordings, library pictures).
    Synced,
    // Renamed without a sync: for files that are made again when lost (the
    // decoded-audio cache).
    Unsynced,
};

// Writes the file `path` whole: `write` writes all of it at the temporary
// path it is given (temporaryPathFor(path, extension)) and answers whether
// it succeeded; then putInPlace. A failure removes the temporary file and
// leaves `path` as it was; `errorNumber` gets the sync's or the rename's
// reason (a failed `write` sets it only through its own means).
bool writeWhole(const QString& path, const std::function<bool(const QString& temporary)>& write,
                Durability durability, int* errorNumber = nullptr, const QString& extension = QString());
// What writeWhole does before the rename, for a file renamed later (on
// another thread): `write` writes all of `temporary`; with Synced its data
// are on the disk when this returns. A failure removes it.
bool writeTemporary(const QString& temporary, const std::function<bool(const QString& temporary)>& write,
                    Durability durability, int* errorNumber = nullptr);
// Gives the whole file `temporary` the name `path`, replacing what was there.
// With Synced its data are synced first (a no-op when writeTemporary did)
// and the folder after the rename. A failure removes the temporary file and
// leaves `path` as it was.
bool putInPlace(const QString& temporary, const QString& path, Durability durability, int* errorNumber = nullptr);
// Syncs the folder that holds `path`, so that a rename into it lasts: the
// last step of putInPlace, for a rename made where a sync must not wait.
// Best effort: the file is in place whatever the disk answers.
void syncFolderOf(const QString& path);

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
