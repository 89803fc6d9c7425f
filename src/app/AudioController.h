#pragma once

#include "app/EffectControls.h"
#include "app/MainWindowBuilder.h"
#include "app/MiniPlayerBuilder.h"
#include "app/PreferencesBuilder.h"
#ifndef Q_MOC_RUN  // moc cannot read <compare>
#include "engine/AudioControllerServices.h"
#include "platform/core/MediaTime.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/Player.h"
#include "app/TrackListRecords.h"
#include "automation/RecordedParameters.h"
#include "automation/Pasteboard.h"
#include "automation/SelectionParameters.h"
#include "automation/TrackParameters.h"
#include "editing/TimeRangeUndoRecord.h"
#include "app/LaneCommandRecords.h"
#endif
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/LineView.h"
#include "views/MarkerRecord.h"
#include "views/NotesView.h"
#include "views/PianoView.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <unordered_map>
#include <variant>
#include <vector>

class AppDelegate;
class AudioRecorder;
class CaptureSession;
struct AudioInputDevice;
class ExportGroup;
class ExportSession;
class ExportSheet;
struct MovieVideoSettings;
class MetadataPopover;
class AudioUnitPanel;
struct PluginRecord;
namespace units {
struct AudioUnitBundleRecord;
}
class AudioUnitsPopover;
class EmptyTrackPopover;
class PlayerView;
class VideoFrames;
class QAbstractButton;
class QFileDialog;
class QColorDialog;
class TimePopover;
class QTimer;
class SaveAccessoryView;
class ColoredButton;
class Asset;
class DecodedSource;
class FloatSlider;
class MusicFilter;
class MidiNotes;
class AudioDrawingView;
class MarkerNamePopover;
struct TrackTrimUndoRecord;        // editing/TrimUndoRecords.h
struct CompositionTrimUndoRecord;
class MusicView;
class QLabel;
class QMenu;
class NumberTextField;
class TextFieldNumberFormatter;
class UndoManager;
class WindowController;
class LibraryViewOwner;
class PresetsWindow;
class PresetsViewController;
class PresetsViewOwner;
class QLineEdit;
struct PresetUndoRecord;
namespace project {
struct PresetRecord;
}
class AudioController;
class QTimer;

#ifndef Q_MOC_RUN
// The undo object of an effect control change: undoing sends the control's
// action with this record, which restores `audioValue` on the track it names.
struct ParameterUndoRecord {
    std::shared_ptr<MusicFilter> audioFilter;
    QVariant audioValue;                  // the input's value to restore
    QPointer<FloatSlider> audioObject;    // the control
    quint64 audioIndex = 0;               // the track's index when the record was made
    TrackFrameUndoRecord audioUndoInfoDictionary;
};
// What an effect action is sent: the control the user moved, or the record
// of an undo or redo.
using EffectSender = std::variant<FloatSlider*, ParameterUndoRecord>;
using EffectAction = void (AudioController::*)(const EffectSender&);
#endif

