#include "engine/EffectInputs.h"

#include <gtest/gtest.h>

using namespace effectinputs;

namespace {

TEST(EffectInputs, KeysRoundTripAndStartingValues) {
    ASSERT_EQ(all().size(), 28u);
    for (auto input : all()) {
        auto k = key(input);
        EXPECT_TRUE(k.startsWith("input"));
        EXPECT_EQ(fromKey(k), input);
    }
    EXPECT_FALSE(fromKey("inputNothing").has_value());
    EXPECT_EQ(key(all().front()), "inputRepeat");
    EXPECT_EQ(key(all().back()), "inputGain16K");
    EXPECT_EQ(startingValue(EffectInput::AudioMix), 1.0f);
    EXPECT_EQ(startingValue(EffectInput::LowPassCutoff), 22050.0f);
    EXPECT_EQ(startingValue(EffectInput::BandPassBandwidth), 11025.0f);
    EXPECT_EQ(startingValue(EffectInput::LowShelfCutoff), 80.0f);
}

TEST(EffectInputs, Description) {
    EXPECT_EQ(inputKeys(), (QStringList{"inputBandPassBandwidth", "inputBandPassCenterFrequency",
                                        "inputLowShelfCutoff", "inputLowShelfGain",
                                        "inputReverbWetDryMix", "inputPitch", "inputFadeOut",
                                        "inputFadeIn", "inputRepeat", "inputAudioMix",
                                        "inputSpeed"}));
    auto d = customAttributes();
    EXPECT_EQ(d.size(), 13);
    EXPECT_EQ(d.value(kAttributeFilterName).toString(), "MusicFilter");
    EXPECT_EQ(d.value(kAttributeFilterDisplayName).toString(), "Audio Mix");
    auto mix = d.value("inputAudioMix").toMap();
    EXPECT_FLOAT_EQ(mix.value(kAttributeDefault).toFloat(), 0.5f);
    EXPECT_EQ(mix.value(kAttributeDisplayName).toString(), "Audio Mix");
    EXPECT_FALSE(mix.contains(kParameterGroup));
    auto speed = d.value("inputSpeed").toMap();
    EXPECT_FLOAT_EQ(speed.value(kAttributeSliderMin).toFloat(), 0.05f);
    EXPECT_EQ(speed.value(kAttributeDisplayName).toString(), "Speed ( 1/20 - 32 x )");
    EXPECT_EQ(d.value("inputLowShelfGain").toMap().value(kParameterGroup).toString(), "Bass Boost");
    EXPECT_EQ(d.value("inputBandPassCenterFrequency").toMap().value(kParameterGroup).toString(),
              "Bandpass Filter");
    EXPECT_FALSE(d.contains("inputLowPassCutoff"));
}

}  // namespace
