#pragma once

#include "platform/core/MediaTime.h"
#include "platform/media/DecodedSource.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>

enum class MediaType { Audio, Video };

// One track of a media asset (or of generated material). Audio tracks give
// their samples through a decoded source: decoded once, on first use, then
// shared by everyone who renders the track.
class AssetTrack {
public:
    using Progress = std::function<void(double fraction)>;
    using Decoder = std::function<std::shared_ptr<DecodedSource>(const Progress&, QString* error)>;

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
    };

    AssetTrack(Info info, Decoder decoder);

    // An audio track over samples already decoded (tests, generated material).
    static std::shared_ptr<AssetTrack> fromDecodedSource(std::shared_ptr<DecodedSource> source,
                                                        int32_t trackID = 1);

    const Info& info() const { return info_; }
    int32_t trackID() const { return info_.trackID; }
    MediaType mediaType() const { return info_.mediaType; }
    MediaTimeRange timeRange() const { return info_.timeRange; }

    // The decoded samples if they are there already, else null. Never blocks.
    std::shared_ptr<DecodedSource> decodedSource() const;
    // Decodes on first call (blocking; call it from a worker thread) and
    // returns the samples; later calls return them at once. Null on failure,
    // with `error` set.
    std::shared_ptr<DecodedSource> loadDecodedSource(const Progress& progress = {},
                                                     QString* error = nullptr) const;

private:
    Info info_;
    Decoder decoder_;
    mutable std::mutex decodeMutex_;  // one decode at a time
    mutable std::shared_ptr<DecodedSource> decoded_;
    mutable std::mutex publishMutex_;  // guards decoded_ for the quick read
};
