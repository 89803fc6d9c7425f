#pragma once

#include "engine/AudioControllerServices.h"
#include "engine/AutomationTypes.h"
#include "engine/EffectInputs.h"
#include "engine/ListenerParameterRecord.h"
#include "engine/SelectionWindows.h"
#include "engine/MidiNote.h"
#include "engine/TrackTapContext.h"
#include "platform/core/BoundedQueue.h"
#include "platform/core/MediaTime.h"
#include "platform/core/SeqLock.h"
#include "platform/core/Snapshot.h"
#include "platform/units/PluginCatalogue.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

class Asset;
class AssetTrack;
class AudioMix;
class AudioMixInputParameters;
class Composition;
class CompositionTrack;
class ProcessingTap;
class QLabel;
class UnitViewFactory;
class MIDIManager;
namespace units {
class Unit;
struct UnitEvent;
}

// One installed plug-in of a track (hosted or only available).
struct PluginRecord {
    units::Unit* audioUnit = nullptr;  // owned by the track once set
    QString audioUnitName;
    bool audioUnitEnabled = false;
    uint32_t audioUnitType = 0;  // sum of the component's three codes
    bool audioUnitPointerSet = false;
};

// One parameter of an effect unit of the track, as last recorded.
struct MAudioParameter {
    uint64_t type = 0;  // unit type index
    uint8_t enabled = 0;
    uint32_t parameterID = 0;
    float value = 0;
};

// A plug-in's present preset as kept per plug-in name: [name, number].
using PluginPresetRecord = QVariantList;

// The tap state of a track saved around an offline render of it.
struct MusicFilterParameters {
    MediaTime currentTime;
    double contextSampleCount = 0, audioScaleFactor = 0, contextTrackDurationRatio = 0,
           contextTrackChannelMix = 0, contextTrackStartTime = 0, contextTrackEndTime = 0,
           contextFadeInDuration = 0, contextFadeOutDuration = 0;
    bool contextPitchEnabled = false, contextReverbEnabled = false, contextLowShelfEnabled = false,
         contextBandPassEnabled = false, contextLowPassEnabled = false,
         contextHighPassEnabled = false, contextEQEnabled = false;
    bool contextNBandEQEnabled = false, contextGraphicBandEQEnabled = false,
         contextDistortionEnabled = false, contextAUFilterEnabled = false,
         contextDynamicProcessorEnabled = false, contextMultibandCompressorEnabled = false,
         contextDelayEnabled = false, contextPeakLimiterEnabled = false,
         contextPitchFilterEnabled = false, contextMatriRFilterEnabled = false,
         contextNewFilter0Enabled = false;
    int32_t temporaryTrackID = -1;
    QString temporaryAssetURL;  // a local file path; empty for none
};

// One row of a unit's generic panel.
struct CustomParameterControlRecord {
    QPointer<QWidget> valueObject;  // slider, check box or pop-up button
    QPointer<QLabel> valueText;
    uint32_t parameterInfoUnit = 0;
    uint32_t parameterID = 0;
    uint64_t audioUnitType = 0;
};

// The MIDI player of a track on the render thread: sends the notes due in
// the slice to the chain's instruments. Installed by the track's MIDI
// manager; without one nothing is sent.
class MIDIRenderScheduler {
public:
    virtual ~MIDIRenderScheduler() = default;
    virtual void scheduleMIDIForRenderSlice(TrackTapContext* context, CallbackAudioInfo* chain,
                                            uint32_t chainCount) = 0;
};

// One track of the composition: its effect inputs, its media, its place in
// the shared composition and audio mix, and the state of its processing tap.
//
// Main thread, except where said: the render threads read the effect inputs,
// the four time values, and the few fields below marked as theirs, which are
// atomics or published snapshots.
static_assert(TrackAutomation::kInputCount == effectinputs::kCount);

class MusicFilter : public std::enable_shared_from_this<MusicFilter> {
public:

    // A new track with every starting value; the name is not used. Neither
    // sets the effect inputs (setDefaults does) nor observes anything
    // (setupObserver does).
    static std::shared_ptr<MusicFilter> filterWithName(const QString& name);
    ~MusicFilter();
    MusicFilter(const MusicFilter&) = delete;
    MusicFilter& operator=(const MusicFilter&) = delete;

