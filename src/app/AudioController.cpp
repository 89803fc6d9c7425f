// The controller's construction, start-up and end.
#include "app/AudioController.h"

#include "export/ExportSession.h"
#include "platform/core/UndoManager.h"
#include "platform/media/AudioRecorder.h"
#include "platform/media/CaptureSession.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/NumberTextField.h"
#include "views/SmallViews.h"
#include "views/StyledControls.h"
#include "views/NotesPanel.h"

#include <QEvent>
#include <QFileDialog>
#include <QTimer>
#include <QScrollBar>

AudioController::AudioController(std::unique_ptr<Player> player)
    : audioPlayer(std::move(player)),
      currentComposition(std::make_shared<Composition>()),
      currentAudioMix(std::make_shared<AudioMix>()),
      undoManager_(std::make_unique<UndoManager>()) {
    // Start values: nothing playing, nothing selected, no seek pending, the
    // controls disabled until the first player item is ready.
    shell = ShellState{};
    if (audioPlayer) {
        // A new item and a new status of the item reach the same observer.
        connect(audioPlayer.get(), &Player::currentItemChanged, this,
                &AudioController::playerCurrentItemChanged);
        connect(audioPlayer.get(), &Player::rateChanged, this, &AudioController::observePlayerRate);
    }
}

void AudioController::playerCurrentItemChanged() {
    disconnect(itemStatusConnection_);
    disconnect(itemEndConnection_);
    PlayerItem* item = audioPlayer ? audioPlayer->currentItem() : nullptr;
    if (item)
        itemStatusConnection_ = connect(item, &PlayerItem::statusChanged, this,
                                        [this](PlayerItem::Status status) {
                                            observePlayerItemStatus(int(status));
                                        });
    observePlayerItemStatus(item ? int(item->status()) : NoPlayerItem);
}

AudioController::~AudioController() {
    // The tracks outlive this body (they go with the members below, after
    // the panel's undo history): a track freeing its units must no longer
    // reach for the panel.
    unitPanels.contentFilter = nullptr;
    // A save is never cut short: its files are written whole first.
    waitForProjectSave();
    stopWatchingTrackArea();
    if (audioPlayer) {
        disconnect(audioPlayer.get(), nullptr, this, nullptr);
        shell.continueTimeObserver = false;
        if (shell.timeObserverToken) audioPlayer->removeTimeObserver(shell.timeObserverToken);
        shell.timeObserverToken = 0;
    }
}

UndoManager* AudioController::undoManager() const { return undoManager_.get(); }

