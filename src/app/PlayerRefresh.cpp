// The player refresh after a track change: the track goes back into the
// shared composition and audio mix, and the player gets a new item built on
// copies of both.
#include "app/AudioController.h"
#include "app/PlayerItems.h"

#include "engine/MusicFilter.h"
#include "export/ExportSession.h"
#include "platform/core/MainQueue.h"
#include "views/AudioView.h"

// The track keeps its units' parameters for its next tap: a track that
// leaves the composition or goes back in gets a new tap with new units,
// which take the stored values over. Settings already waiting for the next
// units (kept by a move or a trim, or by an earlier refresh whose tap has not
// been prepared yet) are newer than anything the units hold, and stay; the
// plug-ins made again for the next tap get them too.
// Without a prepared tap there are no units to read, and what the track
// stored before stays; a track that has stored nothing yet reads its new
// units instead.
void AudioController::keepUnitParameters(MusicFilter& track) {
    if (!track.listenerParametersUpdated || track.listenerParameters.empty()) {
        bool prepared = false;
        for (uint64_t type = 0; unittype::isBuiltIn(type) && !prepared; ++type)
            prepared = track.getAudioUnitForType(type) != nullptr;
        if (prepared) {
            track.updateListenerParametersFromAudioUnits();
            track.updateNBandEQNumberOfBands();
        }
    }
    if (!track.listenerParameters.empty()) track.listenerParametersUpdated = true;
    // The next tap makes the track's plug-ins again, and they start from
    // their defaults unless they are given what the old ones held.
    if (track.tempAudioUnitsArray.empty() && !track.filterActivePluginsName.isEmpty())
        track.tempAudioUnitsArray = listenerAudioUnitsParametersArray(&track, false);
}

void AudioController::updatePlayerFromNotification(MusicFilter* track) {
    if (!track) return;
    track->currentComposition = currentComposition;
    track->currentAudioMix = currentAudioMix;
    track->trackID = -1;
    // A track that is not in the list (its addition was undone meanwhile)
    // keeps its asset but does not play.
    if (indexOfTrack(track) == kNoIndex) return;
    updatePlayerWithNewTrackSettings(track);
}

void AudioController::updatePlayerWithoutUpdateFromNotification(MusicFilter* track) {
    if (!track || indexOfTrack(track) == kNoIndex) return;
    updatePlayerWithNewTrackSettings(track);
}

void AudioController::updateTrackWithNewTrackSettings(MusicFilter* track) {
    if (!track) return;
    track->compositionStartTime = 0.0;
    track->volumeMix = -1.0;
    if (!track->hasPlayerAsset()) return;
    keepUnitParameters(*track);
    track->addTrackToCompositionAndMixAudio(shell.compositionDuration);
}

void AudioController::updatePlayerWithNewTrackSettings(MusicFilter* track) {
    updateTrackWithNewTrackSettings(track);
    if (!library.doNotUpdatePlayerSettings) {
        updatePlayerWithNewCompositionSettings();
        return;
    }
    // A project is loading: its loader builds the item once for all tracks.
    if (library.trackCounter > 0) --library.trackCounter;
    if (library.trackCounter == 0) library.doNotUpdatePlayerSettings = false;
    projectTracksCountedDown();
}

bool AudioController::deferPlayerRebuildDuringExport() {
    // An export's readers hold the taps: a new item's render thread would
    // run the same units beside them. The export gives the player its new
    // item when it ends.
    if (!exporting.session) return false;
    exporting.session->playerStopped = true;
    return true;
}

void AudioController::updatePlayerWithNewCompositionSettings() {
    if (deferPlayerRebuildDuringExport()) return;
    removePlayerItemObserver();
    shell.continueTimeObserver = false;
    if (!audioPlayer) return;
    if (!currentComposition || currentComposition->trackCount() == 0) {
        audioPlayer->replaceCurrentItem(nullptr);
        return;
    }
    playeritems::playWithCurrentMix(*this, currentComposition->copy());
}

void playeritems::playWithCurrentMix(AudioController& c, std::shared_ptr<Composition> composition) {
    auto item = PlayerItem::create(std::move(composition));
    item->setAudioMix(c.currentAudioMix->copy());
    c.audioPlayer->replaceCurrentItem(item);
    c.updatePlayerItemObserver();
}

void AudioController::resetPlayerItemAudioMixForFilter(MusicFilter* filter) {
    if (!filter || !audioPlayer || !audioPlayer->currentItem() || indexOfTrack(filter) == kNoIndex)
        return;
    // A burst of pushes from several tracks makes one new item.
    QPointer<AudioController> self(this);
    MainQueue::instance().performCoalesced(this, QStringLiteral("resetPlayerItemAudioMix"), QString(), [self] {
        if (!self || !self->audioPlayer || !self->audioPlayer->currentItem()) return;
        // The new item seeks back to where this one was once it is ready.
        if (self->shell.seekTime < 0) self->shell.seekTime = self->currentTime();
        self->updatePlayerWithNewCompositionSettings();
    });
}

void AudioController::resetTrackMeters() {
    if (!ui.audioView) return;
    for (const auto& record : ui.audioView->audioTracks) {
        if (!record.audioFilter) continue;
        record.audioFilter->setChannelLevels(0.0, 0.0);
        if (QWidget* meter = record.audioFilter->meteringView.data()) meter->update();
    }
}

void AudioController::addTrackToComposition(quint64 index) {
    if (auto* track = trackAt(index)) updatePlayerFromNotification(track);
}

void AudioController::removeTrackFromCompositionWithoutUpdate(quint64 index) {
    if (auto* track = trackAt(index)) {
        keepUnitParameters(*track);
        track->removeTrackFromComposition();
    }
}

void AudioController::removeTrackFromComposition(quint64 index) {
    removeTrackFromCompositionWithoutUpdate(index);
    updatePlayerWithNewCompositionSettings();
}
