// The track's media asset: taking it up when the thumbnail has loaded it,
// and moving one edge of the track's time range when the track is trimmed.
#include "engine/MediaAssetHolder.h"
#include "engine/MusicFilter.h"

#include "platform/core/NotificationCenter.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetTrack.h"

void MusicFilter::setupNewPlayerAssetFromNotification() {
    auto* holder = dynamic_cast<MediaAssetHolder*>(imageView.data());
    if (!holder) return;
    std::shared_ptr<Asset> asset = holder->heldMediaAsset();
    // An asset with no audio to take up leaves the track as it is.
    if (!asset || asset->tracksWithMediaType(MediaType::Audio).empty()) return;
    if (playerAsset) clearAllVideoAssets();
    setupPlayerAssetWithAsset(asset);
}

bool MusicFilter::setupPlayerAssetWithAsset(const std::shared_ptr<Asset>& asset) {
    if (!asset) return false;
    const auto audioTracks = asset->tracksWithMediaType(MediaType::Audio);
    if (audioTracks.empty()) return false;
    const std::shared_ptr<AssetTrack>& first = audioTracks.front();
    const FormatDescription format = first->formatDescription();
    if (format.sampleRate <= 0) return false;

    playerAsset = asset;
    audioTrack = first;
    timeScale = first->naturalTimeScale();
    trackID = -1;
    audioTrackSampleRate = format.sampleRate;
    if (updateCurrentTimeRange) setCurrentTimeRange({MediaTime::zero(), audioDuration()});
    updateCurrentTimeRange = true;
    NotificationCenter::defaultCenter().post(QStringLiteral("updatePlayerWithComposition"), this);
    return true;
}

void MusicFilter::updatePlayerAssetTimeRange(const QVariantList& request) {
    if (request.size() != 2) return;
    const uint64_t edge = request[0].toULongLong();
    MediaTime t;  // a missing time is invalid and fails every test below
    t.value = 0;
    t.timeScale = 0;
    t.flags = 0;
    if (request[1].canConvert<MediaTime>()) t = request[1].value<MediaTime>();

    const MediaTimeRange R = currentTimeRange();
    const MediaTime E = R.start + R.duration;
    const MediaTime D = audioDuration();
    const MediaTime zero = MediaTime::zero();
    MediaTimeRange N{zero, zero};
    if (edge == 1) {
        if (t > zero && t > R.start && t <= D) N = {R.start, t - R.start};
    } else if (edge == 0) {
        if (t >= zero && t < E && t < D) N = {t, E - t};
    }
    const bool accepted = N.start + N.duration > zero && N.start >= zero &&
                          N.duration >= MediaTime(1, 1) && N.duration <= D;
    if (!accepted) return;
    if (N.start == R.start && N.duration == R.duration) return;
    setCurrentTimeRange(N);
    NotificationCenter::defaultCenter().post(QStringLiteral("updatePlayerWithoutUpdate"), this);
}
