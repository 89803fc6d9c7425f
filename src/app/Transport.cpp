// Player state and transport: item status and rate, play, pause, fast
// forward, rewind, seeks, volume and the end of the item.
#include "app/Alerts.h"
#include "app/AudioController.h"
#include "engine/MusicFilter.h"

#include "platform/core/MainQueue.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/MusicView.h"
#include "views/StyledControls.h"

#include <algorithm>
#include <cmath>

MediaTime AudioController::timeFromSeconds(double seconds) const {
    return MediaTime::fromSeconds(seconds, int32_t(shell.playerSampleRate));
}

bool AudioController::itemIsReady() const {
    return audioPlayer && audioPlayer->currentItem() &&
           audioPlayer->currentItem()->status() == PlayerItem::Status::ReadyToPlay;
}

namespace {
MediaTime itemDuration(const Player& player) {
    return player.currentItem() ? player.currentItem()->duration() : MediaTime::zero();
}

// The position slider, the time labels and the playhead at the player's time.
void showPlayerTime(AudioController& c, MediaTime now) {
    const double seconds = now.seconds();
    for (auto* slider : {c.ui.audioSlider, c.miniPlayer.playerAudioSlider})
        if (slider) slider->setFloatValue(float(seconds));
    c.updateLabelsTimeWithCurrentTime(now);
    const double length = c.shell.compositionDuration.seconds();
    if (c.ui.lineView) {
        const double percent = length > 0 ? seconds / length : 0.0;
        c.ui.lineView->linePercent = percent;
        c.ui.lineView->globalLinePercent = percent;
        c.ui.lineView->update();
    }
}
}  // namespace

int AudioController::trackCount() const {
    return ui.audioView ? int(ui.audioView->audioTracks.size()) : 0;
}

void AudioController::lockViews() {
    if (ui.audioView) ui.audioView->setViewAcceptsMouseEvents(false);
    shell.continueTimeObserver = false;
    shell.audioControllerIsWorking = true;
}

void AudioController::unlockViews() {
    if (ui.audioView) ui.audioView->setViewAcceptsMouseEvents(true);
    shell.continueTimeObserver = true;
    shell.audioControllerIsWorking = false;
    if (!shell.viewControlsEnabled) setViewControlsEnabled(true);
}

void AudioController::setViewControlsEnabled(bool enabled) {
    shell.viewControlsEnabled = enabled;
    for (auto& control : enabledBindings_)
        if (control) control->setEnabled(enabled);
}

void AudioController::bindEnabledObject(QWidget* control) {
    if (!control) return;
    enabledBindings_.emplace_back(control);
    control->setEnabled(shell.viewControlsEnabled);
}

void AudioController::observePlayerItemStatus(int status) {
    const bool valid = status != NoPlayerItem;
    if (shell.needsCloseSheetAfterPlayerStatus) {
        // A project's loading sheet stays up until its player item answers.
        shell.needsCloseSheetAfterPlayerStatus = false;
        closeSheet();
    }

    if (trackCount() == 0 || !valid) {
        shell.seekTime = -1.0;
        shell.continueTimeObserver = false;
        shell.audioControllerIsWorking = false;
        // Tracks that all lie past the composition's end play nothing, yet
        // they can still be edited, and a longer composition or an undo
        // brings them back.
        const bool allLeftOut =
            ui.audioView && !ui.audioView->audioTracks.empty() &&
            std::all_of(ui.audioView->audioTracks.begin(), ui.audioView->audioTracks.end(),
                        [](const TrackRecord& r) { return r.audioFilter && r.audioFilter->trackID == -1; });
        if (allLeftOut) ui.audioView->setViewAcceptsMouseEvents(true);
        setViewControlsEnabled(allLeftOut);
        return;
    }
    if (status == int(PlayerItem::Status::Unknown)) {
        lockViews();
        return;
    }
    if (status == int(PlayerItem::Status::ReadyToPlay)) {
        if (shell.seekTime >= 0 && !(shell.compositionDuration == MediaTime::zero())) {
            // The seek asked for while the item was loading, within its length;
            // its completion unlocks.
            double length = itemDuration(*audioPlayer).seconds();
            double target = std::isfinite(length) ? std::min(shell.seekTime, length) : shell.seekTime;
            updateCurrentTime(target);
            shell.seekTime = -1.0;
        } else {
            // (A pending seek into a composition that has lost its length is dropped.)
            shell.seekTime = -1.0;
            // A new item starts at its beginning: the playhead, the sliders
            // and the labels say so.
            showPlayerTime(*this, audioPlayer->currentTime());
            unlockViews();
            scheduleSplitInvert();
        }
        // Every meter starts from silence with the new item.
        QPointer<AudioController> self(this);
        MainQueue::async([self] {
            if (self) self->resetTrackMeters();
        });
        // A silent track asked for takes its length now that it plays.
        if (shell.shouldUpdateEmptyTrackDuration)
            MainQueue::async([self] {
                if (self) self->addRemoveDurationToEmptyTrack();
            });
        shell.shouldUpdateEmptyTrackDuration = false;
        return;
    }
    // The item failed: give the user the controls back (the tracks can still
    // be removed or replaced) and say so, after this notification.
    unlockViews();
    QPointer<AudioController> self(this);
    MainQueue::async([self] {
        if (!self) return;
        runModalAlert(self->ui.window, AlertRequest{QStringLiteral("An error occurred."),
                                                    QString(), {QStringLiteral("OK")}});
    });
}

