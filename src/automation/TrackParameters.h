#pragma once

// A track's effect settings as one plain record: the 27 effect input values
// and a snapshot of every effect-unit parameter. Presets, projects, time
// selections and pasted settings are built on it. Values only; main thread.

#include "app/EffectControls.h"
#include "engine/AutomationTypes.h"
#include "engine/ListenerParameterRecord.h"

#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// The 27 inputs in effect control order (effectControlTable) and, when the
// record has them, the unit parameter snapshots.
struct TrackParametersRecord {
    std::array<float, EffectInputCount> inputs{};
    std::optional<std::vector<ListenerParameterRecord>> filterAudioUnits;

    // The value under an input key; none for a key that is not one of the 27.
    std::optional<float> valueForKey(const QString& key) const;
};
