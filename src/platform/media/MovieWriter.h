#pragma once

#include "platform/core/MediaTime.h"
#include "platform/media/AudioFileWriter.h"

#include <vector>

// Writes a QuickTime movie: the video stream of a source file copied as it is
// (no re-encoding), placed by segments, and the audio handed in as float
// buffers encoded as AAC. Title, artist and comment go in the movie's own
// metadata; the artwork is added with TagLib after the muxer has finished
// (FFmpeg's QuickTime muxer does not store cover art). Like every writer it
// writes a temporary file and renames it into place on success.
class MovieWriter final : public AudioFileWriter {
public:
    // A piece of the source's video placed in the movie. Copying starts at the
    // key frame at or before the source start; the first segment keeps that
    // lead-in hidden behind an edit list, later ones start on the key frame.
    // A destination duration other than the source's changes the speed.
    struct VideoSegment {
        MediaTimeRange source;
        MediaTime destinationStart = MediaTime::zero();
        MediaTime destinationDuration;  // invalid: the source's duration
    };
    struct VideoSettings {
        QString sourcePath;
        int streamIndex = -1;  // -1: the first video stream
        // Empty: the whole stream at time zero.
        std::vector<VideoSegment> segments;
    };

    // `audio.format` is ignored (the audio is AAC).
    static std::unique_ptr<MovieWriter> create(const QString& path, const VideoSettings& video,
                                               const Settings& audio, const MediaMetadata& metadata = {},
                                               QString* error = nullptr);
    ~MovieWriter() override;

    bool append(const float* const* channels, int64_t frames, QString* error = nullptr) override;
    using AudioFileWriter::append;
    bool finish(QString* error = nullptr) override;

protected:
    void closeWithoutFinishing() override;

private:
    MovieWriter(const QString& path, const Settings& audio, const MediaMetadata& metadata);
    bool open(const VideoSettings& video, QString* error);
    // Copies video packets whose movie time lies before `seconds`.
    bool pumpVideo(double seconds, QString* error);

    struct State;
    std::unique_ptr<State> d;
};
