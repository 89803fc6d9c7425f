#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <array>
#include <optional>

// The effect inputs of a track: 28 named values, each a 32-bit float,
// addressed by their "input..." keys.
enum class EffectInput : int {
    Repeat,
    Speed,
    AudioMix,
    ChannelMix,
    Pitch,
    ReverbWetDryMix,
    ReverbSmallLargeMix,
    LowShelfCutoff,
    LowShelfGain,
    FadeIn,
    FadeOut,
    LowPassCutoff,
    LowPassResonance,
    HighPassCutoff,
    HighPassResonance,
    BandPassCenterFrequency,
    BandPassBandwidth,
    GlobalGain,
    Gain32,
    Gain64,
    Gain125,
    Gain250,
    Gain500,
    Gain1K,
    Gain2K,
    Gain4K,
    Gain8K,
    Gain16K,
};

namespace effectinputs {

constexpr int kCount = 28;

// Every input in the order setDefaults assigns them.
const std::array<EffectInput, kCount>& all();
// "inputRepeat", "inputSpeed", ...
QString key(EffectInput input);
std::optional<EffectInput> fromKey(const QString& key);
// The starting value a new track gets.
float startingValue(EffectInput input);

// The ten band gains in band order (band 0 is "inputGain32").
const std::array<EffectInput, 10>& bandGains();

// Keys of the attribute dictionaries (the filter description).
inline const QString kAttributeMin = QStringLiteral("CIAttributeMin");
inline const QString kAttributeSliderMin = QStringLiteral("CIAttributeSliderMin");
inline const QString kAttributeMax = QStringLiteral("CIAttributeMax");
inline const QString kAttributeSliderMax = QStringLiteral("CIAttributeSliderMax");
inline const QString kAttributeDefault = QStringLiteral("CIAttributeDefault");
inline const QString kAttributeIdentity = QStringLiteral("CIAttributeIdentity");
inline const QString kAttributeType = QStringLiteral("CIAttributeType");
inline const QString kAttributeTypeScalar = QStringLiteral("CIAttributeTypeScalar");
inline const QString kAttributeDisplayName = QStringLiteral("CIAttributeDisplayName");
inline const QString kAttributeFilterName = QStringLiteral("CIAttributeFilterName");
inline const QString kAttributeFilterDisplayName = QStringLiteral("CIAttributeFilterDisplayName");
inline const QString kParameterGroup = QStringLiteral("parameterGroup");

// The eleven described input keys, in the order the description lists them.
QStringList inputKeys();
// The 24 inputs that can have a curve: every effect input but repeat, speed
// and the two fades, in the order the render applies them (the unit inputs,
// then level and balance).
const std::array<EffectInput, 24>& automatedInputs();
QStringList automatedInputKeys();
// The description: the eleven attribute dictionaries under their keys, the
// filter name "MusicFilter" and the display name "Audio Mix".
QVariantMap customAttributes();

}  // namespace effectinputs