// The central controller: the player, the composition's clock and transport,
// the main window's controls and the model the subsystems share. One object
// for the life of the application, on the main thread.
//
// Its members are defined in the source files of the subsystem that owns
// them; its state is grouped below in one struct per subsystem. The outlets
// (the controls of the windows) are set by the interface loader before
// awakeFromNib(). What the render threads read of it (the selected track, the
// metering and spectrum switches, the paused automation keys) lives in
// AudioControllerServices.
class AudioController : public QObject,
                        public AudioControllerServices,
                        public LineViewOwner,
                        public AudioDrawingViewOwner,
                        public AudioViewOwner,
                        public PianoViewOwner,
                        public NotesViewOwner {
    Q_OBJECT
public:
    // The new controller owns the player; without one, the transport does nothing.
    explicit AudioController(std::unique_ptr<Player> player = nullptr);
    ~AudioController() override;

    // ---- Outlets -------------------------------------------------------------------
    MainWindowUi ui;                // the main window
    MiniPlayerUi miniPlayer;        // the mini-player window
    PreferencesUi preferences;      // the preferences window
    WindowController* windowController = nullptr;
    AppDelegate* appDelegate = nullptr;
    UndoManager* undoManager() const;  // the main window's (the track area's)

    // ---- Composition controller and application shell -------------------------------
    std::unique_ptr<Player> audioPlayer;
    std::shared_ptr<Composition> currentComposition;  // all tracks are inserted into it
    std::shared_ptr<AudioMix> currentAudioMix;        // one input per inserted track
    struct ShellState {
        double playerVolume = 0.8;
        double playerSampleRate = 44100.0;   // time scale of the times the controller makes
        double projectSampleRate = 44100.0;
        double projectBitRate = 0.0;
        bool audioControllerIsWorking = false;  // busy: item not ready, seek, export
        bool isPlaying = false;
        bool viewControlsEnabled = false;  // see setViewControlsEnabled()
        MediaTime compositionDuration = MediaTime::zero();
        // What the duration fields show while the composition is empty (the
        // preferences' length); the first track takes its length from them.
        double emptyCompositionFieldSeconds = 600.0;
        double seekTime = -1.0;  // a seek waiting for the next ready item; -1 none
        bool continueTimeObserver = false;  // the time observer moves sliders, labels, ruler
        int timeObserverToken = 0;
        double timelineDuration = 0.0;  // seconds the timeline shows
        double scaleFactor = 0.0;       // points per second at zoom 1
        double zoomValue = 0.0;
        double mouseEventStartingZoom = 0.0;
        bool needsCloseSheetAfterPlayerStatus = false;
        bool shouldUpdateEmptyTrackDuration = false;
        // Termination.
        bool applicationTerminateFromAlertWindow = false;
        bool applicationHasToTerminateAfterSaving = false;
    } shell;

    // ---- Effect parameters and automation -------------------------------------------
    struct AutomationState {
        std::array<float, EffectInputCount> defaultValues{};  // in effect input order
        // The committed curves and the working copy a recording writes into.
        RecordedParameters recordedParameters, tempRecorderParameters;
        // A burst of changes from one control, until its deferred step: the
        // input's value before it, the track it changes, the key moving.
        std::optional<QVariant> originalValue;
        std::weak_ptr<MusicFilter> burstFilter;
        QString filterMovingSliderKey;
        // The curve right after the burst's latest recorded point, unsorted;
        // none between bursts (the next point is then a burst's first).
        std::optional<KeyPointCurve> nonsortedValuesArray;
        struct MovingPoint {
            double time = 0;
            float value = 0;
            double minValue = 0, maxValue = 0;
            QPointer<FloatSlider> control;
        };
        std::optional<MovingPoint> filterMovingPoint;
        // The key point an open lane menu highlights.
        std::optional<HighlightedKeyPointRecord> tempHighlightedKeyTime;
        // Set while an effect control changes during playback: no entry applies.
        std::atomic<bool> pauseUpdateSelectionParameters{false};
        // The effect settings bound to time ranges, by track identifier.
        SelectionParametersStore selectionParameters;
        // The number the render knows each entry reference by.
        std::map<QString, int64_t> selectionReferenceNumbers;
        bool notNeedShowInfoFromTextField = false;
        bool needsToUpdateValueImmediately = false;
        quint64 tempIndexOfSelectedParameter = kNoIndex;
        bool hasToShowNotesView = false;
        QString audioUnitsFolder;
    } automation;

    // ---- Timeline and track views: the ruler and the track area are outlets (ui) -----

    // ---- Track editing commands -------------------------------------------------------
    struct EditingState {
        std::vector<MarkerRecord> markersArray;
        quint64 currentSelectedMarker = kNoIndex;
        std::optional<DragDropSelectionRecord> dragDropSelectionInfo;
        QPointer<MarkerNamePopover> markerNamePopover;
        bool playAfterDragDropSelection = false;
        bool needsUpdateSplitSelection = false;
        // The copy a whole-track split pasted, whose trim the deferred
        // invert turns over.
        std::weak_ptr<MusicFilter> splitInvertTrack;
    } editing;

    // ---- Projects, presets and media library ------------------------------------------
    struct LibraryState {
        QUrl projectURL;
        quint64 projectChangeCount = 0;  // undoable changes since the last save
        bool doNotUpdatePlayerSettings = false;
        bool doNotUpdateNeedsDisplay = false;
        // Tracks of a loading project still to come; the taps still to be
        // prepared are counted by AudioControllerMainServices.
        quint64 trackCounter = 0;
        QList<QUrl> presetsArray;
        QString mediaLibraryPath;
        bool libraryViewIsVisibleOnExit = false;
        // The library list's requests reach the commands through it.
        LibraryViewOwner* libraryOwner = nullptr;
        // Pictures being made on the workers, by library file: the newest
        // request for a file is the one whose picture is kept.
        QHash<QString, quint64> pendingLibraryPictures;
        quint64 libraryPictureRequests = 0;
        // Batches of files being copied into the library on a worker.
        int libraryCopiesRunning = 0;
    } library;

    // ---- Export, rendering and recording ---------------------------------------------
    struct ExportState {
        // Set by the sheet's "Stop Processing"; the writer loops read it.
        std::atomic<bool> stopAudioProcessing{false};
        double processingPercentCompleted = 0.0;
        // From the start of an export until its sheet closes: the export
        // commands and the transport do nothing meanwhile.
        bool exportIsRunning = false;
        // How the last export ended: a quit that waited for it goes on only
        // when it was written.
        bool lastExportSucceeded = false;
        // The running export's pieces (ExportSession.h).
        std::unique_ptr<ExportSession> session;
        QPointer<ExportSheet> sheetWindow;
        QPointer<SaveAccessoryView> saveAudioAccessoryView;
        QPointer<QFileDialog> currentSavePanel;
        QPointer<MetadataPopover> metadataPopover;
        // Opens an exported file in the desktop's default application
        // (replaced by the tests).
        std::function<void(const QUrl&)> openInDefaultApplication;
        // Threads beside the reader's that render the mix's tracks; below
        // zero, as many as the machine spares (the benchmark sets 0 to
        // compare).
        int mixRenderWorkers = -1;
    } exporting;
    // ---- Recording from an audio input (src/export/Recording.cpp) ----------------------
    struct RecordingState {
        std::shared_ptr<CaptureSession> captureSession;  // the capture path; null when idle
        std::unique_ptr<AudioRecorder> audioRecorder;    // the recorder path; null when idle
        QPointer<QTimer> recordTimer;          // the count-down; its "url" property the file
        QPointer<QTimer> timeTimer;            // the elapsed time
        QPointer<QTimer> recordChannelsTimer;  // the level tick of the capture path
        quint64 recordCalls = 0;               // count-down and elapsed-time ticks
        QStringList recordingDevices;          // unique identifiers, in the pop-up's order
        QPointer<QFileDialog> savePanel;       // the save sheet while it is up
    } recording;
    void startCaptureSessionFrom();
    void showRecordingInfoPopover();
    void processCaptureSessionFrom();
    void processCaptureSessionWithDevice(const AudioInputDevice& device);
    void startCaptureSession();
    void captureSessionStartedNotification();
    void updateRecordLabel();
    void captureOutputDidStartRecording(const QUrl& url);
    void updateTimerLabel();
    // Reads the input's levels and the recorded duration, then shows them.
    void updateAudioLevelsWithConnection();
    // The meter and the waveform window for levels in dB at `seconds` recorded.
    void showAudioLevels(double leftDb, double rightDb, double seconds);
    void showWavePopoverFrom();
    void endCaptureSessionFrom();
    void captureOutputDidFinishRecording(const QUrl& url, const QString& error);
    void finishRecordAndClear();
    void captureSessionErrorNotification(const QString& error);
    void resetCaptureSession();
    bool testCaptureSession();
    bool testAVAudioRecorderSession();
    void startAVAudioRecorderSessionFrom();
    void processAVAudioRecorderSession();
    void updateAVAudioRecorderRecordLabel();
    // "Start: 3" shown at y `labelY`, then `tick` once a second on the record timer.
    void startRecordCountDown(const QUrl& url, int labelY, void (AudioController::*tick)());
    void endAVAudioRecorderSessionFrom();
    void audioRecorderDidFinishRecording(bool successfully);
    void audioRecorderEncodeErrorDidOccur(const QString& error);
    void resetAVAudioRecorderSession();
    void copyRecordedAudioWithSavePanel(const QUrl& url);
    // The save sheet's OK: copies the recording to `destination` and adds it.
    void saveRecordedAudio(const QUrl& recorded, const QUrl& destination);
    QString getAppSupportRecordingPath() const;
    void clearRecordingPath();
    // "myRecord.m4a" in `folder`, or the first free "myRecord_N.m4a" from N = 2.
    static QUrl recordingFileURL(const QString& folder);
    void installRecordingActions();

    // ---- Export commands and save panels (src/export/ExportCommands.cpp) ---------------
    // The mix: a save panel with the accessory, then saveAudioToURL. Nothing
    // without a player or tracks, or while an export runs.
    void saveAudioFileFrom();
    // The selected track through its effects, to m4a.
    void saveAudioTrackFrom();
    // The format pop-up's action: the chosen format's type first.
    void updateSavePanelAudioFormat();
    SaveAccessoryView* saveAccessoryView();
    // True while an export runs or the player is busy: the commands wait.
    bool exportCommandsAreBlocked() const;

    // ---- Media library (src/library/MediaLibrary.cpp) ---------------------------------
    // The picture of a file's waveform (null when it has no readable audio).
    // Blocking: decodes the file; the library calls it on a worker thread.
    QImage waveformBitmapForURL(const QUrl& url) const;
    // The list empty, nothing selected, rows 40 high, its owner set.
    void setupLibraryList();
    // Builds the list from the library folder (at start-up).
    void addURLsToLibrary();
    void addFilesToLibrary();
    // Copies the files into the library, asking before a file of the same
    // name is replaced; the pictures follow from the workers.
    void addAudioTracksToLibrary(const QList<QUrl>& urls);
    void menuAddAudioTrackToLibrary();
    void addAudioTrackToLibrary(const QUrl& source, MusicFilter* track);
    void removeAudioTrackFromLibrary(qint64 row);
    void clearLibrary();
    void importFileToCompositionFromMenu(qint64 row);
    void importSelectedLibraryTrackToComposition();
    // The main menu's library submenu, from the list.
    void updateLibraryMenu();

    // ---- Project folders (src/library/ProjectSave.cpp, ProjectLoad.cpp) -----------------
    // Save into the open project, or ask for a folder; Save As always asks.
    void saveAsProjectFrom();
    // Writes the composition into the folder: true when "projectData" and
    // every source copy are in place. A failure says why, keeps the
    // previous project data and leaves the composition edited.
    // Waits for the writing (the main thread is held meanwhile): for callers
    // that need the result at once. The commands use beginProjectSave.
    bool saveProjectToURL(const QUrl& url, QString* error = nullptr);
    // Starts a save into the folder of `url`: what the project holds is read
    // here, the copies, pictures and files are written on a worker, and the
    // window shows the progress sheet and the wait cursor until it ends.
    // `projectBefore` is the open project a failure gives back (a Save As
    // clears it first). Its end (endProjectSave, on the main thread) marks
    // the composition saved or says why it is not, then calls saveDidEnd().
    void beginProjectSave(const QUrl& url, std::optional<QUrl> projectBefore = std::nullopt);
    bool projectSaveIsRunning() const;
    // A quit or close while a save runs: the sheet says the application
    // goes when the save has written the project, and its end quits.
    void quitAfterProjectSave();
    // Holds the calling thread until a running save's worker has written
    // (its end is still reported through the main queue).
    void waitForProjectSave();
    // The path under which the project refers to `source`, copied into the
    // folder when it is not already there; empty with `error` set when the
    // copy failed, "" for no source. Any thread.
    static QString stringForSourceURL(const QUrl& source, const QString& folder, QString* error = nullptr);
    static bool verifyPathInDirectory(const QString& folder, const QString& path);
    void loadProjectFrom();
    void processLoadingProjectFromUnarchivedArray();
    void completeLoadingProject();
    void updateAudioUnitsForFilter(MusicFilter* filter) override;
    // What the lanes read: set while a project's tracks are being restored.
    bool laneSkipsDrawingWhileLoading() const override { return library.doNotUpdateNeedsDisplay; }
    // The loading that runs, from its opening to its end; null when idle.
    std::shared_ptr<struct ProjectLoading> projectLoading;
    // A project folder read and checked on a worker: opened when it can be,
    // refused with a message naming why otherwise.
    void openReadProject(const std::shared_ptr<struct ProjectLoading>& loading, struct ProjectRead read);
    void refuseProject(const QString& folder, const QString& why);
    // The save that runs, from its start to its end; null when idle.
    std::shared_ptr<struct ProjectSaveJob> projectSaving;
    std::shared_ptr<ProjectSaveJob> makeProjectSaveJob(const QUrl& url);
    void endProjectSave(const std::shared_ptr<ProjectSaveJob>& job);
    void applyProjectSave(const ProjectSaveJob& job, QString* error);
    // Ends a load: the message naming the tracks left out, once.
    void finishProjectLoading();
    // A loading track's media is in (or will never be): the last one starts
    // the restoring stage.
    void projectTracksCountedDown();
    // A loading track whose media could not be read: it is left out and
    // named at the end. False when no project is loading.
    bool leaveOutProjectTrack(MusicFilter* track, const QString& why);
    void countOffTapOutsideComposition(const MusicFilter& track);
    // Curves stored as fractions of the source, as the track's working curves.
    void loadRecordedDictionaryForFilterAtIndex(quint64 index, const TrackCurves& curves);

    // ---- Preset files (src/library/PresetFiles.cpp) ----------------------------------
    // The "Presets" folder, made on first use.
    QString getAppSupportPath() const;
    // presetsArray from the folder: no hidden files, no subfolders, not sorted.
    void loadPresets();
    // The selected track's settings, curves, plug-ins and notes as a preset
    // file's bytes; empty without a selected track.
    QByteArray presetDataForSelectedTrack();
    // Writes the selected track's preset under the first free form of
    // `name`: the file's path, or empty with the reason in `error` (a name
    // that is empty, holds "/" or starts with "." is refused; a failed
    // write leaves no file).
    QString savePreset(const QString& name, QString* error = nullptr);

    // ---- Preset commands and the presets window (src/library/PresetCommands.cpp) -------
    struct PresetsState {
        QPointer<PresetsWindow> presetsWindow;
        QPointer<QLineEdit> presetsTextField;
        QPointer<PresetsViewController> presetsViewController;
        // What the browser asks of the controller.
        std::shared_ptr<PresetsViewOwner> browserOwner;
    } presets;
    // Builds the presets window and its browser, hidden.
    void setupPresetsWindow();
    // Saves the selected track's preset under the name typed in `sender`
    // (the window's field when none): the field is emptied once the file is
    // written; a refused name or a failed write says why and keeps the name.
    void savePresetFrom(QLineEdit* sender = nullptr);
    // Applies the preset selected in the browser to the selected track, as
    // one undo step.
    void loadPreset();
    // An undo or redo of a preset application.
    void loadPreset(const PresetUndoRecord& record);
    // Applies clipboard preset data to the selected track; data that is not
    // a preset in every field applies nothing.
    void loadFilterFromPresetData(const QByteArray& data);
    // The selected track's settings and the preset record applied to it.
    void applyPresetRecord(const project::PresetRecord& preset);
    // Replaces the track's plug-in catalogue and enabled names (none: both
    // emptied) and lists the plug-ins again; their units and the pop-up are
    // made again on a later turn of the event loop.
    void updatePluginsForFilter(MusicFilter* filter, const QList<units::AudioUnitBundleRecord>* bundles,
                                const QStringList& activeNames);
    void copyPresetFilterToPasteboardFrom();
    // Deletes the preset named in `sender` (the window's field when none),
    // else the one selected in the browser, after asking.
    void removePresetFrom(QLineEdit* sender = nullptr);
    // True when the preset file was there and is gone; a failed removal is
    // false with the reason in `error`.
    bool removePreset(const QString& name, QString* error = nullptr);
    void showPresetsWindowFrom();

    // ---- Mix export (src/export/MixExport.cpp) ------------------------------------------
    // [destination] or [destination, tag names].
    void saveAudioToURL(const QUrl& destination, const QStringList& tags = {});
    // The mix export at `sampleRate`; with `video`, a movie carrying that
    // picture (no tags, no library, a stop leaves nothing).
    void startMixExport(const QUrl& destination, const QStringList& tags, double sampleRate,
                        std::shared_ptr<const MovieVideoSettings> video);
    void exportRenderedTracksNotify(const QUrl& destination, const QStringList& tags);
    void processAudioComposition(const std::shared_ptr<Composition>& composition,
                                 const std::shared_ptr<AudioMix>& mix, const QUrl& destination,
                                 const QStringList& tags);
    void resetAssetsWithError(bool error);
    void stopAudioProcessing();
    void closeSheet();
    QString getAppTempPath() const;
    void clearTempFilesPath();
    ExportSheet* progressSheet();
    // The sheet up on the main window; `onEnd` runs when it closes.
    void beginProgressSheet(std::function<void()> onEnd);
    void setSheetTexts(const QString& info, const QString& percent);

    // ---- Offline rendering of a track (src/export/TrackRender.cpp) ----------------------
    // Starts a render of the track into "TempFiles" when the mix export
    // needs one (another speed with a tap, or another source rate): true when
    // started, and the group is left once when it ends.
    bool createTemporaryAudioFileWithAudioFiltersAndSignalGroup(MusicFilter* track, ExportGroup& group);
    // Whether the export needs a render of the track at `sampleRate`.
    static bool trackNeedsPreRender(const MusicFilter& track, double sampleRate);

    // ---- Track export and speed change (src/export/TrackExport.cpp) ---------------------
    // Starts the export (true) or refuses it (false, nothing changed); the
    // render begins on the main queue once the tap is ready for it.
    bool saveTrackToURL(MusicFilter* track, const QUrl& destination);
    // The same, backwards: the whole render is read first (0 to 50 %), then
    // written from its end (50 to 100 %); "Stop Processing" acts while writing.
    bool saveReversedTrackToURL(MusicFilter* track, const QUrl& destination);
    bool beginTrackExport(MusicFilter* track, const QUrl& destination, bool reversed);
    void startTrackExport(MusicFilter* track, const QUrl& destination, bool reversed = false);
    void copyAudioFileAndChangeSpeed(MusicFilter* track);
    void resetAssetsForTrackExportWithError(MusicFilter* track, bool error);

    // ---- Audio with video export (src/export/VideoExport.cpp) ---------------------------
    // A movie of the track with its source's picture, or of the whole mix
    // with it; a source without video gives the track's m4a export. True
    // when the export has started.
    bool saveAudioAndVideoTrackToURL(MusicFilter* track, const QUrl& destination);
    bool mixAudioTracksAndVideoTrackToURL(MusicFilter* track, const QUrl& destination);
    // The sheet's "Stop Processing" during a video export: nothing is left.
    void stopAudioVideoProcessing();
    // The end of either, on the main thread; `track` null for the mix.
    void finishVideoExport(MusicFilter* track, bool ok, bool stopped);
    // The three track commands: the selected track reversed, with its video,
    // and the mix with its video, each after a save panel.
    void saveReversedAudioTrackFrom();
    void saveAudioAndVideoTrackFrom();
    void saveMixAudioAndVideoTrackFrom();

    // ---- Metadata and artwork (src/export/Metadata.cpp) ---------------------------------
    MetadataPopover* metadataPopover();
    void showMetadataPopoverFrom();
    void importMetadataArtworkFrom();
    bool replaceMetadataArtwork(const QUrl& url);
    void removeMetadataArtworkFrom();
    void updateMetadataTextFieldFrom();
    // The preview of the selected track's source.
    void showQuickLookPanel();

    // ---- Start-up --------------------------------------------------------------------
    // Runs once every outlet is set: timeline, controls, bindings, time observer,
    // observers, ruler layer, library layout, model containers.
    void awakeFromNib();
    void playheadTimeObserverBlock(const MediaTime& time);
    void timelineRedrawBlock();

    // ---- Player state and transport ---------------------------------------------------
    // The status of the player's current item (PlayerItem::Status as a number),
    // or NoPlayerItem when the player has none.
    static constexpr int NoPlayerItem = -1;
    void observePlayerItemStatus(int status);
    void observePlayerRate(float rate);
    void eventHandlerPlayerState();
    double duration() const;     // seconds of a ready item, else 0
    double currentTime() const;  // seconds of the player's time, 0 without a player
    void updateCurrentTime(double seconds);
    void updateCurrentTimeFrom(FloatSlider* slider);
    void updateCurrentTimeFromSlider(FloatSlider* slider);
    void playPauseToggle();
    void fastForward();
    void rewind();
    void updatePlayerVolumeFrom(FloatSlider* slider);
    void updatePlayerItemObserver();
    void removePlayerItemObserver();
    void audioEndedFromNotification();
    // Views and controls locked while the item is not ready or a seek runs.
    void lockViews();
    void unlockViews();
    void setViewControlsEnabled(bool enabled);
    void bindEnabledObject(QWidget* control);

    // ---- Time labels and position sliders ---------------------------------------------
    void setupLabelsWithUpdate(bool update);
    void updateLabelsTimeWithCurrentTime(const MediaTime& time);
    void setupAudioSliderWithTotalTime(const MediaTime& total);
    QString compositionTitle() const;  // the mini player's text, "" without a length

    // ---- Edited state, panel layout and scroll synchronisation ------------------------
    void changeCountForOpenUndoGroup();
    void changeCountForUndo();
    void changeCountForRedo();
    bool isDocumentEdited() const;
    void setDocumentEdited(bool edited);
    void setupLibraryViewHidden();
    void updateLibraryViewOnStartup();
    void setupLineView();
    void layoutLineViewContainer();
    // Stops following the track area's size and position; called before the
    // windows that hold it are destroyed.
    void stopWatchingTrackArea();
    void audioScrollViewDidChangeBounds();
    void audioScrollViewDidEndLiveScroll();

    // ---- Numeric text fields ---------------------------------------------------------
    TextFieldNumberFormatter* formatterForTextField() const;
    TextFieldNumberFormatter* formatterForIntegerTextField() const;
    void textFieldSetup(NumberTextField* field, FloatSlider* control = nullptr);
    void updateTextFieldValueFrom(NumberTextField* field);

    // ---- Adding a file as a track (AddTrack.cpp) -----------------------------------------
    struct TrackImportState {
        // Files whose asset is opened one after the other, so that tracks
        // come in the order they were asked for.
        std::deque<QUrl> pendingURLs;
        bool opening = false;
        // Tracks whose waveform is still being read: they go into the
        // composition when it is ready.
        int tracksReading = 0;
        // Every file asked for has become a track with its audio, or has
        // been refused: none waits, opens or reads.
        bool idle() const { return pendingURLs.empty() && !opening && tracksReading == 0; }
        // The last replacement of each track's file, by number: only the
        // newest one is put in place.
        std::unordered_map<const MusicFilter*, uint64_t> replacements;
    } imports;
    // The import panel's action.
    void importAudioFileFrom();
    // The second half of adding a file, once its asset has opened (on the
    // main thread); false, with the reason, when the file cannot become a track.
    bool addAudioFileWithAsset(const QUrl& url, const std::shared_ptr<Asset>& asset,
                               QString* why = nullptr);
    // A new track whose file decoded to another length than its header
    // declared (a file cut short): its values, label and lane, and the
    // composition's length when that is still `lengthFromFile`, the length
    // the track gave it, follow the decoded length.
    void takeDecodedLength(MusicFilter& track, const DecodedSource& decoded,
                           std::optional<MediaTime> lengthFromFile);
    // A track whose file turned out unreadable after it was added: it goes
    // with everything it changed, and the user is told why.
    // `durationBefore`: the composition's length before a first track.
    void abandonTrackImport(MusicFilter* track, const QString& why,
                            std::optional<MediaTime> durationBefore = std::nullopt);
    // The index of `track` in the track list, or kNoIndex.
    quint64 indexOfTrack(const MusicFilter* track) const;
    // The track list's record and track at `index`; null for an index
    // outside the list (every command given an index checks it here).
    TrackRecord* trackRecordAt(quint64 index) const;
    MusicFilter* trackAt(quint64 index) const;
    // The thumbnail's click, context menu, drops and failed loads.
    void setupThumbnailActions(MusicView* thumbnail, const std::shared_ptr<MusicFilter>& track);
    // Places the views of the track at `index` in its row.
    void layoutTrackViews(quint64 index);
    void updateTrackAreaSizes();
    // The pieces of a new track's row, shared by adding and duplicating a
    // track: the thumbnail and the three labels (white, centred, the small
    // system font) in the left column, the player refreshes the track
    // asks for, and its lane at `index`, as wide as the whole track at this
    // zoom. The lane comes with the row shown and mouse events off until the
    // track's player item is ready.
    MusicView* makeTrackThumbnail(QWidget* left);
    static QLabel* makeTrackLabel(QWidget* left, const QString& text);
    void observePlayerRefreshes(const std::shared_ptr<MusicFilter>& track);
    AudioDrawingView* addTrackLane(MusicFilter& track, quint64 index);

    // ---- Player refresh after a track change (PlayerRefresh.cpp) ------------------------
    void updatePlayerFromNotification(MusicFilter* track);
    void updatePlayerWithoutUpdateFromNotification(MusicFilter* track);
    void updatePlayerWithNewTrackSettings(MusicFilter* track);
    void updateTrackWithNewTrackSettings(MusicFilter* track);
    // During an export: notes that the player needs a new item when the
    // export ends, and answers true, so that the caller builds none now.
    bool deferPlayerRebuildDuringExport();
    void updatePlayerWithNewCompositionSettings();
    void addTrackToComposition(quint64 index);
    void removeTrackFromCompositionWithoutUpdate(quint64 index);
    void removeTrackFromComposition(quint64 index);
    // A track's tap was made on the shared mix after the player item took
    // its copy: the player gets a new item, at the same time.
    void resetPlayerItemAudioMixForFilter(MusicFilter* filter) override;
    // The length of the composition; tracks and range edits are cut at it.
    MediaTime compositionDuration() const override { return shell.compositionDuration; }
    // Every track's level meter back to silence, redrawn.
    void resetTrackMeters();

    // ---- Effect inputs, defaults and control sync (automation/EffectDefaults.cpp) ---------
    void setupDefaultValues();
    float defaultValue(const char* key) const;
    void applyDefaultValuesToControls();
    void applyDefaultEQValuesToControls();
    void applyValuesToSelectedAudio(quint64 index);
    // Any thread: the sliders follow the track at `index` on the main thread,
    // if it is still there then; no panel closes.
    void applyAsyncValuesToSelectedAudio(quint64 index);
    void copyDefaultValuesToDictionary(const TrackRecord& record);
    void copyDefaultEQValuesToDictionary(const TrackRecord& record);
    // The Audio Unit panel (visible, or hidden with content) and the notes panel.
    void closeTrackPanels();

    // ---- Effect control actions and value changes (automation/EffectValueChanges.cpp) ----
    void updateChannelMixFrom(const EffectSender& sender);
    void updateSpeedFrom(const EffectSender& sender);
    void updateAudioMixFrom(const EffectSender& sender);
    void updatePitchFrom(const EffectSender& sender);
    void updateReverbFrom(const EffectSender& sender);
    void updateAmbienceFrom(const EffectSender& sender);
    void updateLowShelfCutoffFrom(const EffectSender& sender);
    void updateLowShelfGainFrom(const EffectSender& sender);
    void updateFadeInFrom(const EffectSender& sender);
    void updateFadeOutFrom(const EffectSender& sender);
    void updateLowPassCutoffFrom(const EffectSender& sender);
    void updateLowPassResonanceFrom(const EffectSender& sender);
    void updateHighPassCutoffFrom(const EffectSender& sender);
    void updateHighPassResonanceFrom(const EffectSender& sender);
    void updateBandPassCenterFrom(const EffectSender& sender);
    void updateBandPassBandwidthFrom(const EffectSender& sender);
    void updateGlobalGainFrom(const EffectSender& sender);
    void updateGain32From(const EffectSender& sender);
    void updateGain64From(const EffectSender& sender);
    void updateGain125From(const EffectSender& sender);
    void updateGain250From(const EffectSender& sender);
    void updateGain500From(const EffectSender& sender);
    void updateGain1KFrom(const EffectSender& sender);
    void updateGain2KFrom(const EffectSender& sender);
    void updateGain4KFrom(const EffectSender& sender);
    void updateGain8KFrom(const EffectSender& sender);
    void updateGain16KFrom(const EffectSender& sender);
    void updateAudioMixToMuteVolumeFrom(const EffectSender& sender);
    void updateAudioMixToUnmuteVolumeFrom(const EffectSender& sender);
    // The action of each of the 27 effect rows, in effect input order.
    static const std::array<EffectAction, EffectInputCount>& effectActions();
    // The effect row of a slider; -1 for any other control.
    int effectRowOfSlider(const FloatSlider* slider) const;
    // Connects the 27 sliders to their actions.
    void connectEffectControls();
    // Every change of an effect value ends here: a live change from a
    // control, or the replay of an undo record.
    void updateAudioValue(const EffectSender& sender, EffectAction action, const QString& key);
    // The deferred half of a burst: one undo step, or the commit of a recording.
    void updateValueForSender(FloatSlider* control);
    void undoRedoRecordedParameters(const RecordedParameters& store);
    void verifyParameterRecordingForSlider(FilterSlider slider) override;
    void setNeedsToUpdateValueImmediately(bool value) override {
        automation.needsToUpdateValueImmediately = value;
    }
    void setPauseUpdateSelectionParameters(bool paused) override {
        automation.pauseUpdateSelectionParameters.store(paused);
    }
    // ---- Key-point time remapping (automation/RecordedTimes.cpp); main thread:
    // a call from another thread is handed to it.
    // The track's committed points moved by `difference` seconds, or their
    // times multiplied by `factor`; the working copy becomes a fresh copy.
    void updateRecordedTimesForFilter(MusicFilter* track, double difference);
    void updateRecordedTimesForFilterScaling(MusicFilter* track, double factor);
    // The curves of `keys` flat at their inputs' defaults (band gains keep theirs).
    void resetRecordedCurveForFilter(MusicFilter* track, const QStringList& keys);
    // The burst's last recorded point marked as the end of the pass.
    void updateRecordedLastValueForFilter(MusicFilter* track, const QString& key);
    TrackFrameUndoRecord trackFrameUndoRecordOf(MusicFilter* track) const;

    // ---- Track parameter records (automation/TrackParameters.cpp) -------------------------
    // The 27 values and the unit parameters of the track at `index`, its
    // switches and band count read from its units; empty for no track.
    TrackParametersRecord parametersDictionaryAtIndex(quint64 index);
    // One record per unit parameter snapshot of the track; `update` takes the
    // enabled flags from the switches and plug-ins and reads the band count
    // again, otherwise each snapshot's own flag and the stored band count.
    std::vector<ListenerParameterRecord> listenerAudioUnitsParametersArray(MusicFilter* track, bool update);
    // Merges the records into the track's snapshots and sets its switches,
    // plug-in enables and band count from them; nothing for null. An empty
    // array keeps the track's band count.
    // Whether applying a record also switches the track's plug-ins on and
    // off from its snapshots, or leaves them as they are.
    enum class PluginSwitches { FromRecord, Keep };
    void updateListenerAudioUnitsFromArray(const std::vector<ListenerParameterRecord>* array, MusicFilter* track,
                                           PluginSwitches plugins = PluginSwitches::FromRecord);
    // The record (values and snapshots) applied to the destination's track,
    // or another track's 27 values alone.
    void copyFilterValuesFromDictionary(const TrackParametersRecord& source, const TrackRecord& destination);
    void copyFilterValuesFromDictionary(const TrackRecord& source, const TrackRecord& destination);
    // A curve's times as fractions of the track's source (clamped to [0, 1])
    // and back to timeline times; flagged points come out flagged 1.
    static KeyPointCurve modifyInPercentKeyValues(const KeyPointCurve& curve, const MusicFilter& track);
    static KeyPointCurve modifyInRelativeTimeKeyValues(const KeyPointCurve& curve, const MusicFilter& track);
    // Every committed curve of the track at `index` as fractions.
    TrackCurves createRecordedDictionaryForPresetAtIndex(quint64 index);

    // ---- Track speed change (automation/SpeedChange.cpp) ---------------------------------
    // Lays the track out at the speed its input holds (or as an undo record
    // says), moves its key points, selections and notes by the lanes' ratio
    // and rebuilds the player. Given the speed the track had before, times
    // scale by the exact ratio of the speeds rather than of the lanes' whole
    // pixel widths, which a short lane can round to nothing. Key points and
    // notes that already stand as they belong at the new speed (a preset's)
    // are kept as they are.
    enum class SpeedTimes { Scaled, Kept };
    void updateFilterSpeed(MusicFilter* track, const TrackFrameUndoRecord* undoRecord, double previousSpeed = 0,
                           SpeedTimes curvesAndNotes = SpeedTimes::Scaled);
    // The note times of the track multiplied by `factor`, then republished.
    void scaleMidiArray(MusicFilter* track, double factor);

    // ---- Curve commands (automation/CurveCommands.cpp) ------------------------------------
    // The one-item clipboard.
    std::optional<PasteboardItem> pasteboardItems;
    // The effects whose curves the commands manage, by curve index (1 to 9).
    struct CurveEffect {
        const char* name;       // "Audio Mix" ...
        QStringList keys;       // one or two input keys, in command order
        QStringList keyPointTitles;  // the key-point submenus' titles, per key
    };
    static const std::array<CurveEffect, 10>& curveEffects();
    // The curve index whose keys contain `key`; 0 for none.
    static uint64_t curveEffectOfKey(const QString& key);
    void noRecorParameters();
    void freeRecordParameters();
    void addAdjustKeyPoints();
    void removeKeyPoints();
    void showNoRecordCurve();
    void sustainCurve();
    void linearRampCurve();
    // The five commands of effect `index`.
    void addRecordCurve(uint64_t index);
    void showRecordCurve(uint64_t index);
    void resetRecordCurve(uint64_t index);
    void removeRecordCurve(uint64_t index);
    void copyRecordCurve(uint64_t index);
    void addRecordAudioMixCurve() { addRecordCurve(1); }
    void addRecordChannelMixCurve() { addRecordCurve(2); }
    void addRecordEQGainCurve() { addRecordCurve(3); }
    void addRecordPitchCurve() { addRecordCurve(4); }
    void addRecordReverbAmbienceCurve() { addRecordCurve(5); }
    void addRecordBassBoostCurve() { addRecordCurve(6); }
    void addRecordLowPassCurve() { addRecordCurve(7); }
    void addRecordHighPassCurve() { addRecordCurve(8); }
    void addRecordBandPassCurve() { addRecordCurve(9); }
    void showRecordAudioMixCurve() { showRecordCurve(1); }
    void showRecordChannelMixCurve() { showRecordCurve(2); }
    void showRecordEQGainCurve() { showRecordCurve(3); }
    void showRecordPitchCurve() { showRecordCurve(4); }
    void showRecordReverbAmbienceCurve() { showRecordCurve(5); }
    void showRecordBassBoostCurve() { showRecordCurve(6); }
    void showRecordLowPassCurve() { showRecordCurve(7); }
    void showRecordHighPassCurve() { showRecordCurve(8); }
    void showRecordBandPassCurve() { showRecordCurve(9); }
    void resetRecordAudioMixCurve() { resetRecordCurve(1); }
    void resetRecordChannelMixCurve() { resetRecordCurve(2); }
    void resetRecordEQGainCurve() { resetRecordCurve(3); }
    void resetRecordPitchCurve() { resetRecordCurve(4); }
    void resetRecordReverbAmbienceCurve() { resetRecordCurve(5); }
    void resetRecordBassBoostCurve() { resetRecordCurve(6); }
    void resetRecordLowPassCurve() { resetRecordCurve(7); }
    void resetRecordHighPassCurve() { resetRecordCurve(8); }
    void resetRecordBandPassCurve() { resetRecordCurve(9); }
    void removeRecordAudioMixCurve() { removeRecordCurve(1); }
    void removeRecordChannelMixCurve() { removeRecordCurve(2); }
    void removeRecordEQGainCurve() { removeRecordCurve(3); }
    void removeRecordPitchCurve() { removeRecordCurve(4); }
    void removeRecordReverbAmbienceCurve() { removeRecordCurve(5); }
    void removeRecordBassBoostCurve() { removeRecordCurve(6); }
    void removeRecordLowPassCurve() { removeRecordCurve(7); }
    void removeRecordHighPassCurve() { removeRecordCurve(8); }
    void removeRecordBandPassCurve() { removeRecordCurve(9); }
    void copyRecordAudioMixCurve() { copyRecordCurve(1); }
    void copyRecordChannelMixCurve() { copyRecordCurve(2); }
    void copyRecordEQGainCurve() { copyRecordCurve(3); }
    void copyRecordPitchCurve() { copyRecordCurve(4); }
    void copyRecordReverbAmbienceCurve() { copyRecordCurve(5); }
    void copyRecordBassBoostCurve() { copyRecordCurve(6); }
    void copyRecordLowPassCurve() { copyRecordCurve(7); }
    void copyRecordHighPassCurve() { copyRecordCurve(8); }
    void copyRecordBandPassCurve() { copyRecordCurve(9); }
    // The clipboard's item pasted by its kind; nothing while busy or empty.
    void pasteAudioFileFrom();
    // A clipboard item that holds `track` (a copied selection of it, or the
    // track itself) is marked when the track's file is replaced.
    void markClipboardSourceReplaced(const MusicFilter* track);
    // A marked item is refused with an alert: true when it was.
    bool refusePasteOfReplacedSource();
    void pasteRecordedCurveInFilterFrom();
    // Undo and redo of reset, remove and paste: the whole store as it was;
    // a paste's also puts its track's pasted inputs, curve type and shown
    // curve back.
    void undoResetRecordedCurve(const RecordedParameters& snapshot);
    void undoRemoveRecordedCurve(const RecordedParameters& snapshot);
    void undoPasteRecordedCurve(const RecordedParameters& snapshot, const PastedCurveTrackState& track);
    // Moves the playhead to a key point's time.
    void updateKeyPoints(const KeyPoint& point);

    // ---- Selection parameters (automation/SelectionParameters.cpp) ------------------------
    // The selected track's setting bound to its lane's last selection (or
    // `track`'s, when given); a whole-track selection clears itself instead.
    void assignParametersToCurrentSelection(MusicFilter* track = nullptr);
    void removeParametersFromSelectionIndex(MusicFilter* track, quint64 index);
    // Undo and redo: the track's entries as the record has them.
    void addRemoveParametersFromCurrentSelection(const SelectionParametersUndoRecord& record);
    // Render thread, once per slice: applies the audio of an entry whose
    // window playback enters and posts it for the main thread's half.
    void updateParametersForSelectionAtTime(const MediaTime& time, MusicFilter* filter,
                                            TrackTapContext* context) override;
    // Main thread (a seek, a removal, an undo): both halves at once.
    void updateParametersForSelectionAtTime(const MediaTime& time, MusicFilter* filter);
    // Main thread: the entries the track's render follows, republished.
    void publishSelectionParametersForFilter(MusicFilter* track);
    // Main thread, on the curve timer: the other half of the entries the
    // render applied (switches, plug-ins, records, sliders, mix, fades, views).
    void followSelectionParameters();
    void applySelectionEntryOnMainThread(MusicFilter* track, int64_t reference);
    void selectionParametersApplyUI(MusicFilter* track);
    // Shows again the unit whose panel title is `title`: a built-in unit of
    // the selected track, or a plug-in of `track` by its name.
    void reshowAudioUnitPanel(MusicFilter* track, const QString& title);
    // What the lanes draw of them.
    QList<QPair<double, double>> laneSelectionParameterRanges(const MusicFilter& track) const override;
    quint64 laneHighlightedSelectionParameter() const override { return automation.tempIndexOfSelectedParameter; }
    // What the lanes draw of the curves (automation/LaneCurves.cpp).
    const TrackCurves* laneRecordedCurves(const MusicFilter& track) const override;
    std::pair<double, double> laneValueRange(const QString& key) const override;
    std::optional<AudioDrawingViewOwner::MovingPoint> laneMovingPoint() const override;
    std::optional<HighlightedKeyPointRecord> laneHighlightedKeyPoint() const override {
        return automation.tempHighlightedKeyTime;
    }
    QString laneMovingSliderKey() const override { return automation.filterMovingSliderKey; }
    // The window of a track's entry on the timeline, in seconds.
    static std::pair<double, double> selectionWindowOf(const MusicFilter& track, double start, double end);

    // ---- Curves while audio renders (automation/CurvePlayback.cpp) -----------------------
    // Publishes the curves the track's render follows: the working copy while
    // its needsUpdateParametersWithTempDictionary is set, else the committed
    // ones, in the track's own curve style. Every change of either store or
    // of the track's flag or style calls it.
    void publishRecordedParametersForFilter(MusicFilter* track);
    void publishAllRecordedParameters();
    std::optional<double> updateRecordedParametersForFilter(MusicFilter* filter, const TrackAutomation* curves,
                                                            const MediaTime& time, EffectInput input,
                                                            units::Unit* unit,
                                                            units::EventListener* listener) override;
    // The selected track's sliders after the inputs the render set from its
    // curves; runs on a timer only while playing.
    void followCurvesOnControls();
    void updateCurveFollowing();
    // Whether the controls follow the render's curves now (their timer runs).
    bool followsCurves() const;

    // ---- Curve evaluation at a seek (automation/SeekEvaluation.cpp) ---------------------
    // The selected track's inputs and sliders as `store` says at `seconds`.
    void verifyRecordedInputValuesForSeekToTime(double seconds, const RecordedParameters& store);
    // Sets band `bandKey` when it is the curve's own key `originKey`.
    void updateGainKey(const QString& bandKey, const QString& originKey, uint32_t index,
                       MusicFilter* track, MusicFilter* selected, float value);
    void updateCompositionDurationFromPreferences(double minutes, double seconds);
    // The timeline an empty composition shows: the one it has at launch.
    void resetEmptyTimeline();
    void updateTrackColorFromPreferencesForAllFilters(const QColor& color);
    void animateLibraryViewFrom(ColoredButton* sender);
    void animateEQViewFrom(ColoredButton* sender);
    void showPlayerWindow();
    // Saving before quitting: the project when there is one, else an export of the
    // mix. Each reports its end through saveDidEnd().
    void saveProjectFrom();
    void saveDidEnd(bool saved);
    // "Do you want to save the composition?", asked once on the way out
    // (quitting or closing the main window) when an edited composition has
    // tracks. Save starts the save, whose end quits; Don't Save is
    // remembered, so that nothing asks again while the application ends.
    // Without tracks or edits, or once answered, the answer is DontSave.
    enum class SaveAnswer { Save, DontSave, Cancel };
    SaveAnswer askToSaveComposition();
    // Opening files handed over by the desktop.
    void addAudioFileToComposition(const QUrl& url);
    void loadTrackToCompositionForProject(const QUrl& url);
    int trackCount() const;
    // The six filter sliders, for the filter units' own views.
    FloatSlider* filterSlider(FilterSlider slider) const;
    std::pair<float, float> filterSliderRange(FilterSlider slider) const override;
    void setFilterSliderValue(FilterSlider slider, float value) override;
    void sendFilterSliderAction(FilterSlider slider) override;

    // ---- Track list: duplicate, replace, remove and put back, close -------------------
    struct TrackListState {
        QPointer<QWidget> notesPanel;                   // a track's notes, when shown
        QPointer<QWidget> audioUnitPanel;               // the plug-in views
        QPointer<QWidget> compositionWindow;            // a track's video
        std::weak_ptr<MusicFilter> currentVideoInCompositionWindow;
        QList<QUrl> currentProjectTracks;               // kept by project loading
    } trackList;
    // Every index below is checked: a command given an index outside the
    // list does nothing.
    void removeAudioFileAtIndex(quint64 index);
    void addAudioFile(const TrackUndoRecord& record);
    void removeAudioFile(const TrackUndoRecord& record);
    void removeAudioFileFromComposition(const TrackUndoRecord& record);
    void resetCompositionDurationWithOldTime(const CompositionDurationUndoRecord& record);
    // A copy of a track (or of a clipboard record) appended last and selected.
    // False, with nothing changed, when the source is missing or its length
    // is not known yet.
    bool duplicateAudioFileAtIndex(quint64 index, const TrackRecord* record,
                                   bool postUpdateNotification, bool usePlayerAsset);
    // A new source file for a track that keeps its settings. The file is
    // opened here and read whole on workers before anything changes (the
    // track counts in imports.tracksReading meanwhile); false, with the track
    // as it was and the reason in `error`, when it cannot be opened. A file
    // whose sound turns out unreadable leaves the track as it was and says why.
    bool replaceAudioFileInComposition(const QUrl& url, quint64 index, QString* error = nullptr);
    // The read file put in place of the track's (on the main thread).
    void takeReplacementFile(MusicFilter& filter, const QUrl& url, std::shared_ptr<Asset> asset,
                             const DecodedSource& decoded, QVector<float> values, QImage picture);
    void removeAllTracks();
    void addAllTracks(const AllTracksUndoRecord& record);
    // `fromUser`: the command was given by the user (asks before closing a project).
    void closeCompositionFrom(bool fromUser);
    // The menu commands on the selected track.
    void duplicateAudioFileFrom();
    void removeAudioFileFrom();
    // The sample-rate label's text.
    static QString sampleRateText(double rate);
    // "used length / file length".
    static QString trackTimeText(double used, double whole);

    // ---- Composition duration ----------------------------------------------------------
    void updateCompositionDurationFrom(NumberTextField* field);
    void updateCompositionDuration();  // from the two fields
    void updateCompositionDuration(const CompositionDurationChangeUndoRecord& record);
    void updateAllTracksForNewCompositionDuration();
    void resizeTimeline(bool withTracks = true);
    void showCompositionDurationInFields(double seconds);

    // The undo manager of the plug-in panel (its unit parameter, class
    // information and preset changes), apart from the main window's.
    UndoManager* audioUnitPanelUndoManager() override;
    // The generic unit views of the widget library.
    UnitViewFactory* unitViewFactory() override;

    // ---- Built-in unit panels (automation/UnitPanels.cpp) ----------------------------------
    // The unit panel and the popover of the unit switches, made on first use.
    AudioUnitPanel* audioUnitPanel();
    AudioUnitsPopover* audioUnitsPopover();
    void showAudioUnitView(QWidget* view, const QString& name) override;
    void trackUnitsWillBeFreed(MusicFilter* filter) override;
    // The fourteen show actions, by unit type.
    void showNBandEQViewFrom();
    void show31BandEQViewFrom();
    void showAUFilterFrom();
    void showDynamicProcessorFrom();
    void showMultibandFrom();
    void showDistortionViewFrom();
    void showDelayFrom();
    void showLowPassViewFrom();
    void showHighPassViewFrom();
    void showBandPassViewFrom();
    void showPeakLimiterFrom();
    void showPitchFilterFrom();
    void showMatrixRFilterFrom();
    void showNewFilter0From();
    void showBuiltInUnitViewFrom(uint64_t type);
    // The eleven switch actions: the unit plays while the sender is on.
    void nBandEQCheckFrom(QAbstractButton* sender);
    void graphicEQCheckFrom(QAbstractButton* sender);
    void auFilterCheckFrom(QAbstractButton* sender);
    void dynamicProcessorCheckFrom(QAbstractButton* sender);
    void multibandCompressorCheckFrom(QAbstractButton* sender);
    void distortionCheckFrom(QAbstractButton* sender);
    void delayCheckFrom(QAbstractButton* sender);
    void peakLimiterCheckFrom(QAbstractButton* sender);
    void pitchFilterCheckFrom(QAbstractButton* sender);
    void matrixRFilterCheckFrom(QAbstractButton* sender);
    void newFilter0CheckFrom(QAbstractButton* sender);
    void switchBuiltInUnit(uint64_t type, bool on);
    void resetLowPassFilterFrom();
    void resetHighPassFilterFrom();
    void resetBandPassFilterFrom();
    void showAudioUnitsPopoverFrom();
    // Puts `track`'s plug-in check box at `checkOrigin` in `holder` and its
    // pop-up 3 points right of it at `popUpY`, after every track's pair has
    // left `holder` and `alsoFrom` (the other place that shows them). False,
    // with none placed, when the track has no pair.
    bool placePluginControls(MusicFilter& track, QWidget* holder, QPoint checkOrigin, int popUpY,
                             QWidget* alsoFrom = nullptr);
    // The panel is closing: its track's unit values are read back.
    void windowWillClose(QWidget* window);
    // The panel's history and content go.
    void removePanelContentView();
    // The history Edit > Undo and Redo act on: the panel's while it is the
    // active window, or while it was the window the user last worked in and
    // only the main window's menu bar has been pressed since (a press there
    // makes the main window active); the main window's otherwise.
    UndoManager* activeUndoManager();
    struct UnitPanelState {
        // The track whose unit view the panel shows, from the show until
        // the panel closes.
        std::weak_ptr<MusicFilter> currentFilterInAudioUnitPanel;
        // The track the panel's content view belongs to, until the content
        // goes (it may outlive the close by one turn of the event loop).
        MusicFilter* contentFilter = nullptr;
        QPointer<AudioUnitsPopover> popover;
        QPointer<QWidget> audioUnitsButton;  // the popover's anchor
        bool placed = false;  // the panel has been put over the main window once
        // The last press or key of the user's was in the visible panel.
        bool panelHasTheUser = false;
    } unitPanels;
    // The filter flags of every track follow what the panel shows.
    void updateUnitViewsInPanel();

    // ---- Per-track plug-ins (automation/TrackPlugins.cpp) ----------------------------------
    // The installed plug-ins and the two instruments, from the catalogue
    // scanned at start-up.
    void audioUnitPluginURLsForFilter(MusicFilter* filter);
    static units::AudioUnitBundleRecord dictionaryForMIDISubType(const QString& subtype, const QString& name);
    void createPopUpButtonForFilter(MusicFilter* filter) override;
    // The pop-up's action: the selected item's plug-in, made when needed, in the panel.
    void showAudioUnitForPluginObject(MusicFilter* filter);
    void showAudioUnitForPlugin(units::Unit* unit, MusicFilter* filter, int64_t index) override;
    void completeShowAfterPluginCreationForFilter(MusicFilter* filter, const PluginRecord& record);
    void pluginEnableCheckFrom(QAbstractButton* sender);
    void enablePluginsNameForFilter(MusicFilter* filter) override;
    void completeEnablePluginsNameForFilter(MusicFilter* filter, units::Unit* unit, int64_t index) override;
    // A plug-in's unit has arrived for the record at `index`: the record
    // takes it, enabled, and the unit it held before is disposed of. Returns
    // that earlier record, or nothing when the index no longer fits (the
    // default rule then disposes of the arrived unit).
    std::optional<PluginRecord> takeArrivedPluginUnit(MusicFilter* filter, units::Unit* unit, int64_t index,
                                                      bool enabled);
    // `filter` null: the selected track.
    void createAUSamplerFrom(MusicFilter* filter = nullptr);
    // Item i's title bold while its plug-in is on; the check box follows the selected item.
    void applyItemTitleRule(MusicFilter* filter, int index, const PluginRecord& record);

    // ---- MIDI notes (src/midi/NoteCommands.cpp) ----------------------------------------
    // The controller's side of the tracks' MIDI managers, made on first use.
    MidiNotes* midiNotes();
    // Gives the track the function that makes its MIDI manager when an
    // instrument first enters its chain.
    void installMIDIManagerSetup(MusicFilter* filter);
    // The record toggle of the selected track: one undo step per pass. A
    // button sender follows the record flag.
    void recordMIDIForFilter(QAbstractButton* sender = nullptr);
    // Puts `notes` back into `filter`'s list, registering the way back.
    void undoRedoRemoveNotes(const std::weak_ptr<MusicFilter>& filter, const MidiNoteList& notes);
    // The undo step of a change of the track's notes: puts `before` back.
    void registerNotesUndo(MusicFilter& track, MidiNoteList before);
    // Redraws the track's lane and, with `panelViews` while the notes panel
    // is visible, its piano roll and keyboard.
    void redrawNotes(MusicFilter* track, bool panelViews);
    void copySelectedNotes();
    void pasteNotes();
    void pasteNotesAtCurrentTime();
    QPointer<MidiNotes> midiNotesState;

    // ---- The notes panel (src/midi/NotesPanelCommands.cpp) -------------------------------
    // Opens the panel for the selected track when it plays notes.
    void showNotesViewFrom();
    // The track the panel shows (its piano roll's); none once it is closed.
    MusicFilter* notesPanelTrack() const;
    void updateNotesViewHorizontalSize();
    void updateNotesViewVerticalSize();
    void resetNotesHorizontalSize();
    void resetNotesVerticalSize();
    // The menus of the panel's transpose and velocity buttons; none without selected notes.
    void transposeMenu(QWidget* sender);
    void velocityMenu(QWidget* sender);
    bool pianoCanPlay(const MusicFilter& track) const override;
    void pianoStartPlayingIfPaused() override;
    void pianoSendNote(MusicFilter& track, int note, bool on) override;
    QList<int> pianoSelectedNotes(const MusicFilter& track) const override;
    bool notesTrackHasMidiManager(const MusicFilter& track) const override;
    double notesPlayerSeconds() const override { return currentTime(); }
    double notesHorizontalZoom() const override;

    // ---- Note editing commands (src/midi/NoteEditingCommands.cpp) -------------------------
    // Each acts on the selected track's notes when it has a MIDI manager and
    // registers one undo step; the steppers' clicks in a row make one step.
    void transposeStepperSelectedNotes(int semitones);
    void velocityStepperSelectedNotes(int change);
    void transposeSelectedNotes(int octaves);
    void removeSelectedNotes();
    void copyNotesInSelection();
    void removeNotesInSelection();
    // The end of a stepper burst: its one undo step.
    void updateMidiArrayForStepper();
    struct NoteEditingState {
        bool stepperIsFirstCall = false;
        std::optional<MidiNoteList> tempStepperMidiArray;
        std::weak_ptr<MusicFilter> stepperTrack;
        QPointer<QTimer> stepperCommit;
    } noteEditing;

    // ---- The notes panel's mouse editing and hooks (src/midi/NotesViewEditing.cpp) --------
    bool notesItemIsReady() const override { return itemIsReady(); }
    void notesSetRulerAlpha(double alpha) override;
    void notesChanged(MusicFilter& track) override;
    void notesSelectionChanged(MusicFilter& track) override;
    void notesRegisterUndo(MusicFilter& track, const MidiNoteList& before) override;
    void notesPlayheadDown(double seconds) override;
    void notesPlayheadDragged(double seconds) override;
    void notesPlayheadUp(double seconds) override;
    // The keyboard stays level with the rows as the piano roll scrolls.
    void notesScrollViewDidChangeBounds();
    // The panel's views and buttons as the controller starts.
    void setupNotesViews();
    // The panel's play/pause button follows the player; redrawn while it shows.
    void updateNotesPlayPauseButton();
    // Redraws the piano roll (and, `keyboard`, the keyboard) while the panel shows.
    void redrawNotesPanel(bool keyboard);
    // When the panel shows `track`: its Record, Select and Adjust buttons show
    // the track's record flag and its lane's note modes.
    void updateNotesPanelToggles(const MusicFilter* track);

    // ---- A track's lane --------------------
    static AudioDrawingView* trackLaneOf(const MusicFilter* filter);

    // ---- What the lanes' gestures call (app/LaneOwner.cpp) ------------------------------
    void laneSetRulerAlpha(double alpha) override;
    void laneSetDoNotUpdateNeedsDisplay(bool value) override { library.doNotUpdateNeedsDisplay = value; }
    bool laneTrackHasMidiManager(const MusicFilter& track) const override { return notesTrackHasMidiManager(track); }

    // ---- Lane selection, note selection and range selection
    // (app/LaneSelection.cpp)
    void laneSelectTrack(quint64 index) override;
    SnapTargets laneSnapTargets() const override;
    double laneZoomValue() const override;

    // ---- Key-point editing (automation/KeyPointEditing.cpp) -------------------------------
    // What a lane's key-point gestures do to the working curves: every change
    // is published at once, so that playback follows the point the mouse
    // moves and the render never reads a curve while it changes.
    QStringList laneCurveKeys(quint64 curve) const override;
    const TrackCurves* laneWorkingCurves(const MusicFilter& track) const override;
    quint64 laneSetWorkingKeyPoint(MusicFilter& track, const QString& key, quint64 index,
                                   const KeyPoint& point) override;
    bool laneRemoveWorkingKeyPoints(MusicFilter& track, const QList<KeyPointHitRecord>& points) override;
    void laneCommitKeyPoints() override;
    void laneFollowWorkingCurves(MusicFilter& track, bool working) override;
    void laneSetMovingKeyPoint(const std::optional<HighlightedKeyPointRecord>& point, const QString& key) override;
    void laneEvaluateCurves(bool working, std::optional<double> seconds) override;
    // Undo and redo of a gesture's commit: both stores as `store` has them.
    void undoRedoMouseRecordedParameters(const RecordedParameters& store);

    // ---- Track moves, dragged selections and trims (app/TrackMoves.cpp)
    bool areaDoNotUpdateNeedsDisplay() const override { return library.doNotUpdateNeedsDisplay; }
    double areaCompositionSeconds() const override { return shell.compositionDuration.seconds(); }
    double areaZoomValue() const override { return shell.zoomValue; }
    double areaPlayerItemSeconds() const override;
    std::vector<double> areaMarkerTimes() const override;
    void areaSetContinueTimeObserver(bool on) override { shell.continueTimeObserver = on; }
    void areaShowPosition(const MediaTime& time) override;
    void areaSetLinePercent(double percent) override;
    void areaSetAdditionalLine(bool draw, double percent) override;
    void areaUpdateCurrentTime(double seconds) override { updateCurrentTime(seconds); }
    void areaSetSeekTime(double seconds) override { shell.seekTime = seconds; }
    void areaAutoscroll(const QPoint& globalPos) override { rulerAutoscroll(globalPos); }
    void areaSetDragDropSelectionInfo(const std::optional<DragDropSelectionRecord>& info) override {
        editing.dragDropSelectionInfo = info;
    }
    void areaKeepTrackSettings(MusicFilter& track) override;
    void areaUpdateRecordedTimes(MusicFilter& track, double seconds) override {
        updateRecordedTimesForFilter(&track, seconds);
    }
    void areaUpdateAudioTimeLabel(MusicFilter& track) override { updateAudioTimeLabelForFilter(&track); }
    // The track's unit and plug-in settings kept for the units of its next
    // tap (app/PlayerRefresh.cpp).
    void keepUnitParameters(MusicFilter& track);

    // ---- Markers (editing/Markers.cpp): named points in composition time -----------------
    // None of these registers undo. `markersArray` stays sorted by time after
    // an addition; a marker's index there is what remove and rename take.
    MarkerNamePopover* markerNamePopover();
    // Adds an unnamed marker at `seconds` and opens the name popover for it.
    void addMarkerForTime(double seconds);
    void addPlayerTimeMarkerFrom();
    void addStartTimeMarkerFrom(quint64 trackIndex);
    void addEndTimeMarkerFrom(quint64 trackIndex);
    void removeMarker(quint64 index);
    void renameMarker(quint64 index);
    // Stores the name typed in the popover for the marker being named.
    void updateMarkerNameFrom();
    // Seeks to a marker that lies within the composition.
    void goToMarkerTime(double seconds);
    void goToTrackStartTimeFrom();
    void goToTrackEndTimeFrom();

    // ---- Typed trims and placement (editing/TrackTrims.cpp, CompositionTrims.cpp,
    //      MarkerTrims.cpp) ----------------------------------------------------------------
    // The time popover's eight fields edit the selected track: its trim (the
    // part of its source it plays) and its place in the composition, each
    // edge as minutes and seconds, on Return or Tab. Every change that moves
    // something is one undo step; refused entries and a missing selected
    // track change nothing.
    // The time popover with its fields set up and wired (made at start-up).
    TimePopover* timePopover();
    void setupTimePopover();
    // All nine fields of the popover from the track's present trim and place.
    void updateTimePopoverForFilter(MusicFilter* track);
    // The trim fields' action: an entry that does not read as a number puts
    // the field's present value back; any other goes to trimTime.
    void trimTimeFrom(NumberTextField* sender);
    void trimTime(NumberTextField* sender);
    void trimTime(const TrackTrimUndoRecord& record);  // undo and redo
    // Moves edge `type` (0 start, 1 end) of the track's region to the
    // fraction `start` or `end` of its source.
    void updateTrim(MusicFilter* track, quint64 type, double start, double end);
    // The same three for the track's place in the composition; the fractions
    // are of the composition.
    void compositionTrimTimeFrom(NumberTextField* sender);
    void compositionTrimTime(NumberTextField* sender);
    void compositionTrimTime(const CompositionTrimUndoRecord& record);
    void updateCompositionTrim(MusicFilter* track, quint64 type, double start, double end);
    // The selected track trimmed or placed at a marker's time, or placed
    // beside another track's start or end (`seconds` in composition time).
    void updateTrimStartToMarkerTime(double seconds);
    void updateTrimEndToMarkerTime(double seconds);
    void updateCompositionStartToMarkerTime(double seconds);
    void updateCompositionEndToMarkerTime(double seconds);
    void updateCompositionStartToTrackEndTime(double seconds);
    void updateCompositionEndToTrackStartTime(double seconds);
    void updateCompositionStartToTrackStartTime(double seconds);
    void updateCompositionEndToTrackEndTime(double seconds);
    // The marker name field's look (app/TextFields.cpp).
    void markerNameTextFieldSetup();

    // ---- Dropping a dragged selection (editing/SelectionDrop.cpp) -------------------------
    // Carries out a drop the track area stored, once the seek it started has completed.
    void insertTrackFromDragAndDropWithInfo(const DragDropSelectionRecord& info);

    // ---- What the ruler layer reads ---------------------------------------------------
    double rulerCompositionSeconds() const override;
    bool rulerPlayerItemIsReady() const override;
    bool rulerIsPlaying() const override;
    double rulerPositionSliderSeconds() const override;
    double rulerPlayerCurrentSeconds() const override;
    QRect rulerVisibleRect() const override;
    double rulerTimelineWidth() const override;
    int rulerTrackCount() const override;
    const std::vector<MarkerRecord>& rulerMarkers() const override;

    // ---- What the ruler layer's gestures call (app/RulerInteraction.cpp) ---------------
    AudioDrawingView* rulerLaneAt(int index) const override;
    void rulerSeek(double seconds, std::function<void(bool finished)> completion) override;
    void rulerUpdateCurrentTime(double seconds) override { updateCurrentTime(seconds); }
    void rulerSetContinueTimeObserver(bool on) override { shell.continueTimeObserver = on; }
    void rulerShowPosition(double seconds) override;
    void rulerVerifyRecordedInputValues(double seconds) override;
    void rulerAutoscroll(const QPoint& globalPos) override;
    bool rulerIsBusy() const override { return shell.audioControllerIsWorking; }
    quint64 rulerSelectedTrack() const override { return currentSelectedAudio.load(); }
    void rulerSelectTrack(quint64 index) override;
    FloatSlider* rulerZoomSlider() const override { return ui.zoomSlider; }
    double rulerZoomValue() const override { return shell.zoomValue; }
    void rulerUpdateZoomValue(bool pinchEnded) override;
    void rulerAddAudioFile(const QUrl& url) override { addAudioFileToComposition(url); }
    void rulerLoadProject(const QUrl& url) override { loadTrackToCompositionForProject(url); }

    // ---- Timeline zoom (app/Zoom.cpp) ------------------------------------------------
    // What the zoom's undo step returns to.
    struct ZoomUndoRecord {
        double audioViewSize = 1.0;
    };
    // Who changed the zoom: the zoom slider (also during a pinch), the ruler
    // layer at the end of a pinch, or an undo or redo.
    using ZoomSender = std::variant<FloatSlider*, LineView*, ZoomUndoRecord>;
    // Where the slider's mouse is: its press and release bracket a drag,
    // which becomes one undo step; a click or a key moves it in one event.
    enum class ZoomMouse { None, Down, Up, Click };
    void updateZoomValueFrom(const ZoomSender& sender, ZoomMouse mouse = ZoomMouse::None);
    void resetZoomValueFrom();
    void registerZoomUndo(double zoom);
    // Connects the zoom slider's press, moves and release.
    void connectZoomSlider();

    // ---- Panels and video windows (app/VideoWindows.cpp) --------------------------------
    struct VideoWindowState {
        QPointer<PlayerView> playerView;  // in the composition window
        // The player layer: while it has the player, the picture of the
        // player's item is decoded for the current time and shown in
        // `playerView`; playback never waits for it.
        bool playerLayerHasPlayer = false;
        std::shared_ptr<VideoFrames> playerLayerFrames;
        QPointer<QTimer> playerLayerTimer;
    } videoWindows;
    // "<title> - HH:mm:ss" with the composition's length, the title being
    // the export title, else the project's name, else "Untitled Composition".
    QString compositionWindowTitle() const;
    QWidget* compositionWindow();
    // The window showing the picture of the track at `index` with the whole
    // mix; an index outside the track list is ignored.
    void showCompositionWindow(quint64 index);
    // A new player item holding the track's picture beside the mix.
    void updatePlayerWithVideoTrack(quint64 index);
    void resetPlayerLayer();
    void showEditorWindowFrom();
    // Right-clicks on a lane, or on the ruler over its region, open its menu.
    void installLaneContextMenu(AudioDrawingView* lane);

    // ---- The lane's commands and context menu (app/LaneCommands.cpp, app/SoloMute.cpp,
    //      app/EffectSettings.cpp, app/LaneMenu.cpp) -----------------------------------
    // Each command acts on the track of the lane at `index` (checked).
    struct LaneCommandState {
        QPointer<QColorDialog> colorPanel;           // shared by the lanes, non-modal
        std::weak_ptr<MusicFilter> colorPanelTrack;  // the track it colours
        QPointer<TimePopover> timePopover;           // made on first use
    } laneCommands;
    // The selected track's times in the time popover, shown below the
    // position slider; nothing while it is open.
    void editAudioTimeFrom(quint64 index);
    void changeTrackColorFrom(quint64 index);
    void changeTrackColorForFilter(MusicFilter* track, const QColor& color);
    void duplicateLaneTrackFrom(quint64 index);
    void duplicateWithCurrentSettingsAudioFileFrom(quint64 index);
    void removeLaneTrackFrom(quint64 index);
    // Solo: every other track of the mix silent at its tap, this one audible.
    void soloTrackFrom(quint64 index);
    void muteTrackFrom(quint64 index);
    void unmuteTrackFrom(quint64 index);
    // The whole automation store replaced by `store`, with undo.
    void resetAudioMixCurve(const RecordedParameters& store);
    // Whether the track's tap is silenced by a solo of another track.
    static bool trackIsSoloSilenced(const MusicFilter& track);
    // Resets and apply-to-all; with a record, the restore of an undo or redo.
    void resetFilterParametersForAudioFileFrom(quint64 index);
    void resetFilterParametersForAudioFileFrom(const EffectResetUndoRecord& record);
    void resetEQParametersForAudioFileFrom(quint64 index);
    void applyFiltersToAllAudioFilesFrom(quint64 index);
    void applyFiltersToAllAudioFilesFrom(const ApplyToAllUndoRecord& record);
    // "Item Menu" of the lane at `index`, built from the present state, for
    // a right-click at `x` in the track area's coordinates. Selects the track
    // first. Null for no track.
    std::unique_ptr<QMenu> laneMenuForIndex(quint64 index, double x);
    void popUpLaneMenu(quint64 index, const QPoint& globalPos);
    // The equaliser strip's owner, and its redraws while playing (app/EqualiserAndDrops.cpp).
    void setupEqualiserView();
    // Media files dropped on the track area become tracks.
    void setupTrackAreaDrops();

    // ---- Silent tracks (app/SilentTracks.cpp) -------------------------------------------
    struct SilentTrackState {
        QPointer<EmptyTrackPopover> showEmptyTrackPopover;
        // The length accepted at the last request, applied when its track's
        // player item is ready.
        double requestedDuration = 60.0;
    } silentTracks;
    EmptyTrackPopover* emptyTrackPopover();
    NumberTextField* emptyTrackDurationTextField();
    void showEmptyTrackPopoverFrom();
    void addEmptyTrackFrom();
    // Brings the last track, when it is a silent one, to the requested length.
    void addRemoveDurationToEmptyTrack();

    // ---- Time ranges inside a track (src/editing/) ---------------------------------------
    // Every edit acts on the selected track, one undo step each, and appends
    // a new audio version and picture; a command that finds no selected
    // track, or refuses, changes nothing and says nothing. The bool results
    // say whether the track was edited.
    // The selected track's lane selection to the clipboard.
    void copyCurrentSelectionFrom();
    void cutCurrentSelectionFrom();
    // The clipboard's selection inserted at `insertionTime` on the timeline
    // (the timeline cursor's time without one); a selection of another audio
    // format becomes a new track instead.
    bool pasteSelectionInFilterFrom(std::optional<double> insertionTime = std::nullopt);
    // The same at `speed` (the copied stretch plays that many times as fast).
    bool pasteSelectionInFilterSpeedFrom(double speed, std::optional<double> insertionTime);
    // "Speed of the selection": the speed of item `index` of the submenu
    // ("0.25x" ... "2.0x"), one undo step.
    void pasteSelectionWithSpeed(quint64 index);
    static double speedOfSelectionItem(quint64 index);
    // The lane's selection removed (a selection over the whole region is only
    // cleared). The removal itself: `timeDifference` seconds of the track's
    // audio from `timeOfInsertion` seconds from the lane's left edge.
    bool menuRemoveSelection(QObject* sender, bool updateAudioPlayer);
    void menuRemoveSelectionWithUpdateAudioPlayer() { menuRemoveSelection(nullptr, true); }
    bool rearrangeRemoveAudioFileInCompositionWithTimeDifference(double timeDifference, double timeOfInsertion,
                                                                 quint64 selectionType, bool updateAudioPlayer);
    // Silence of `duration` seconds of the track's audio inserted at
    // `insertionTime` on the timeline, and the three commands built on it:
    // "Insert Silence", "Replace with Silence", "Replace with Clipboard".
    bool pasteSelectionEmptyInFilterFrom(QObject* sender, double insertionTime, double duration,
                                         bool updateAudioPlayer);
    void pasteAndAddEmpySelectionInFilterFrom();
    void pasteAndReplaceEmptySelectionInFilterFrom();
    void pasteAndReplaceSelectionInFilterFrom();
    // The selection (of `source`, from the clipboard; else of the selected
    // track, copied first) as a new track at the composition's start.
    bool pasteSelectionAsNewTrackFrom(MusicFilter* source = nullptr);
    void splitCurrentSelectionFrom() { pasteSelectionAsNewTrackFrom(nullptr); }
    // Undo and redo of a range edit.
    void addRemoveTimeRangeToTrack(const TimeRangeUndoRecord& record);
    // The track's timing written into its tap; nothing without a tap.
    void updateContextParamtersForFilter(MusicFilter* track);
    TrackTapContext* getContextForFilter(MusicFilter* track) const;
    // "used / whole" under the track's thumbnail.
    void updateAudioTimeLabelForFilter(MusicFilter* track);

    // ---- The track menu and its commands (editing/TrackMenu.cpp, editing/TrackMenuCommands.cpp) ----
    // The track menu gathers every command that applies to one track in its
    // present state; it is built afresh each time it is about to show and
    // hangs in the menu bar's "Mix" menu, over the track-menu button and in
    // the lane's context menu. Main thread only.
    struct TrackMenuState {
        // The key-point and selection-parameter items and submenus made since
        // the last reset: compared by address to find what the pointer rests
        // on, never followed. None until a menu made one.
        std::optional<std::vector<QPointer<QObject>>> tempKeyPointsArray, tempParametersArray;
        QPointer<QAction> mixMenu;            // the menu bar's "Mix" item
        QPointer<QMenu> recorderOptionsMenu;  // the track menu popped up over a control, while shown
        QPointer<QWidget> showInfoPopover;    // the lane's gestures, made on first use
    } trackMenu;
    // Before a track menu shows: nothing highlighted, no items remembered.
    void resetTrackMenuHighlights();
    // "Item Menu" of the track at `index`; null for an index outside the list.
    std::unique_ptr<QMenu> trackMenuForIndex(quint64 index);
    // Hangs `menu` in `parent` under an item titled `title` (before `before`,
    // else last); `parent` owns it from then on. Null for no menu.
    static QAction* addTrackMenu(QMenu* parent, std::unique_ptr<QMenu> menu, const QString& title,
                                 QAction* before = nullptr);
    // Adds to `menu` the submenu `title` of the key points of the track's
    // curve `key` that the menu lists, when there is at least one.
    void addSubmenuForMenu(QMenu* menu, MusicFilter* track, const QString& key, const QString& title);
    // The pointer rests on `item` of `menu` (the "Mix" menu, a key-point or a
    // selection-parameter submenu), and one of those has closed.
    void menuWillHighlightItem(QMenu* menu, QAction* item);
    void menuDidClose(QMenu* menu);
    // Rebuilds the "Mix" menu when `parent`, the menu holding its item, opens.
    void mixMenuDidBeginTracking(QMenu* parent);
    // Pops the selected track's menu up over `sender`.
    void showRecorderOptionsMenu(QWidget* sender);
    // The selected track's editing mode: time selection (0) or trim and arrange (1).
    void menuSelectComposition();
    void menuTrimComposition();
    void changeModeSelectionTrimFrom();
    // The track's pasted-range marks hidden, with undo; the undo and redo put
    // the record's marks back, registering the way back.
    void removeSelectionPastesFrom(MusicFilter* track);
    void addRemoveSenderPastes(const struct PastedRangesUndoRecord& record);
    // The plug-in chosen in the track's pop-up and its view shown once the
    // menu has closed; switching it on or off as the menu's record says.
    void selectPluginFromMenu(MusicFilter* track, const QString& name);
    void enableDisablePluginForInfo(MusicFilter* track, const PluginRecord& record);
    // The note modes of a lane: a button acts on the selected track and shows
    // the new mode; a menu item names its track.
    using NoteModeSender = std::variant<QAbstractButton*, MusicFilter*>;
    void selectNotesFrom(const NoteModeSender& sender);
    void adjustNotesFrom(const NoteModeSender& sender);
    void showInfoPopoverFrom(QWidget* sender);
    // The equaliser's live spectrum on while the check box is.
    void showEQWaveformFrom(QAbstractButton* sender);

    // ---- Whole-track clipboard, cut, split and invert trim (src/editing/WholeTrackCommands.cpp,
    //      TrackPaste.cpp, PasteCommand.cpp) --------------------------------------------------
    // Each command acts on the selected track and does nothing while the
    // controller is busy or no track is selected; none registers undo of its
    // own (a track added for the part after a region has its removal as undo).
    // Copy and cut hand a lane's time selection in selection mode over to the
    // selection commands.
    void copyAudioFileFrom();
    // Puts the track on the clipboard, then leaves it playing the parts of
    // its source outside its region: the part before in place, and the part
    // after as a new track moved left to meet it.
    void cutAudioFileFrom();
    void duplicateAudioFileWithCurrentSettingsFrom();
    // Split at the lane's time selection, or: copy and paste the whole track
    // and turn the copy's trim over once the new player item is ready.
    void splitAudioFileFrom();
    // The clipboard gets the track; the track turns into the parts of its
    // source outside its region, in place (the part after as a new track
    // when both can play).
    void invertSelection();
    // A new last, selected track from the record, placed by its geometry
    // at today's zoom and length; false when no track was added.
    bool pasteFromDictionary(const TrackPasteboardRecord& record);
    // The clipboard record of the track as it stands now.
    TrackPasteboardRecord trackPasteboardRecordOf(const TrackRecord& record) const;
    // The ready player's part of a whole-track split: the invert, 0.2 s later,
    // of the pasted copy while it is still the selected track.
    void scheduleSplitInvert();

signals:
    // The playing state changed ("playerStateChanged").
    void playerStateChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void playerCurrentItemChanged();
    QMetaObject::Connection itemStatusConnection_;
    QMetaObject::Connection itemEndConnection_;
    // The track area's widgets whose resizes and moves lay out the play line.
    QPointer<QWidget> watchedViewport_, watchedTrackArea_;
    MediaTime timeFromSeconds(double seconds) const;
    bool itemIsReady() const;
    std::vector<QPointer<QWidget>> enabledBindings_;
    std::unique_ptr<UndoManager> undoManager_;
    std::unique_ptr<UndoManager> audioUnitPanelUndoManager_;
    QTimer* curveTimer_ = nullptr;
};

// The track-list commands in the main window's menus, the duration fields' actions.
void installTrackListCommands(AudioController* controller);
// The export commands, the metadata popover and the preview in the menus.
void installExportCommands(AudioController* controller);
// The unit panel's commands: the "Units" menu and the "Audio Units" button.
void installUnitPanelCommands(AudioController* controller);
// The time-selection commands in the Edit and Track menus.
void installSelectionEditCommands(AudioController* controller);
// Load, Save and Save As of project folders in the File menu.
void installProjectCommands(AudioController* controller);
// The menu bar's "Mix" menu and the track-menu controls beside the track area.
void installTrackMenuCommands(AudioController* controller);
// The presets window and its item in the Window menu.
void installPresetCommands(AudioController* controller);
