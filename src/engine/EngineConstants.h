#pragma once

#include <cstdint>
#include <limits>

// "None" for every unsigned index of the engine and the controller: the
// selected track, marker or parameter, a track's source version or picture.
inline constexpr uint64_t kNoIndex = uint64_t(std::numeric_limits<int64_t>::max());

// The unit type index of a track's units, as the unit panel, the listener
// parameters and stored presets number them: 0 to 13 are the built-in panel
// units, plug-ins start at kFirstPluginType.
namespace unittype {
inline constexpr uint64_t NBandEQ = 0;
inline constexpr uint64_t GraphicEQ = 1;
inline constexpr uint64_t AUFilter = 2;
inline constexpr uint64_t DynamicProcessor = 3;
inline constexpr uint64_t MultibandCompressor = 4;
inline constexpr uint64_t Distortion = 5;
inline constexpr uint64_t Delay = 6;
inline constexpr uint64_t LowPass = 7;
inline constexpr uint64_t HighPass = 8;
inline constexpr uint64_t BandPass = 9;
inline constexpr uint64_t PeakLimiter = 10;
inline constexpr uint64_t PitchFilter = 11;
inline constexpr uint64_t MatrixReverb = 12;
inline constexpr uint64_t NewFilter0 = 13;
inline constexpr uint64_t kBuiltInCount = 14;
inline constexpr uint64_t kFirstPluginType = kBuiltInCount;

inline constexpr bool isBuiltIn(uint64_t type) { return type < kBuiltInCount; }
// The three filter units that follow the effect sliders rather than the
// unit panel: their enable flags and values come from the sliders.
inline constexpr bool isFilterSliderUnit(uint64_t type) {
    return type == LowPass || type == HighPass || type == BandPass;
}
}  // namespace unittype