    // ---- effect inputs (any thread)
    float value(EffectInput input) const {
        return inputs_[static_cast<int>(input)].load(std::memory_order_relaxed);
    }
    void setValue(EffectInput input, float v) {
        inputs_[static_cast<int>(input)].store(v, std::memory_order_relaxed);
    }
    // By key: a number for the 28 input keys, an invalid value for others.
    QVariant valueForKey(const QString& key) const;
    // False for an unknown key or a value that is not a number.
    bool setValueForKey(const QString& key, const QVariant& value);
    void setDefaults();
    QStringList inputKeys() const { return effectinputs::inputKeys(); }
    QVariantMap customAttributes() const { return effectinputs::customAttributes(); }
    // Nothing sets the image input, so there is never an output image.
    QImage outputImage() const { return inputImage; }
    QImage inputImage;

    // ---- last applied values
    double volumeMix = 0, channelMix = 0, fadeInMix = 0, fadeOutMix = 0, repeatMix = 0,
           speedMix = 0, pitchMix = 0, reverbWetDryMix = 0, reverbSmallLargeMix = 0,
           lowShelfGainMix = 0, lowShelfCutoffMix = 0, bandPassCenterFrequencyMix = 0,
           bandPassBandwidthMix = 0, lowPassCutoffMix = 0, lowPassResonanceMix = 0,
           highPassCutoffMix = 0, highPassResonanceMix = 0, globalGainMix = 0, gain32Mix = 0,
           gain64Mix = 0, gain125Mix = 0, gain250Mix = 0, gain500Mix = 0, gain1KMix = 0,
           gain2KMix = 0, gain4KMix = 0, gain8KMix = 0, gain16KMix = 0;
    // The last applied value of an input.
    double& lastAppliedValue(EffectInput input);
    // Every last applied value set to its input's starting value, as a new
    // track has them.
    void setLastAppliedToStartingValues();

    // ---- media and composition
    std::shared_ptr<Asset> playerAsset;      // null until the asset has loaded
    std::shared_ptr<AssetTrack> audioTrack;  // the asset's first audio track
    bool hasPlayerAsset() const { return playerAsset != nullptr; }
    int32_t timeScale = 0;
    double audioTrackSampleRate = 0;
    double projectSampleRate = 0;
    std::weak_ptr<Composition> currentComposition;
    std::weak_ptr<AudioMix> currentAudioMix;
    int32_t trackID = 0;
    double compositionStartTime = 0;
    double audioScaleFactor = 0;

    // The four time values, read whole from any thread.
    MediaTime animationStart() const { return animationStart_.load(); }
    void setAnimationStart(const MediaTime& t) { animationStart_.store(t); }
    MediaTime animationEnd() const { return animationEnd_.load(); }
    void setAnimationEnd(const MediaTime& t) { animationEnd_.store(t); }
    MediaTime currentTime() const { return currentTime_.load(); }
    void setCurrentTime(const MediaTime& t) { currentTime_.store(t); }
    MediaTimeRange currentTimeRange() const { return currentTimeRange_.load(); }
    void setCurrentTimeRange(const MediaTimeRange& r) { currentTimeRange_.store(r); }
    bool updateCurrentTimeRange = false;
    double durationInSeconds = 0, audioOriginInPercent = 0, audioDurationInPercent = 0,
           trackRatio = 0;

    // Source versions: entry i of tempFilterTracks is the source after i edits.
    std::shared_ptr<Composition> tempComposition;
    std::vector<CompositionTrack*> tempFilterTracks;
    uint64_t indexOfUpdatedTrack = kNoIndex;
    QList<QImage> filterBitmaps;
    uint64_t indexOfUpdatedBitmap = kNoIndex;
    QString nameOfSourceTrack;

    // ---- tap state
    std::vector<MAudioParameter> listenerParameters;
    bool listenerParametersUpdated = false;
    uint32_t nBandEQNumberOfBandsProperty = 0, nBandEQNumberOfBandsPropertySize = 0;
    // The unit parameters of the record last applied to the track, kept for
    // its plug-ins while they are being made; none when empty.
    std::vector<ListenerParameterRecord> tempAudioUnitsArray;
    // Number of spectrum magnitudes; 0 without spectrum.
    uint64_t fftCount() const;

