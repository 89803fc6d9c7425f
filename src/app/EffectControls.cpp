#include "app/EffectControls.h"

// Level and balance are fractions; speed is a factor (1/20 to 32); pitch is
// in cents; reverb, ambience and the fades are percentages; cutoffs and
// centre frequency in hertz; resonances and gains in decibels.
const std::array<EffectControl, EffectInputCount> effectControlTable = {{
    {"inputChannelMix", "ChannelMix", "Balance", -1, 1, 0, true, false},
    {"inputSpeed", "Speed", "Speed", 0.05, 32, 1, false, false},
    {"inputAudioMix", "AudioMix", "Volume", 0, 1, 1, false, false},
    {"inputPitch", "Pitch", "Pitch", -2400, 2400, 1, true, false},
    {"inputReverbWetDryMix", "Reverb", "Reverb", 0, 100, 0, false, false},
    {"inputReverbSmallLargeMix", "Ambience", "Ambience", 0, 100, 0, false, false},
    {"inputLowShelfCutoff", "LowShelfCutoff", "Bass Cutoff", 10, 200, 80, false, false},
    {"inputLowShelfGain", "LowShelfGain", "Bass Boost", -40, 40, 0, true, false},
    {"inputFadeIn", "FadeIn", "Fade In", 0, 100, 0, false, false},
    {"inputFadeOut", "FadeOut", "Fade Out", 0, 100, 0, false, false},
    {"inputLowPassCutoff", "LowPassCutoff", "Low Pass", 10, 22050, 22050, false, false},
    {"inputLowPassResonance", "LowPassResonance", "Low Pass Resonance", 0, 40, 0, false, false},
    {"inputHighPassCutoff", "HighPassCutoff", "High Pass", 0, 22050, 0, false, false},
    {"inputHighPassResonance", "HighPassResonance", "High Pass Resonance", 0, 40, 0, false, false},
    {"inputBandPassCenterFrequency", "BandpassCenter", "Band Pass Center", 20, 22050, 11025, false, false},
    {"inputBandPassBandwidth", "BandpassBandwidth", "Band Pass Width", 100, 22050, 11025, false, false},
    {"inputGlobalGain", "GlobalGain", "EQ Gain", -96, 24, 0, true, true},
    {"inputGain32", "Gain32", "32 Hz", -96, 24, 0, true, true},
    {"inputGain64", "Gain64", "64 Hz", -96, 24, 0, true, true},
    {"inputGain125", "Gain125", "125 Hz", -96, 24, 0, true, true},
    {"inputGain250", "Gain250", "250 Hz", -96, 24, 0, true, true},
    {"inputGain500", "Gain500", "500 Hz", -96, 24, 0, true, true},
    {"inputGain1K", "Gain1K", "1 kHz", -96, 24, 0, true, true},
    {"inputGain2K", "Gain2K", "2 kHz", -96, 24, 0, true, true},
    {"inputGain4K", "Gain4K", "4 kHz", -96, 24, 0, true, true},
    {"inputGain8K", "Gain8K", "8 kHz", -96, 24, 0, true, true},
    {"inputGain16K", "Gain16K", "16 kHz", -96, 24, 0, true, true},
}};
