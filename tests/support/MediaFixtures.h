#pragma once

#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"

#include <QString>

#include <memory>
#include <vector>

namespace testsupport {

// The description of a one-second track (1000 ticks a second) for
// `undecodableTrack`.
inline AssetTrack::Info oneSecondTrackInfo() {
    AssetTrack::Info info;
    info.trackID = 1;
    info.naturalTimeScale = 1000;
    info.timeRange = MediaTimeRange(MediaTime::zero(), MediaTime(1, 1));
    return info;
}

// A track whose decoding always fails with `error`.
inline std::shared_ptr<AssetTrack> undecodableTrack(const QString& error,
                                                    const AssetTrack::Info& info = oneSecondTrackInfo()) {
    return std::make_shared<AssetTrack>(info, [error](const AssetTrack::Progress&, QString* e) {
        if (e) *e = error;
        return std::shared_ptr<DecodedSource>();
    });
}

// Channel `channel` of `source` as float, whatever its storage.
inline std::vector<float> floatSamples(const DecodedSource& source, int channel) {
    std::vector<float> out(size_t(source.frameCount()));
    source.readChannel(channel, 0, source.frameCount(), out.data());
    return out;
}

// A composition with one audio track holding the whole of `source` from zero.
inline std::shared_ptr<Composition> oneTrackComposition(const std::shared_ptr<AssetTrack>& source) {
    auto composition = std::make_shared<Composition>();
    composition->addMutableTrack(MediaType::Audio)
        ->insertTimeRange(source->timeRange(), source, MediaTime::zero());
    return composition;
}

}  // namespace testsupport