void AudioController::observePlayerRate(float rate) {
    if (rate == 0.0f && shell.isPlaying) {
        shell.isPlaying = false;
        emit playerStateChanged();
    } else if (rate != 0.0f && !shell.isPlaying) {
        shell.isPlaying = true;
        emit playerStateChanged();
    }
}

void AudioController::eventHandlerPlayerState() {
    AudioMeteringView::setRunning(shell.isPlaying);
    updateCurveFollowing();
    for (auto* button : {ui.playPauseButton, miniPlayer.playerPlayPauseButton}) {
        if (!button) continue;
        button->isPlay = shell.isPlaying;
        button->isPause = !shell.isPlaying;
        button->update();
    }
    // The notes panel's button, redrawn only while the panel shows.
    updateNotesPlayPauseButton();
}

double AudioController::duration() const {
    if (!itemIsReady()) return 0.0;
    return itemDuration(*audioPlayer).seconds();
}

double AudioController::currentTime() const {
    return audioPlayer ? audioPlayer->currentTime().seconds() : 0.0;
}

void AudioController::updateCurrentTime(double seconds) {
    if (!audioPlayer || shell.compositionDuration == MediaTime::zero()) return;
    if (!itemIsReady()) {
        // Performed when the item becomes ready; a later request replaces it.
        shell.seekTime = seconds;
        return;
    }
    lockViews();
    MediaTime target = timeFromSeconds(std::max(0.0, seconds));
    MediaTime length = itemDuration(*audioPlayer);
    target = minTime(target, length);
    QPointer<AudioController> self(this);
    audioPlayer->seekToTime(target, MediaTime::zero(), MediaTime::zero(), [self, seconds](bool finished) {
        // An interrupted seek does nothing: the one that replaced it unlocks.
        if (!self || !finished) return;
        AudioController& c = *self;
        const MediaTime now = c.audioPlayer->currentTime();
        showPlayerTime(c, now);
        c.redrawNotesPanel(true);
        c.unlockViews();
        // The selected track's values and controls as its curves have them there.
        c.verifyRecordedInputValuesForSeekToTime(seconds, c.automation.recordedParameters);
        // Every track's selection parameters as they stand there.
        if (c.ui.audioView)
            for (const TrackRecord& r : c.ui.audioView->audioTracks)
                if (r.audioFilter) c.updateParametersForSelectionAtTime(now, r.audioFilter.get());
        c.scheduleSplitInvert();
        if (c.editing.playAfterDragDropSelection) {
            c.editing.playAfterDragDropSelection = false;
            c.playPauseToggle();
        }
        if (c.editing.dragDropSelectionInfo) {
            const DragDropSelectionRecord drop = *c.editing.dragDropSelectionInfo;
            c.insertTrackFromDragAndDropWithInfo(drop);
        }
        c.editing.dragDropSelectionInfo.reset();
    });
}

