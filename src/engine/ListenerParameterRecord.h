#pragma once

#include <cstdint>

// One parameter of one unit of a track, with the track's N-band equaliser
// band count, which every record of an array carries and readers take from
// the first.
struct ListenerParameterRecord {
    uint64_t filterAudioUnitType = 0;  // built-in type index, or a plug-in's type
    uint8_t filterAudioUnitEnabled = 0;
    uint32_t filterAudioUnitParameterID = 0;
    float filterAudioUnitParameterValue = 0;
    uint32_t filterAudioUnitNBandProp = 0;
    uint32_t filterAudioUnitNBandPropSize = 0;

    friend bool operator==(const ListenerParameterRecord&, const ListenerParameterRecord&) = default;
};