    // Time ranges (lane start, source length) and source versions.
    MediaTime audioDuration() const;
    // Each edit makes a new version and returns true; false when the track
    // has no version yet or a piece could not be inserted, in which case
    // neither the composition nor the versions changed.
    bool removeTrackTimeRange(const MediaTimeRange& r);
    bool addEmptyTrackTimeRange(const MediaTimeRange& r);
    bool addTrackTimeRange(const MediaTimeRange& r, const MusicFilter& fromFilter,
                           double fromInsertionTime, uint64_t fromIndex, double fromSpeedValue,
                           double toSpeedValue);
    // Rebuild the track in the composition from the current version.
    void addUndoTrackTimeRange();
    void removeUndoTrackTimeRange();

    // ---- listener parameters
    void updateListenerParametersFromAudioUnits();
    void updateListenerParametersFromAudioUnit(units::Unit* unit);
    void updateListenerParametersFromPluginAudioUnit(const units::UnitEvent& event);
    void updateNBandEQNumberOfBands();
    void updateListenerParametersToAudioUnits();
    // Undo and redo of a unit parameter changed in the unit's own view.
    void undoParameterValue(const MAudioParameter& parameter);

    // ---- plug-ins
    // The bundle records of the installed plug-ins.
    QList<units::AudioUnitBundleRecord> dynamicAudioUnits;
    // Starts making the unit of the plug-in `name` for the record at
    // `index`; the unit reaches the controller later on the main thread.
    // Always false, as the unit is not there yet.
    bool createPluginForName(const QString& name, int64_t index, bool showPluginView);
    void updateClassInfoForPluginEvent(const units::UnitEvent& event);
    void updatePresetForPluginEvent(const units::UnitEvent& event);
    void undoRedoPluginClassInfo(const QVariantMap& classInfos);
    void undoRedoPluginPreset(const QVariantMap& presets);
    // The track's MIDI set-up for an instrument plug-in; installed by the
    // MIDI subsystem.
    std::function<void(MusicFilter*)> setupMIDIManager;
    const QList<PluginRecord>& pluginsArray() const { return pluginsArray_; }
    // The index of the first plug-in record named `name`, or -1.
    int firstPluginIndexNamed(const QString& name) const;
    void setPluginsArray(const QList<PluginRecord>& records);
    void replacePluginRecord(int index, const PluginRecord& record);
    // Frees plug-in units that the records no longer hold, in the one safe
    // order: the chain is published without them, every render that could
    // still hold the chain that named them is let finish its slice, and only
    // then are they (and their render contexts) taken apart. Units the
    // records still hold are kept. Main thread.
    void releasePluginUnits(std::vector<units::Unit*> units);
    // The render contexts of the plug-in units, owned by the track.
    const std::vector<std::unique_ptr<ChainUnitRenderContext>>& procRefInfoArray() const {
        return procRefInfoArray_;
    }
    ChainUnitRenderContext* addChainUnitRenderContext(std::unique_ptr<ChainUnitRenderContext> c);
    QVariantMap pluginsMenuDictionary, pluginsPresetsDictionary, pluginsClassInfosDictionary;
    QStringList filterActivePluginsName;
    // The plug-ins of filterActivePluginsName that the user switched off: a
    // rebuild of the player re-makes every plug-in by name, and brings these
    // back switched off rather than on.
    QStringList filterSwitchedOffPluginsName;
    void setPluginSwitchedOff(const QString& name, bool off);
    // Whether the plug-in of record `index` plays as the user set it: the
    // record's own state once its unit is there; while a rebuild re-makes the
    // unit, whether it comes back on.
    bool pluginEnabledAsSet(int index) const;
    int64_t lastSelectedPlugin = 0;
    uint64_t pluginsToEnable = 0;
    // The track's plug-in pop-up (a combo box whose item i stands for
    // pluginsArray entry i) and its on/off check box; made by the controller.
    QPointer<QWidget> pluginsPopUpButton, pluginsCheckButton;
    // One record per plug-in of dynamicAudioUnits that the track can host
    // (first component "sandboxSafe", no 'adec'), sorted by name, with the
    // pop-up's groups rebuilt in pluginsMenuDictionary ("Maker: Name" splits
    // at ": "). The records hold no unit yet.
    QList<PluginRecord> pluginRecordsFromCatalogue();
    // Lets the track's plug-in units go (out of the render first), then
    // takes `bundles` and `activeNames` as its catalogue and enabled names
    // and lists the records again. True when the list has any plug-in.
    bool replacePluginCatalogue(const QList<units::AudioUnitBundleRecord>& bundles, const QStringList& activeNames);