void AudioController::awakeFromNib() {
    // Timeline geometry and flags.
    shell.timelineDuration = 600.0;
    shell.scaleFactor = 2.0;
    shell.zoomValue = 1.0;
    shell.mouseEventStartingZoom = 1.0;
    notifyAudioMetering = true;
    editing.needsUpdateSplitSelection = false;

    // The track area is as wide as the timeline and holds no row yet.
    if (ui.audioView) {
        ui.audioView->setUndoManager(undoManager_.get());
        ui.audioView->setFrameWidth(shell.timelineDuration * shell.scaleFactor * shell.zoomValue, 0);
    }
    if (ui.musicLeftView) ui.musicLeftView->resize(ui.musicLeftView->width(), 0);

    // Transport buttons.
    for (auto* button : {ui.playPauseButton, miniPlayer.playerPlayPauseButton}) {
        if (!button) continue;
        button->isPause = true;
        button->isPlay = false;
        button->update();
    }
    for (auto* button : {ui.fastForwardButton, miniPlayer.playerFastForwardButton}) {
        if (!button) continue;
        button->isFastForward = true;
        button->update();
    }
    for (auto* button : {ui.rewindButton, miniPlayer.playerRewindButton}) {
        if (!button) continue;
        button->isRewind = true;
        button->update();
    }
    connect(this, &AudioController::playerStateChanged, this,
            &AudioController::eventHandlerPlayerState, Qt::UniqueConnection);

    if (audioPlayer) audioPlayer->setVolume(float(shell.playerVolume));
    for (auto* slider : {ui.sliderPlayerVolume, miniPlayer.miniPlayerVolume})
        if (slider) slider->setFloatValue(shell.playerVolume);

    setupDefaultValues();
    applyDefaultValuesToControls();

    // Each effect field follows its slider; these nine start at "0".
    const auto controls = ui.effectControls();
    for (const auto& [slider, field] : controls) textFieldSetup(field, slider);
    for (auto* field : {ui.textFieldChannelMix, ui.textFieldReverb, ui.textFieldAmbience,
                        ui.textFieldLowShelfGain, ui.textFieldFadeIn, ui.textFieldFadeOut,
                        ui.textFieldLowPassResonance, ui.textFieldHighPassCutoff,
                        ui.textFieldHighPassResonance})
        if (field && field->formatter()) field->setText(field->formatter()->stringFromNumber(0));

    // The composition-length fields: ten minutes.
    textFieldSetup(ui.textFieldDurationMinutes);
    textFieldSetup(ui.textFieldDurationSeconds);
    textFieldSetup(preferences.textFieldPreferencesDurationMinutes);
    textFieldSetup(preferences.textFieldPreferencesDurationSeconds);
    if (ui.textFieldDurationMinutes) ui.textFieldDurationMinutes->setFloatValue(10);
    if (ui.textFieldDurationSeconds) ui.textFieldDurationSeconds->setFloatValue(0);
    if (preferences.textFieldPreferencesDurationMinutes)
        preferences.textFieldPreferencesDurationMinutes->setFloatValue(10);
    if (preferences.textFieldPreferencesDurationSeconds)
        preferences.textFieldPreferencesDurationSeconds->setFloatValue(0);

    // The time popover, with its trim and placement fields (no start text).
    setupTimePopover();

    // Controls that stay disabled until the first player item is ready.
    bindEnabledObject(ui.sliderPlayerVolume);
    bindEnabledObject(miniPlayer.miniPlayerVolume);
    bindEnabledObject(ui.zoomSlider);
    for (const auto& [slider, field] : controls) bindEnabledObject(slider);
    bindEnabledObject(ui.audioSlider);
    bindEnabledObject(miniPlayer.playerAudioSlider);

    if (ui.animateEQViewButton) {
        ui.animateEQViewButton->setButtonState(1);
        ui.animateEQViewButton->update();
    }

    // Recording: the record button, its popovers and the recorder's menu items.
    installRecordingActions();

    // The clock: every half second while playing, and whenever the time jumps.
    shell.continueTimeObserver = true;
    if (audioPlayer) {
        QPointer<AudioController> self(this);
        shell.timeObserverToken = audioPlayer->addPeriodicTimeObserver(
            MediaTime(1, 2), [self](MediaTime time) {
                if (self) self->playheadTimeObserverBlock(time);
            });
    }

    // Scrolling the track area moves the thumbnail column and the ruler.
    if (ui.audioScrollView) {
        connect(ui.audioScrollView->verticalScrollBar(), &QScrollBar::valueChanged, this,
                &AudioController::audioScrollViewDidChangeBounds);
        connect(ui.audioScrollView->horizontalScrollBar(), &QScrollBar::valueChanged, this,
                &AudioController::audioScrollViewDidChangeBounds);
        connect(ui.audioScrollView->horizontalScrollBar(), &QScrollBar::sliderReleased, this,
                &AudioController::audioScrollViewDidEndLiveScroll);
        connect(ui.audioScrollView->verticalScrollBar(), &QScrollBar::sliderReleased, this,
                &AudioController::audioScrollViewDidEndLiveScroll);
    }

    setupLibraryViewHidden();
    setupLibraryList();
    setupLineView();

    // Model containers and flags.
    automation.needsToUpdateValueImmediately = false;
    // The automation containers start empty.
    automation.recordedParameters.clear();
    automation.tempRecorderParameters.clear();
    recording.recordingDevices.clear();
    if (ui.notesPanel) trackList.notesPanel = ui.notesPanel;
    editing.markersArray.clear();
    editing.currentSelectedMarker = kNoIndex;
    markerNameTextFieldSetup();
    setPauseUpdateRecordedParameters({});
    if (ui.animateLibraryButton) {
        ui.animateLibraryButton->setButtonState(0);
        ui.animateLibraryButton->update();
    }
    editing.playAfterDragDropSelection = false;
    library.doNotUpdateNeedsDisplay = false;
    library.doNotUpdatePlayerSettings = false;
    endLoadingTapsFromProject();
    library.projectChangeCount = 0;
    library.projectURL = QUrl();
    automation.tempIndexOfSelectedParameter = kNoIndex;
    showEQFFT = true;
    automation.hasToShowNotesView = false;
    // The notes panel's views and buttons, and its keyboard following its scroll.
    setupNotesViews();
    // The equaliser strip reads the band sliders, the selected track and the spectrum.
    setupEqualiserView();
    setupTrackAreaDrops();

    // The edited mark follows the main window's undo manager.
    connect(undoManager_.get(), &UndoManager::didOpenUndoGroup, this,
            &AudioController::changeCountForOpenUndoGroup, Qt::UniqueConnection);
    connect(undoManager_.get(), &UndoManager::didUndoChange, this,
            &AudioController::changeCountForUndo, Qt::UniqueConnection);
    connect(undoManager_.get(), &UndoManager::didRedoChange, this,
            &AudioController::changeCountForRedo, Qt::UniqueConnection);
}

void AudioController::playheadTimeObserverBlock(const MediaTime& time) {
    if (!shell.continueTimeObserver) return;
    const double seconds = time.seconds();
    for (auto* slider : {ui.audioSlider, miniPlayer.playerAudioSlider})
        if (slider) slider->setFloatValue(float(seconds));
    updateLabelsTimeWithCurrentTime(time);
    const double length = shell.compositionDuration.seconds();
    // A composition of length 0 keeps the playhead at its start.
    if (ui.lineView) ui.lineView->globalLinePercent = length > 0 ? seconds / length : 0.0;
    QPointer<AudioController> self(this);
    QMetaObject::invokeMethod(
        this, [self] { if (self) self->timelineRedrawBlock(); }, Qt::QueuedConnection);
}

void AudioController::timelineRedrawBlock() {
    if (ui.lineView) ui.lineView->update();
    // The keyboard's lit keys follow the notes the playhead passes.
    redrawNotesPanel(true);
}

bool AudioController::eventFilter(QObject* watched, QEvent* event) {
    if (watched && watched == watchedViewport_ &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        layoutLineViewContainer();
        // The window's own resize comes before its layout: the ruler's times
        // follow the visible part once it has its new size.
        setupLabelsWithUpdate(true);
    }
    if (watched && watched == watchedTrackArea_ && event->type() == QEvent::Resize)
        layoutLineViewContainer();
    return QObject::eventFilter(watched, event);
}
