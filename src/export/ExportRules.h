#pragma once

// The export's rules that need no controller: what the save panel's indexes
// mean, the names it proposes, the metadata an export writes, the names of
// rendered files in "TempFiles" and the square artwork picture. The
// controller's export members build on these.

#include "platform/media/AudioFileWriter.h"
#include "platform/media/MediaMetadata.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace exportrules {

// The output rate of an export for the sample-rate pop-up's index; an index
// outside the table (none selected included) gives 44100.
double sampleRateForIndex(int index);
// The m4a bit rate for the bit-rate pop-up's index; outside the table 192000.
int bitRateForIndex(int index);
// The writer format for the format pop-up's index; none outside the table.
std::optional<AudioFileWriter::Format> formatForIndex(int index);

// The file types the composition's save panel allows, the chosen format first
// and the others in the table's order; empty for no format.
QStringList allowedTypesForFormat(int index);

// The AAC bit rate of the track exports and of the movies' sound.
inline constexpr int kMovieAudioBitRate = 320000;

// "Reversed track N" with the track's index counted from 0.
QString proposedReversedTrackName(quint64 index);
// "Track N - Video" with the track's index counted from 1.
QString proposedVideoTrackName(quint64 index);

// The name the composition's save panel proposes: the title when there is
// one; else, with a project, "<project> - N Tracks" ("- 1 Track" for one);
// else empty (the panel's own default).
QString proposedCompositionName(const QString& title, const QUrl& projectURL, int trackCount);
// "Track N" with the track's index counted from 1.
QString proposedTrackName(quint64 index);

// The metadata of a mix export: the artwork (JPEG of the square picture)
// when there is one; the title, or the destination's file name when the
// title is empty and there is artwork; the artist and comment when set.
MediaMetadata compositionMetadata(const QString& title, const QString& artist, const QString& comment,
                                  const QImage& artwork, const QString& destinationPath);
// The metadata of a single-track export: the destination's name as title
// and the thumbnail as artwork, both only when the thumbnail has a picture.
MediaMetadata trackMetadata(const QImage& thumbnail, const QString& destinationPath);

// The square artwork: `image` fitted into 1400 by 1400 pixels on black,
// centred, at high quality. A null image for an image without pixels.
inline constexpr int kArtworkSize = 1400;
QImage bitmapFromImage(const QImage& image);
// JPEG at the highest quality.
QByteArray jpegData(const QImage& image);

// A free name in `folder` for a render of `sourcePath`: "<base>.m4a" (or
// another `extension`), and while that is taken " 2", " 3", ... appended
// each to the name before, so that they run song.m4a, song 2.m4a,
// song 2 3.m4a. A folder at a candidate ends the search (the writer then
// fails on it).
QString temporaryAudioFilePath(const QString& folder, const QString& sourcePath,
                               const QString& extension = QStringLiteral("m4a"));

// A new empty file in `folder` (made when missing) for an export's
// intermediate samples, named "<stem>-XXXXXX.f32"; empty when it cannot be
// made.
QString scratchFilePath(const QString& folder, const QString& stem);

// Deletes every file directly inside `folder`; folders stay.
void clearFolderFiles(const QString& folder);

}  // namespace exportrules