    // ---- automation state
    uint64_t typeOfComposition = 0, isRecordingParameters = 0, isDeletingKeyPoints = 0,
             showParameterCurve = 0, typeOfRecordedCurve = 0;
    // While set, the render follows the working copy of the curves (the
    // burst being recorded) instead of the committed ones. Main thread writes.
    std::atomic<bool> needsUpdateParametersWithTempDictionary{false};
    QString referencePathTime;
    // A deep copy of the whole committed store, taken when the track is muted
    // through its level curve and given back when it is unmuted; none until
    // then. Main thread only.
    std::optional<RecordedParameters> senderRecorderParameters;
    bool canUpdateAudioUnits = false;

    // ---- identity, views
    // Unique for the life of the process: automation and selection
    // parameters are keyed by it.
    QString identifierOfFilter;
    QColor trackColor() const { return trackColor_; }
    void setTrackColor(const QColor& c) {
        trackColor_ = c;
        trackColorRgba_.store(c.rgba());
    }
    // Any thread.
    QRgb trackColorRgba() const { return trackColorRgba_.load(); }
    QPointer<QWidget> imageView;  // the thumbnail; observers are bound to it
    // The index of the track's lane, for the render thread's spectrum check.
    uint64_t viewIndex() const { return viewIndex_.load(std::memory_order_relaxed); }
    void setViewIndex(uint64_t i) { viewIndex_.store(i, std::memory_order_relaxed); }
    AudioControllerServices* audioController() const { return controller_.load(); }
    void setAudioController(AudioControllerServices* c) { controller_.store(c); }
    MIDIRenderScheduler* midiScheduler() const { return midi_.load(); }
    void setMidiScheduler(MIDIRenderScheduler* s) { midi_.store(s); }

    // ---- level meter: written by the render thread once per slice
    double leftChannelValue() const { return left_.load(std::memory_order_relaxed); }
    double rightChannelValue() const { return right_.load(std::memory_order_relaxed); }
    // Grows with every metered slice, so that the meter redraws on change.
    uint64_t meteringGeneration() const { return meterGeneration_.load(std::memory_order_relaxed); }
    void setChannelLevels(double left, double right);

    // ---- notifications
    void setupObserver();
    void clearAllVideoAssets();
    void clearAllVideoAssetsFromNotification() { clearAllVideoAssets(); }
    void setupNewPlayerAssetFromNotification();

    // ---- the media asset (MusicFilterAsset.cpp)
    // Takes up the asset: its first audio track, time scale and sample rate,
    // the current time range; then asks the controller to put the track into
    // the composition ("updatePlayerWithComposition"). An asset without an
    // audio track changes nothing and answers false.
    bool setupPlayerAssetWithAsset(const std::shared_ptr<Asset>& asset);
    // A trim: [edge (0 start, 1 end), new position in source time as a
    // MediaTime]. Posts "updatePlayerWithoutUpdate" when the range changed.
    void updatePlayerAssetTimeRange(const QVariantList& request);
    // The lane and the level meter of the track, set by the controller.
    QPointer<QWidget> audioDrawingView, meteringView;
    // The lane's frame in the track area, in points and exact: its origin and
    // its width (the whole current audio version at the present zoom and
    // speed). Every command reads and writes the lane's place through this;
    // the lane widget's whole-point geometry is derived from it for drawing
    // and hit tests only. Main thread.
    struct LaneFrame {
        double x = 0;
        double width = 0;
    };
    LaneFrame laneFrame;
    QPointer<QWidget> audioLabel, audioTimeLabel, audioSampleRateLabel;
    bool wantsSearchPlugins = false;

