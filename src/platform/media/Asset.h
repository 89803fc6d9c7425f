#pragma once

#include "platform/core/MediaTime.h"
#include "platform/media/AssetTrack.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

// One descriptive item of a file: a title, an artist, a comment, a picture.
struct MetadataItem {
    QString keySpace;   // "id3", "itunes", "quicktime", "vorbis", "riff", "common"
    QString key;        // the key as the file names it (FFmpeg's name for it)
    QString commonKey;  // "title", "artist", "albumName", "comment", "creationDate",
                        // "type", "artwork", ... or empty when it has no common meaning
    QVariant value;     // a QString, or a QByteArray for artwork
    QString dataType;   // artwork: "image/jpeg", "image/png", ...
};

enum class AssetKeyStatus { Unknown, Loading, Loaded, Failed, Cancelled };

// A media file opened with FFmpeg: its audio and video tracks, duration and
// metadata. Made on a worker thread (loadAsync) or in place (load, for worker
// code); a file that cannot be read gives an error and no asset. Immutable
// once made; the audio tracks decode into the decoded cache on first use.
class Asset : public std::enable_shared_from_this<Asset> {
public:
    using Completion = std::function<void(std::shared_ptr<Asset> asset, const QString& error)>;

    // Opens and reads the file now (blocking). Null on failure, with `error`.
    static std::shared_ptr<Asset> load(const QString& path, QString* error = nullptr);
    // Opens the file on a worker thread; `completion` runs on the main thread.
    static void loadAsync(const QString& path, Completion completion);

    const QString& path() const { return path_; }
    QUrl url() const { return QUrl::fromLocalFile(path_); }
    // The container's name as FFmpeg knows it ("wav", "mov,mp4,m4a,3gp,3g2,mj2", ...).
    const QString& formatName() const { return formatName_; }

    // The longest track's end.
    MediaTime duration() const { return duration_; }
    bool isPlayable() const { return playable_; }
    bool hasProtectedContent() const { return protected_; }

    const std::vector<std::shared_ptr<AssetTrack>>& tracks() const { return tracks_; }
    std::vector<std::shared_ptr<AssetTrack>> tracksWithMediaType(MediaType type) const;
    std::shared_ptr<AssetTrack> trackWithTrackID(int32_t trackID) const;
    // A copy of this asset whose audio track `track` is as long as its
    // decoded samples `source` (AssetTrack::withDecodedLength), its duration
    // following; this asset itself when the lengths agree already. Made
    // where the decoding is taken up, so that whoever uses the new asset
    // sees the length that plays.
    std::shared_ptr<Asset> withDecodedLength(const std::shared_ptr<AssetTrack>& track,
                                             const std::shared_ptr<DecodedSource>& source) const;

    // Every item the file carries, and those with a common meaning.
    const std::vector<MetadataItem>& metadata() const { return metadata_; }
    std::vector<MetadataItem> commonMetadata() const;
    std::vector<MetadataItem> metadataWithCommonKey(const QString& commonKey) const;

    // The load state of the values an asset offers ("playable",
    // "hasProtectedContent", "tracks", "duration", "commonMetadata", "metadata"):
    // all are loaded when an asset exists; any other key is unknown.
    AssetKeyStatus statusOfValue(const QString& key) const;

    // File extensions (lower case) of the audio and audio/video files the
    // application opens, and whether a path has one of them (case ignored).
    static const QStringList& audiovisualExtensions();
    static bool isAudiovisualFile(const QString& path);

private:
    Asset() = default;

    QString path_;
    QString formatName_;
    MediaTime duration_ = MediaTime::zero();
    bool playable_ = false;
    bool protected_ = false;
    std::vector<std::shared_ptr<AssetTrack>> tracks_;
    std::vector<MetadataItem> metadata_;
};
