#pragma once

#include <QByteArray>
#include <QString>

// The descriptive metadata the writers put into a file: title, artist,
// comment and a picture (the encoded JPEG or PNG bytes).
struct MediaMetadata {
    QString title;
    QString artist;
    QString comment;
    QByteArray artwork;

    bool isEmpty() const {
        return title.isEmpty() && artist.isEmpty() && comment.isEmpty() && artwork.isEmpty();
    }
    // "image/jpeg", "image/png" or "image/bmp" from the picture's first bytes; empty without one.
    QString artworkMimeType() const;
};

// Tags written and read with TagLib. Strings go in as UTF-8 explicitly.
namespace mediatags {

// ID3v2 (and, for WAV, a RIFF INFO list) into a WAV or AIFF file.
bool writeWav(const QString& path, const MediaMetadata& metadata, QString* error);
bool writeAiff(const QString& path, const MediaMetadata& metadata, QString* error);
// The artwork of an MP4 or QuickTime file ("covr"); strings are left as they are.
bool writeMp4Artwork(const QString& path, const QByteArray& artwork, QString* error);
// CAF: the strings belong in the 'info' chunk, which the PCM writer makes.
// CAF has no chunk for a picture, and its readers (FFmpeg among them) take
// metadata from 'info' alone, which holds text only: so the whole set,
// picture included, also goes into an ID3v2 tag in a chunk of type 'ID3 ',
// which `read` takes back and other readers skip. It is placed before the
// audio data: readers that reckon the length from the bytes after the start
// of the data would otherwise count the tag as sound.
bool writeCafTag(const QString& path, const MediaMetadata& metadata, QString* error);

// The metadata of a file as TagLib (and, for CAF, the 'ID3 ' chunk) reads it;
// `format` is FFmpeg's container name ("wav", "aiff", "caf", "mov,mp4,...",
// "mp3", ...). Empty fields where nothing is found.
MediaMetadata read(const QString& path, const QString& format);

}  // namespace mediatags