    // ---- the track's input in the audio mix (main thread)
    // Every way from the track to its tap goes through these. The input is
    // the mix's last entry with the track's ID (the one a render uses); null
    // when the track is not in the mix.
    std::shared_ptr<AudioMixInputParameters> mixInput() const;
    // The tap of that input; null without input or tap.
    std::shared_ptr<ProcessingTap> mixInputTap() const;
    // The context a tap keeps in its storage; null for no tap.
    static TrackTapContext* contextOfTap(const ProcessingTap* tap);
    // The context of the track's tap; null without input or tap.
    TrackTapContext* getProcessorContext() const;

    // ---- the tap and its units (main thread)
    uint64_t getTypeForAudioUnit(const units::Unit* unit) const;
    units::Unit* getAudioUnitForType(uint64_t type) const;
    bool getAudioUnitEnabledForType(uint64_t type) const;
    bool getNBandEQEnabled() const;
    bool get31BandEQEnabled() const;
    bool getAUFilterEnabled() const;
    bool getDynamicProcessorEnabled() const;
    bool getMultibandCompressorEnabled() const;
    bool getDistortionEnabled() const;
    bool getDelayEnabled() const;
    bool getPeakLimiterEnabled() const;
    bool getPitchFilterEnabled() const;
    bool getMatrixRFilterEnabled() const;
    bool getNewFilter0Enabled() const;
    void updateNBandEQEnabled(bool on);
    void updateGraphicBandEQEnabled(bool on);
    void updateAUFilterEnabled(bool on);
    void updateDynamicProcessorEnabled(bool on);
    void updateMultibandCompressorEnabled(bool on);
    void updateDistortionEnabled(bool on);
    void updateDelayEnabled(bool on);
    void updatePeakLimiterEnabled(bool on);
    void updatePitchFilterEnabled(bool on);
    void updateMatrixRFilterEnabled(bool on);
    void updateNewFilter0Enabled(bool on);
    void updateAudioUnitEnabled(bool on, uint64_t type);
    void updateAudioUnitPluginEnabled(bool on, uint64_t type);
    void updateAudioUnitsEnabled(bool on);

    void applyAudioEffectAndResetAudioUnits(bool resetUnits);
    void resetAudioUnitsForTapProcessor(ProcessingTap* tap);
    // Main queue, after a tap was prepared.
    void prepareTapForProcessing(ProcessingTap* tap);
    // Pushes the inputs that differ from their last applied values.
    void updateAudioMixState();
    void updateGainValue(double value, uint32_t index);
    void updateGlobalGain();
    void updateLowPassValue();
    void updateHighPassValue();
    void updateBandPassValue();
    void updateLowShelfValue();
    void updatePitchValue();
    void updateReverbValue();
    void updateRepeatValue();
    // The tap's contextTrackDurationRatio: the time the track covers in the
    // composition (with the part before the composition's start when the
    // track starts before it) over the length of its used range. None while
    // the track is not in the composition or its range is empty.
    std::optional<double> trackDurationRatio() const;
    void updateChannelMixValue();
    // The views of the track's built-in units that the unit panel has been
    // given, one per unit type; the panel's content view keeps the one it
    // shows alive. Main thread.
    QPointer<QWidget> audioUnitNBandEQView, audioUnit31BandEQView, audioUnitAUFilterView,
        audioUnitDynamicProcessorView, audioUnitMultibandView, audioUnitDistortionView,
        audioUnitDelayView, audioUnitLowPassView, audioUnitHighPassView, audioUnitBandPassView,
        audioUnitPeakLimiterView, audioUnitPitchFilterView, audioUnitMatrixRFilterView,
        audioUnitNewFilter0View;
    // The view property of a built-in unit type; null for any other type.
    QPointer<QWidget>* audioUnitViewForType(uint64_t type) {
        QPointer<QWidget>* views[] = {
            &audioUnitNBandEQView,      &audioUnit31BandEQView,    &audioUnitAUFilterView,
            &audioUnitDynamicProcessorView, &audioUnitMultibandView, &audioUnitDistortionView,
            &audioUnitDelayView,        &audioUnitLowPassView,     &audioUnitHighPassView,
            &audioUnitBandPassView,     &audioUnitPeakLimiterView, &audioUnitPitchFilterView,
            &audioUnitMatrixRFilterView, &audioUnitNewFilter0View};
        return type < std::size(views) ? views[type] : nullptr;
    }

