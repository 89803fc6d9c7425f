#pragma once

#include <memory>

class Asset;

// What holds a track's loaded media asset (the track's thumbnail): the track
// takes the asset from it when told that a new one has loaded.
class MediaAssetHolder {
public:
    virtual ~MediaAssetHolder() = default;
    virtual std::shared_ptr<Asset> heldMediaAsset() const = 0;
};
