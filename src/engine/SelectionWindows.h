#pragma once

// What a track's render follows of the effect settings bound to time ranges
// of its lane: per entry its range, a number for its identity and the
// setting prepared on the main thread. Built and published on the main
// thread whenever the track's entries change; immutable once published.

#include "engine/EffectInputs.h"

#include <array>
#include <cstdint>
#include <vector>

struct SelectionWindows {
    struct UnitWrite {
        uint64_t unitType = 0;  // built-in type index
        uint32_t parameterID = 0;
        float value = 0;
    };
    struct UnitSwitch {
        uint64_t unitType = 0;
        bool on = false;
    };
    struct Entry {
        double startPercent = 0, endPercent = 0;  // fractions of the track's source
        int64_t reference = 0;                    // never 0
        std::array<float, effectinputs::kCount> inputs{};
        uint32_t inputMask = 0;  // bit n: input n is set
        std::vector<UnitWrite> writes;
        std::vector<UnitSwitch> switches;
    };
    double durationInSeconds = 0;  // the track's source
    std::vector<Entry> entries;
};