    // ---- around an offline render of the track
    std::unique_ptr<MusicFilterParameters> filterParameters;
    void copyFilterParameters();
    void restoreFilterParameters();

    // ---- unit views (MusicFilterUnitViews.cpp), made by the controller's
    // unit view factory; null without one.
    UnitViewFactory* unitViewFactory() const;
    // A plug-in's own view (LV2 UIs that can live in a Qt window), or null.
    QWidget* createCocoaViewForPlugin(units::Unit* unit, const QString& name);
    QWidget* createCocoaView(units::Unit* unit);
    // The generic panel of a unit's parameters, in a scroll area; null for no unit.
    QWidget* createCustomViewForAudioUnit(units::Unit* unit);
    std::vector<CustomParameterControlRecord> audioUnitArray;
    void updateValueForCustomViewObject(QWidget* control);
    void updateValueForSender(const CustomParameterControlRecord& record);
    void undoParameterValueForCustomAudioUnitView(const CustomParameterControlRecord& record,
                                                  const MAudioParameter& saved);
    void resetAudioUnitInView();

    // ---- the track in the composition and the audio mix
    void addTrackToCompositionAndMixAudio(const MediaTime& compositionDuration);
    void removeTrackFromComposition();
    void mixAudioToVolume(double volume);

    // ---- for the render threads
    struct PluginChainEntry {
        units::Unit* unit;
        uint32_t mode;
    };
    // The enabled plug-ins with a unit, in pluginsArray order: a snapshot
    // published on every change of the records. A render opens it once per
    // slice and holds the reader until the slice is done.
    struct PluginChain {
        std::vector<PluginChainEntry> entries;
    };
    realtime::Snapshot<PluginChain>::Reader pluginChain() const { return pluginChain_.read(); }

    // ---- automation curves
    // Main thread: the curves the render follows from now on (null for none).
    // A unit that a curve can switch on while rendering gets its parts here
    // first, since the render cannot make them.
    void publishAutomation(std::unique_ptr<const TrackAutomation> curves);
    // True when the published curves can switch the built-in unit on.
    bool automatesUnit(BuiltInUnit unit) const;
    // Render thread: open once per slice.
    realtime::Snapshot<TrackAutomation>::Reader rt_automation() const { return automation_.read(); }
    // Inputs the render has set from a curve since the main thread last
    // took them (bit n: EffectInput n). Render sets, main thread takes.
    std::atomic<uint32_t> rt_inputsSetFromCurves{0};
    // Per input, where its curve's last look-up ended: the next slice's
    // point is almost always the same one or the next, so the look-up starts
    // there. Only a hint (checked before use; two renders of the track may
    // overwrite each other's). Render threads only.
    std::array<std::atomic<uint32_t>, TrackAutomation::kInputCount> rt_curveCursors{};
    // Per built-in filter unit (low-pass, high-pass, band-pass): its view is
    // the one the unit panel shows, so a curve's write notifies that view.
    // Main thread sets; any thread reads.
    enum PanelView : uint32_t { LowPassInPanel = 1, HighPassInPanel = 2, BandPassInPanel = 4 };
    std::atomic<uint32_t> unitViewsInPanel{0};

