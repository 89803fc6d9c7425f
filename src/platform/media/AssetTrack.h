#pragma once

#include "platform/core/MediaTime.h"
#include "platform/media/DecodedSource.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>

enum class MediaType { Audio, Video };

// What a track's samples or pictures are: compared for equality to tell
// whether two tracks can be joined or rendered the same way.
struct FormatDescription {
    MediaType mediaType = MediaType::Audio;
    QString codecName;
    double sampleRate = 0;      // audio
    int channelCount = 0;       // audio
    int bitsPerSample = 0;      // audio, 0 for compressed formats
    int width = 0, height = 0;  // video

    friend bool operator==(const FormatDescription&, const FormatDescription&) = default;
};

// One track of a media asset (or of generated material). Audio tracks give
// their samples through a decoded source: decoded once, on first use, then
// shared by everyone who renders the track.
class AssetTrack : public std::enable_shared_from_this<AssetTrack> {
public:
    using Progress = std::function<void(double fraction)>;
    using Decoder = std::function<std::shared_ptr<DecodedSource>(const Progress&, QString* error)>;
    using DecodeCompletion =
        std::function<void(std::shared_ptr<DecodedSource> source, const QString& error)>;

    struct Info {
        int32_t trackID = 0;
        MediaType mediaType = MediaType::Audio;
        QString sourcePath;   // the file, empty for generated material
        int streamIndex = -1; // the stream in that file
        MediaTimeRange timeRange;
        int32_t naturalTimeScale = 0;
        double sampleRate = 0;  // audio
        int channelCount = 0;   // audio
        QString codecName;
        int width = 0, height = 0;  // video
        // Audio: the exact number of frames the track decodes to (encoder
        // priming and padding removed).
        int64_t frameCount = 0;
        int bitsPerSample = 0;      // audio, 0 for compressed formats
        int64_t bitRate = 0;        // bits per second, 0 when unknown
        double nominalFrameRate = 0;  // video
        int rotation = 0;           // video: clockwise degrees to display upright (0, 90, 180, 270)
        QString languageCode;
    };

    AssetTrack(Info info, Decoder decoder);

    // An audio track over samples already decoded (tests, generated material).
    static std::shared_ptr<AssetTrack> fromDecodedSource(std::shared_ptr<DecodedSource> source,
                                                        int32_t trackID = 1);
    // This track as long as `source`, its decoded samples, which the new
    // track holds already: a file cut short decodes to less than its header
    // declares. Any thread; this track is left as it is.
    std::shared_ptr<AssetTrack> withDecodedLength(std::shared_ptr<DecodedSource> source) const;

    const Info& info() const { return info_; }
    int32_t trackID() const { return info_.trackID; }
    MediaType mediaType() const { return info_.mediaType; }
    MediaTimeRange timeRange() const { return info_.timeRange; }
    int32_t naturalTimeScale() const { return info_.naturalTimeScale; }
    double sampleRate() const { return info_.sampleRate; }
    int channelCount() const { return info_.channelCount; }
    FormatDescription formatDescription() const;

    // The decoded samples if they are there already, else null. Never blocks.
    std::shared_ptr<DecodedSource> decodedSource() const;
    // Decodes on first call (blocking; call it from a worker thread) and
    // returns the samples; later calls return them at once. Null on failure,
    // with `error` set.
    std::shared_ptr<DecodedSource> loadDecodedSource(const Progress& progress = {},
                                                     QString* error = nullptr) const;
    // Decodes on a worker thread; `progress` and `completion` run on the main
    // thread. When the samples are there already, completion is still queued
    // (never called from inside this call).
    void loadDecodedSourceAsync(std::function<void(double)> progress,
                                DecodeCompletion completion) const;

private:
    Info info_;
    Decoder decoder_;
    mutable std::mutex decodeMutex_;  // one decode at a time
    mutable std::shared_ptr<DecodedSource> decoded_;
    mutable std::mutex publishMutex_;  // guards decoded_ for the quick read
};
