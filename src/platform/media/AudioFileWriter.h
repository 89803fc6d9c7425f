#pragma once

#include "platform/core/PartialFiles.h"
#include "platform/media/AudioPCMBuffer.h"
#include "platform/media/MediaMetadata.h"

#include <QString>

#include <memory>

// Writes an audio file from float, non-interleaved buffers handed in a loop
// (append, append, ..., finish), so an export streams and can stop at any
// buffer. The file is written under a temporary name beside the destination
// (partialfiles::temporaryPathFor, ending in the format's extension) and
// renamed into place by finish(); a failure, a cancel() or a writer
// destroyed before finishing leaves nothing under the destination's name.
// A writer's error says why in the user's words ("The disk is full.").
//
// Formats: m4a (AAC through FFmpeg's native encoder, with title, artist,
// comment and artwork in the file's iTunes metadata), AIFF 16-bit big-endian,
// WAV 16-bit little-endian and CAF 32-bit float little-endian (libsndfile;
// tags with TagLib, and in CAF's own 'info' chunk).
class AudioFileWriter {
public:
    enum class Format { M4A, AIFF, WAV, CAF };
    struct Settings {
        Format format = Format::M4A;
        double sampleRate = 44100;
        int channelCount = 2;
        int bitRate = 192000;  // m4a only: 128000, 160000, 192000 or 320000
        // How the complete file is put in place: synced for what the user
        // keeps, unsynced for scratch files that are made again when lost.
        partialfiles::Durability durability = partialfiles::Durability::Synced;
    };

    // The usual extension of a format ("m4a", "aif", "wav", "caf").
    static QString extension(Format format);

    // Removes first what writers killed while writing left beside `path`.
    static std::unique_ptr<AudioFileWriter> create(const QString& path, const Settings& settings,
                                                   const MediaMetadata& metadata = {},
                                                   QString* error = nullptr);
    virtual ~AudioFileWriter();

    // Appends `frames` frames, one pointer per channel.
    virtual bool append(const float* const* channels, int64_t frames, QString* error = nullptr) = 0;
    bool append(const AudioPCMBuffer& buffer, QString* error = nullptr);
    // Completes the file, writes its tags and renames it into place.
    virtual bool finish(QString* error = nullptr) = 0;
    // Stops and removes the temporary file.
    void cancel();

    const QString& path() const { return path_; }
    const QString& temporaryPath() const { return temporaryPath_; }
    const Settings& settings() const { return settings_; }
    int64_t framesWritten() const { return frames_; }
    bool isFinished() const { return finished_; }

protected:
    // The temporary file ends in `temporaryExtension`, or in the
    // destination's extension when it is empty.
    AudioFileWriter(QString path, Settings settings, MediaMetadata metadata,
                    const QString& temporaryExtension = QString());
    virtual void closeWithoutFinishing() = 0;
    // Moves the temporary file into place.
    bool commit(QString* error);
    bool fail(QString* error, const QString& text);
    // Why a write failed, from the system's error number or FFmpeg's code.
    QString reasonFor(int errorNumber) const;
    QString reasonForFFmpeg(int code) const;

    QString path_;
    QString temporaryPath_;
    Settings settings_;
    MediaMetadata metadata_;
    int64_t frames_ = 0;
    bool finished_ = false;
    bool failed_ = false;
};