    // ---- selection parameters
    // Main thread: the entries the render applies from now on (null for none).
    void publishSelectionWindows(std::unique_ptr<const SelectionWindows> windows) {
        selectionWindows_.publish(std::move(windows));
    }
    // Render thread: open once per slice.
    realtime::Snapshot<SelectionWindows>::Reader rt_selectionWindows() const { return selectionWindows_.read(); }
    // The number of the entry applied last (referencePathTime's), 0 for none.
    std::atomic<int64_t> rt_referencePathTime{0};
    // The entry whose audio the render applied and whose other half the main
    // thread has not done yet; 0 for none. Render sets, main thread takes.
    std::atomic<int64_t> rt_appliedSelectionEntry{0};
    // ---- MIDI notes
    // Main thread only, each made empty with the track and kept for its
    // life: the committed notes, sorted by start time; the live records on
    // the main thread's side; the selected note-on records; the notes picked
    // by the current press in the notes view. No other thread touches them:
    // the render reads the committed notes through the snapshot that
    // publishNotes() makes, and live commands reach it through the inbox.
    MidiNoteList midiArray, tempMidiArray, currentSelectedNotes, lastSelectedNotes;
    // Main thread: hands the render a copy of midiArray. Call after every
    // change of it.
    void publishNotes();
    // Main thread: called at the end of every publishNotes(), so that the
    // track's MIDI manager can hand its scheduler the notes it plays.
    std::function<void(MusicFilter&)> notesPublished;
    // The track's MIDI manager: none until an instrument first enters the
    // chain (setupMIDIManager makes it), then kept for the track's life.
    std::shared_ptr<MIDIManager> midiManager;
    // Any thread (MIDI input, the on-screen keyboard): queues a live command
    // for the render, with the composition time the user heard when it came
    // (NaN when unknown: the render then takes the time its slice is heard
    // at) and the time it came at in seconds of a steady clock (NaN when
    // unknown). False when the inbox is full: the command is dropped and
    // counted.
    bool pushLiveMidiCommand(const MidiNoteRecord& record,
                             double heardSeconds = std::numeric_limits<double>::quiet_NaN(),
                             double arrivedSeconds = std::numeric_limits<double>::quiet_NaN()) {
        return midiInbox_.push(LiveMidiCommand{record, heardSeconds, arrivedSeconds});
    }
    uint64_t droppedLiveMidiCommands() const { return midiInbox_.dropped(); }
    static constexpr size_t kMidiInboxCapacity = 256;

    // Render thread: the committed notes as last published, held until the
    // reader goes out of scope.
    realtime::Snapshot<MidiNoteList>::Reader rt_committedNotes() const { return notes_.read(); }
    // Render thread: hands every queued live command to `take` in arrival
    // order; answers how many there were.
    template <typename F>
    size_t rt_drainLiveMidiCommands(F&& take) {
        return midiInbox_.drain(std::forward<F>(take));
    }

private:
    MusicFilter();
    // The tap context when the track has one; when its mix input has no tap
    // yet, makes the tap and returns null.
    TrackTapContext* tapContextOrMakeTap();
    struct UnitPush {
        uint32_t id;
        float value;
    };
    void pushUnitParameters(BuiltInUnit unit, const UnitPush* values, int count, bool active,
                            const QWidget* view);
    bool eqInputsNonZero() const;
    bool editTargets(CompositionTrack** C, const CompositionTrack** V) const;
    void setEnabledFlag(BuiltInUnit unit, bool on);
    bool enabledFlag(BuiltInUnit unit) const;
    std::unique_ptr<PluginChain> chainOfRecords() const;
    void publishPluginChain();
    // Detaches the track from its tap: no render reaches it afterwards.
    void detachTap(TrackTapContext* context);
    void releasePluginUnitsAndContexts();

    std::array<std::atomic<float>, effectinputs::kCount> inputs_{};
    SeqLockValue<MediaTime> animationStart_, animationEnd_, currentTime_;
    SeqLockValue<MediaTimeRange> currentTimeRange_;
    QColor trackColor_;
    std::atomic<QRgb> trackColorRgba_{0};
    std::atomic<uint64_t> viewIndex_{0};
    std::atomic<AudioControllerServices*> controller_{nullptr};
    std::atomic<MIDIRenderScheduler*> midi_{nullptr};
    std::atomic<double> left_{0}, right_{0};
    std::atomic<uint64_t> meterGeneration_{0};

    QList<PluginRecord> pluginsArray_;
    std::vector<std::unique_ptr<ChainUnitRenderContext>> procRefInfoArray_;
    realtime::Snapshot<PluginChain> pluginChain_;
    realtime::Snapshot<TrackAutomation> automation_;
    realtime::Snapshot<SelectionWindows> selectionWindows_;
    realtime::Snapshot<MidiNoteList> notes_;
    realtime::BoundedQueue<LiveMidiCommand> midiInbox_{kMidiInboxCapacity};
    std::weak_ptr<ProcessingTap> tap_;  // the tap made for this track
};
