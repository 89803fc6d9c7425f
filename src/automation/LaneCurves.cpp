// What a track's lane draws of the automation: the curves of the store the
// track shows, the ranges of the controls that record them, the point a
// control is moving and the point a menu highlights.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "views/FloatSlider.h"

const TrackCurves* AudioController::laneRecordedCurves(const MusicFilter& track) const {
    const RecordedParameters& store = track.needsUpdateParametersWithTempDictionary.load()
                                          ? automation.tempRecorderParameters
                                          : automation.recordedParameters;
    const auto found = store.find(track.identifierOfFilter);
    return found == store.end() ? nullptr : &found->second;
}

// The range of the slider that records the key; before the window is built
// (or for a key no slider records), the input's own limits.
std::pair<double, double> AudioController::laneValueRange(const QString& key) const {
    const auto controls = ui.effectControls();
    for (size_t row = 0; row < effectControlTable.size(); ++row) {
        if (key != QLatin1String(effectControlTable[row].key)) continue;
        if (const FloatSlider* slider = controls[row].first) return {slider->minValue(), slider->maxValue()};
        return {effectControlTable[row].minValue, effectControlTable[row].maxValue};
    }
    return {0.0, 0.0};
}

std::optional<AudioDrawingViewOwner::MovingPoint> AudioController::laneMovingPoint() const {
    const auto& moving = automation.filterMovingPoint;
    if (!moving) return std::nullopt;
    const int row = effectRowOfSlider(moving->control.data());
    const bool band = row >= 0 && effectControlTable[size_t(row)].isEqualiser &&
                      QLatin1String(effectControlTable[size_t(row)].key) != QLatin1String("inputGlobalGain");
    return AudioDrawingViewOwner::MovingPoint{{moving->time, double(moving->value), moving->minValue, moving->maxValue},
                                              band};
}