void AudioController::updateCurrentTimeFrom(FloatSlider* slider) {
    if (!slider) return;
    if (shell.audioControllerIsWorking || exporting.exportIsRunning) {
        // Busy: the slider goes back to where the player is.
        if (audioPlayer) slider->setFloatValue(float(currentTime()));
        return;
    }
    // A burst of slider events gives one seek.
    QPointer<AudioController> self(this);
    QPointer<FloatSlider> sender(slider);
    MainQueue::instance().performCoalesced(
        this, QStringLiteral("updateCurrentTimeFromSlider"),
        QVariant::fromValue(static_cast<void*>(slider)),
        [self, sender] {
            if (self && sender) self->updateCurrentTimeFromSlider(sender);
        });
    shell.continueTimeObserver = false;
    const double value = slider->floatValue();
    const double length = shell.compositionDuration.seconds();
    if (ui.lineView) {
        double percent = length > 0 ? value / length : 0.0;
        ui.lineView->linePercent = percent;
        ui.lineView->globalLinePercent = percent;
        ui.lineView->update();
    }
    updateLabelsTimeWithCurrentTime(timeFromSeconds(value));
}

void AudioController::updateCurrentTimeFromSlider(FloatSlider* slider) {
    if (slider) updateCurrentTime(slider->floatValue());
}

void AudioController::playPauseToggle() {
    // An export holds the tracks until its sheet closes.
    if (!audioPlayer || trackCount() == 0 || !itemIsReady() || exporting.exportIsRunning) return;
    if (audioPlayer->rate() == 1.0f) {
        audioPlayer->pause();
        return;
    }
    // At the very end, start again from the beginning.
    if (audioPlayer->currentTime() == itemDuration(*audioPlayer)) updateCurrentTime(0.0);
    if (audioPlayer->rate() != 0.0f)
        audioPlayer->pause();  // from fast forward or rewind
    else
        audioPlayer->play();
}

void AudioController::fastForward() {
    // An export holds the tracks until its sheet closes.
    if (!audioPlayer || trackCount() == 0 || !itemIsReady() || exporting.exportIsRunning) return;
    float rate = audioPlayer->rate();
    audioPlayer->setRate(rate < 2.0f ? 2.0f : std::min(rate + 2.0f, 4.0f));
}

void AudioController::rewind() {
    // An export holds the tracks until its sheet closes.
    if (!audioPlayer || trackCount() == 0 || !itemIsReady() || exporting.exportIsRunning) return;
    float rate = audioPlayer->rate();
    audioPlayer->setRate(rate > -2.0f ? -2.0f : std::max(rate - 2.0f, -4.0f));
}

void AudioController::updatePlayerVolumeFrom(FloatSlider* slider) {
    if (!audioPlayer) {
        for (auto* s : {ui.sliderPlayerVolume, miniPlayer.miniPlayerVolume})
            if (s) s->setFloatValue(shell.playerVolume);
        return;
    }
    if (!slider) return;
    shell.playerVolume = float(slider->floatValue());
    audioPlayer->setVolume(float(shell.playerVolume));
    if (slider == ui.sliderPlayerVolume && miniPlayer.miniPlayerVolume)
        miniPlayer.miniPlayerVolume->setFloatValue(shell.playerVolume);
    else if (slider == miniPlayer.miniPlayerVolume && ui.sliderPlayerVolume)
        ui.sliderPlayerVolume->setFloatValue(shell.playerVolume);
}

void AudioController::updatePlayerItemObserver() {
    disconnect(itemEndConnection_);
    if (audioPlayer && audioPlayer->currentItem())
        itemEndConnection_ = connect(audioPlayer->currentItem(), &PlayerItem::didPlayToEndTime, this,
                                     &AudioController::audioEndedFromNotification);
}

void AudioController::removePlayerItemObserver() {
    if (audioPlayer && audioPlayer->currentItem()) disconnect(itemEndConnection_);
}

void AudioController::audioEndedFromNotification() {
    if (audioPlayer) audioPlayer->pause();
}
