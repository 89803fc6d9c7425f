#pragma once

// The media library folder: its files, their waveform pictures beside them
// (the file's path with the extension "tiff"), the list's order and height,
// and the copies that put files into it. Needs no controller; every function
// runs on the calling thread and touches only the files it names.

#include "views/LibraryView.h"

#include <QImage>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

namespace medialibrary {

// The picture's path: the file's extension replaced by "tiff" (appended
// when the file has none).
QString picturePathFor(const QString& filePath);

// The files of the folder, in the order the folder lists them: not its
// subfolders nor hidden files, and not the pictures (extension exactly
// "tiff"; "x.TIFF" is a file like any other).
QStringList libraryFiles(const QString& folder);
// The rows of the folder, each with its picture when one can be read.
std::vector<LibraryItemRecord> recordsForFolder(const QString& folder);

// Sorts by file name without extension, as the user's language orders
// names; equal names keep their order.
void sortRecords(std::vector<LibraryItemRecord>& records);
// The list's height for `rows` rows of `indexHeight`: never under 250.
double viewHeight(qsizetype rows, double indexHeight);

// The first free name "Name (n).ext" for n = 2, 3, ... in `folder` ("Name (n)"
// for a name without extension); a path in `taken` counts as used.
QString renamedDestination(const QString& folder, const QString& fileName, const QSet<QString>& taken = {});

// Copies `from` to `to` under a temporary name beside it and renames it over
// `to` only once complete: a failed copy leaves whatever was at `to`.
bool copyIntoPlace(const QString& from, const QString& to);

// The 2000 × 400 picture of a file's waveform, white strokes on transparent;
// null when the file has no audio that can be read. Blocking: decodes the
// file (through the decoded-source cache) on the calling thread.
QImage waveformPictureForFile(const QString& path);
// The picture of waveform values.
QImage pictureForValues(const QVector<float>& values);
// TIFF with LZW compression, written at `path` as it stands (a picture
// others read appears whole through partialfiles).
bool writePicture(const QImage& picture, const QString& path);
// A stored picture at 2000 × 400; null when it cannot be read.
QImage readPicture(const QString& path);

}  // namespace medialibrary
