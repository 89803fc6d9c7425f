#pragma once

#include <array>

// The 27 effect inputs of a track, in the one order in which they are
// walked everywhere (defaults, controls, records). The ranges are those of
// the main window's sliders.
struct EffectControl {
    const char* key;       // the track's input key, "inputChannelMix" ...
    const char* name;      // the outlet suffix: sliderChannelMix, textFieldChannelMix
    const char* title;     // the caption beside the slider
    double minValue;
    double maxValue;
    double defaultValue;
    bool allowsNegativeNumbers;  // a lone minus sign may start a value in its field
    bool isEqualiser;            // global gain and the ten bands
};

constexpr int EffectInputCount = 27;
extern const std::array<EffectControl, EffectInputCount> effectControlTable;
