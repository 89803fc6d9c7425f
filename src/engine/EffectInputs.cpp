#include "engine/EffectInputs.h"

#include <QHash>

namespace effectinputs {
namespace {

struct InputInfo {
    EffectInput input;
    const char* key;
    float start;
};

constexpr std::array<InputInfo, kCount> kInputs{{
    {EffectInput::Repeat, "inputRepeat", 1},
    {EffectInput::Speed, "inputSpeed", 1},
    {EffectInput::AudioMix, "inputAudioMix", 1},
    {EffectInput::ChannelMix, "inputChannelMix", 0},
    {EffectInput::Pitch, "inputPitch", 1},
    {EffectInput::ReverbWetDryMix, "inputReverbWetDryMix", 0},
    {EffectInput::ReverbSmallLargeMix, "inputReverbSmallLargeMix", 0},
    {EffectInput::LowShelfCutoff, "inputLowShelfCutoff", 80},
    {EffectInput::LowShelfGain, "inputLowShelfGain", 0},
    {EffectInput::FadeIn, "inputFadeIn", 0},
    {EffectInput::FadeOut, "inputFadeOut", 0},
    {EffectInput::LowPassCutoff, "inputLowPassCutoff", 22050},
    {EffectInput::LowPassResonance, "inputLowPassResonance", 0},
    {EffectInput::HighPassCutoff, "inputHighPassCutoff", 0},
    {EffectInput::HighPassResonance, "inputHighPassResonance", 0},
    {EffectInput::BandPassCenterFrequency, "inputBandPassCenterFrequency", 11025},
    {EffectInput::BandPassBandwidth, "inputBandPassBandwidth", 11025},
    {EffectInput::GlobalGain, "inputGlobalGain", 0},
    {EffectInput::Gain32, "inputGain32", 0},
    {EffectInput::Gain64, "inputGain64", 0},
    {EffectInput::Gain125, "inputGain125", 0},
    {EffectInput::Gain250, "inputGain250", 0},
    {EffectInput::Gain500, "inputGain500", 0},
    {EffectInput::Gain1K, "inputGain1K", 0},
    {EffectInput::Gain2K, "inputGain2K", 0},
    {EffectInput::Gain4K, "inputGain4K", 0},
    {EffectInput::Gain8K, "inputGain8K", 0},
    {EffectInput::Gain16K, "inputGain16K", 0},
}};

struct Attribute {
    EffectInput input;
    float min, max, def;
    const char* displayName;
    const char* group;  // null: none
};

constexpr std::array<Attribute, 11> kAttributes{{
    {EffectInput::BandPassBandwidth, 100, 11025, 11025, "Bandwidth", nullptr},
    {EffectInput::BandPassCenterFrequency, 20, 22050, 11025, "Center Frequency", "Bandpass Filter"},
    {EffectInput::LowShelfCutoff, 10, 200, 80, "Cutoff Frequency", nullptr},
    {EffectInput::LowShelfGain, -40, 40, 0, "Bass Boost", "Bass Boost"},
    {EffectInput::ReverbWetDryMix, 0, 100, 0, "Reverb", nullptr},
    {EffectInput::Pitch, -2400, 2400, 1, "Pitch", nullptr},
    {EffectInput::FadeOut, 0, 10, 0, "Fade Out (%)", nullptr},
    {EffectInput::FadeIn, 0, 10, 0, "Fade In (%)", nullptr},
    {EffectInput::Repeat, 1, 100, 1, "Repeat", nullptr},
    {EffectInput::AudioMix, 0, 1, 0.5f, "Audio Mix", nullptr},
    {EffectInput::Speed, 0.05f, 32, 1, "Speed ( 1/20 - 32 x )", nullptr},
}};

}  // namespace

const std::array<EffectInput, kCount>& all() {
    static const auto list = [] {
        std::array<EffectInput, kCount> a{};
        for (int i = 0; i < kCount; ++i) a[i] = kInputs[i].input;
        return a;
    }();
    return list;
}

QString key(EffectInput input) { return QString::fromLatin1(kInputs[static_cast<int>(input)].key); }

std::optional<EffectInput> fromKey(const QString& k) {
    static const auto map = [] {
        QHash<QString, EffectInput> m;
        for (const auto& i : kInputs) m.insert(QString::fromLatin1(i.key), i.input);
        return m;
    }();
    auto it = map.constFind(k);
    if (it == map.constEnd()) return std::nullopt;
    return *it;
}

float startingValue(EffectInput input) { return kInputs[static_cast<int>(input)].start; }

const std::array<EffectInput, 10>& bandGains() {
    static constexpr std::array<EffectInput, 10> bands{
        EffectInput::Gain32, EffectInput::Gain64, EffectInput::Gain125, EffectInput::Gain250,
        EffectInput::Gain500, EffectInput::Gain1K, EffectInput::Gain2K, EffectInput::Gain4K,
        EffectInput::Gain8K, EffectInput::Gain16K};
    return bands;
}

const std::array<EffectInput, 24>& automatedInputs() {
    static constexpr std::array<EffectInput, 24> inputs{
        EffectInput::Pitch,           EffectInput::ReverbWetDryMix,
        EffectInput::ReverbSmallLargeMix, EffectInput::LowShelfGain,
        EffectInput::LowShelfCutoff,  EffectInput::BandPassBandwidth,
        EffectInput::BandPassCenterFrequency, EffectInput::LowPassCutoff,
        EffectInput::LowPassResonance, EffectInput::HighPassCutoff,
        EffectInput::HighPassResonance, EffectInput::GlobalGain,
        EffectInput::Gain32,          EffectInput::Gain64,
        EffectInput::Gain125,         EffectInput::Gain250,
        EffectInput::Gain500,         EffectInput::Gain1K,
        EffectInput::Gain2K,          EffectInput::Gain4K,
        EffectInput::Gain8K,          EffectInput::Gain16K,
        EffectInput::AudioMix,        EffectInput::ChannelMix};
    return inputs;
}

QStringList automatedInputKeys() {
    QStringList keys;
    for (EffectInput input : automatedInputs()) keys << key(input);
    return keys;
}

QStringList inputKeys() {
    QStringList keys;
    for (const auto& a : kAttributes) keys << key(a.input);
    return keys;
}

QVariantMap customAttributes() {
    QVariantMap description;
    for (const auto& a : kAttributes) {
        QVariantMap attr;
        attr.insert(kAttributeMin, a.min);
        attr.insert(kAttributeSliderMin, a.min);
        attr.insert(kAttributeMax, a.max);
        attr.insert(kAttributeSliderMax, a.max);
        attr.insert(kAttributeDefault, a.def);
        attr.insert(kAttributeIdentity, a.def);
        attr.insert(kAttributeType, kAttributeTypeScalar);
        attr.insert(kAttributeDisplayName, QString::fromLatin1(a.displayName));
        if (a.group) attr.insert(kParameterGroup, QString::fromLatin1(a.group));
        description.insert(key(a.input), attr);
    }
    description.insert(kAttributeFilterName, QStringLiteral("MusicFilter"));
    description.insert(kAttributeFilterDisplayName, QStringLiteral("Audio Mix"));
    return description;
}

}  // namespace effectinputs
