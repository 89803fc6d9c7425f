#pragma once

#include "engine/EffectInputs.h"
#include "engine/EngineConstants.h"
#include "engine/TrackSpectrum.h"
#include "platform/core/MediaTime.h"

#include <QStringList>

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

class MusicFilter;
struct TrackAutomation;
struct TrackTapContext;
class QWidget;
class UndoManager;
class UnitViewFactory;
namespace units {
class EventListener;
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

// What a track asks of the composition controller, in two doors: what a
// render thread may use (AudioControllerRenderServices) and what only the
// main thread may (AudioControllerMainServices). `AudioController` derives
// from both through AudioControllerServices; the services of subsystems that
// override nothing here keep their least behaviour (no automation value, no
// slider, no undo).

// The render side. Every member here is safe on a render thread: scalars are
// atomics, the paused input keys are a published bit set, the spectrum is
// handed over without a lock, and the automation call-outs must answer
// without waiting for the main thread. The main thread writes the state.
class AudioControllerRenderServices {
public:

    virtual ~AudioControllerRenderServices() = default;

    // While false no track computes levels or spectrum.
    std::atomic<bool> notifyAudioMetering{false};
    // True while the equaliser view shows the live spectrum.
    std::atomic<bool> showEQFFT{false};
    // Index of the selected track; kNoIndex for none.
    std::atomic<uint64_t> currentSelectedAudio{kNoIndex};
    // The spectrum the equaliser view draws.
    EQSpectrum eqSpectrum;

    // Effect input keys whose automation curves are not applied while audio
    // renders. Main thread writes; any thread asks.
    void setPauseUpdateRecordedParameters(const QStringList& keys);
    QStringList pauseUpdateRecordedParameters() const;
    bool isPausedRecordedParameter(EffectInput input) const {
        return (pausedInputs_.load(std::memory_order_acquire) >> static_cast<int>(input)) & 1u;
    }

    // ---- automation, once per slice
    // Applies the selection parameters whose range holds `time`, writing
    // the units of `context` (the track's tap). Never allocates, locks or waits.
    virtual void updateParametersForSelectionAtTime(const MediaTime& time, MusicFilter* filter,
                                                    TrackTapContext* context) {
        (void)time, (void)filter, (void)context;
    }
    // The verdict of `input`'s automation curve at `time` when there is one
    // to apply (its value has been set on `unit` already, through `listener`
    // when the unit's view is in the unit panel): whether the unit plays, or
    // the level or balance; none otherwise. `curves` is the track's published
    // automation, opened by the caller once for its whole slice (null: none).
    // Never allocates, locks or waits.
    virtual std::optional<double> updateRecordedParametersForFilter(MusicFilter* filter,
                                                                    const TrackAutomation* curves,
                                                                    const MediaTime& time,
                                                                    EffectInput input,
                                                                    units::Unit* unit,
                                                                    units::EventListener* listener) {
        (void)filter, (void)curves, (void)time, (void)input, (void)unit, (void)listener;
        return std::nullopt;
    }

private:
    std::atomic<uint32_t> pausedInputs_{0};
};

// The main-thread side: controls, pop-ups, unit views, undo managers and the
// loading of a project's tracks. Never called from a render thread.
class AudioControllerMainServices {
public:
    virtual ~AudioControllerMainServices() = default;

    // ---- unit events
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
    // Builds every view of a unit (built-in or plug-in) for a track; null
    // when no widget library is linked (the engine builds no widget).
    virtual UnitViewFactory* unitViewFactory() { return nullptr; }

    // ---- plug-ins of a track
    // Rebuilds the track's plug-in pop-up from its pluginsArray.
    virtual void createPopUpButtonForFilter(MusicFilter* filter) { (void)filter; }
    // Re-creates the plug-ins the track had enabled; sent once its tap is prepared.
    virtual void enablePluginsNameForFilter(MusicFilter* filter) { (void)filter; }
    // A plug-in's unit has been made for the record at `index`: by default
    // the record takes the unit, enabled, and the track's parameter
    // snapshots are read again.
    virtual void completeEnablePluginsNameForFilter(MusicFilter* filter, units::Unit* unit,
                                                    int64_t index);
    // The same, for a plug-in made to be shown; by default as above.
    virtual void showAudioUnitForPlugin(units::Unit* unit, MusicFilter* filter, int64_t index) {
        completeEnablePluginsNameForFilter(filter, unit, index);
    }
    // Puts a unit's view into the unit panel under `name` and shows it.
    virtual void showAudioUnitView(QWidget* view, const QString& name) { (void)view, (void)name; }
    // The track's built-in units are about to be freed (its tap was
    // unprepared or finalized): nothing that shows them may outlive them.
    virtual void trackUnitsWillBeFreed(MusicFilter* filter) { (void)filter; }
    // The track's tap was replaced while the player item plays a copy of
    // the mix: the item takes a new copy of the track's mix.
    virtual void resetPlayerItemAudioMixForFilter(MusicFilter* filter) { (void)filter; }

    // The length of the whole composition: tracks are cut at it.
    virtual MediaTime compositionDuration() const { return MediaTime::positiveInfinity(); }

    // ---- loading a project's tracks
    // While a project's tracks load, each prepared tap takes the project's
    // unit values and counts itself off; the last one ends the load.
    bool loadTapFromProject() const { return loadTapFromProject_; }
    uint64_t tapCounter() const { return tapCounter_; }
    void beginLoadingTapsFromProject(uint64_t taps) {
        tapCounter_ = taps;
        loadTapFromProject_ = taps > 0;
    }
    // A track's tap is done (prepared, or never will be: its file failed).
    void countOffProjectTap() {
        if (tapCounter_ > 0) --tapCounter_;
        if (tapCounter_ == 0) loadTapFromProject_ = false;
    }
    void endLoadingTapsFromProject() { beginLoadingTapsFromProject(0); }
    // The last stage of loading a project's track: its units take the
    // project's values.
    virtual void updateAudioUnitsForFilter(MusicFilter* filter) { (void)filter; }

private:
    bool loadTapFromProject_ = false;
    uint64_t tapCounter_ = 0;
};

// Both doors, as the controller offers them.
class AudioControllerServices : public AudioControllerRenderServices,
                                public AudioControllerMainServices {};
