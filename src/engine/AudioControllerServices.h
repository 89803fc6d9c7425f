#pragma once

#include "engine/EffectInputs.h"
#include "engine/TrackSpectrum.h"
#include "platform/core/MediaTime.h"

#include <QStringList>

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

class MusicFilter;
class UndoManager;
namespace units {
class Unit;
}

// The six filter sliders that follow the filter units' own views.
enum class FilterSlider {
    LowPassCutoff,
    LowPassResonance,
    HighPassCutoff,
    HighPassResonance,
    BandPassCenter,
    BandPassBandwidth,
};

// What a track asks of the composition controller. `AudioController`
// derives from this; the services of subsystems that override nothing here
// keep their least behaviour (no automation value, no slider, no undo).
//
// The state below is read by render threads: scalars are atomics, and the
// paused input keys are a published bit set, so a render never waits for
// the main thread.
class AudioControllerServices {
public:
    static constexpr uint64_t kNoSelection = uint64_t(std::numeric_limits<int64_t>::max());

    virtual ~AudioControllerServices() = default;

    // While false no track computes levels or spectrum.
    std::atomic<bool> notifyAudioMetering{false};
    // True while the equaliser view shows the live spectrum.
    std::atomic<bool> showEQFFT{false};
    // Index of the selected track; kNoSelection for none.
    std::atomic<uint64_t> currentSelectedAudio{kNoSelection};
    // The spectrum the equaliser view draws.
    EQSpectrum eqSpectrum;

    // Effect input keys whose automation curves are not applied while audio
    // renders. Main thread writes; any thread asks.
    void setPauseUpdateRecordedParameters(const QStringList& keys);
    QStringList pauseUpdateRecordedParameters() const;
    bool isPausedRecordedParameter(EffectInput input) const {
        return (pausedInputs_.load(std::memory_order_acquire) >> static_cast<int>(input)) & 1u;
    }

    // ---- automation (render thread; must not wait for the main thread)
    // Applies the selection parameters whose range holds `time`.
    virtual void updateParametersForSelectionAtTime(const MediaTime& time, MusicFilter* filter) {
        (void)time, (void)filter;
    }
    // The value of `input`'s automation curve at `time` when there is one to
    // apply (it has been set on `unit` already); none otherwise.
    virtual std::optional<double> updateRecordedParametersForFilter(MusicFilter* filter,
                                                                    const MediaTime& time,
                                                                    EffectInput input,
                                                                    units::Unit* unit) {
        (void)filter, (void)time, (void)input, (void)unit;
        return std::nullopt;
    }

    // ---- unit events (main thread)
    virtual void setPauseUpdateSelectionParameters(bool paused) { (void)paused; }
    virtual void setNeedsToUpdateValueImmediately(bool value) { (void)value; }
    // The slider's range; values written back are clamped to it.
    virtual std::pair<float, float> filterSliderRange(FilterSlider slider) const {
        (void)slider;
        return {-std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    }
    virtual void setFilterSliderValue(FilterSlider slider, float value) { (void)slider, (void)value; }
    // The slider's update action (updateLowPassCutoffFrom: and the others).
    virtual void sendFilterSliderAction(FilterSlider slider) { (void)slider; }
    virtual void verifyParameterRecordingForSlider(FilterSlider slider) { (void)slider; }
    // The undo manager of the unit panel; null when there is none.
    virtual UndoManager* audioUnitPanelUndoManager() { return nullptr; }

private:
    std::atomic<uint32_t> pausedInputs_{0};
};
