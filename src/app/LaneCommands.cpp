// The per-track commands of a lane: its colour, duplication (plain and with
// every current setting), removal.
#include "app/AudioController.h"
#include "app/TrackCopies.h"

#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"
#include "views/AudioDrawingView.h"
#include "views/EQSubview.h"
#include "views/NumberTextField.h"
#include "views/TimePopover.h"
#include "views/FloatSlider.h"
#include "views/AudioView.h"

#include <QColorDialog>

namespace {

void pausePlayer(AudioController& c) {
    if (c.audioPlayer && c.audioPlayer->rate() != 0) c.audioPlayer->pause();
}

void redrawEqualiserView(AudioController& c) {
    if (c.ui.eqView) c.ui.eqView->update();
}

}  // namespace

// ---- Colour -----------------------------------------------------------------------

void AudioController::changeTrackColorFrom(quint64 index) {
    TrackRecord* record = trackRecordAt(index);
    if (!record || !record->audioFilter) return;
    if (!laneCommands.colorPanel) {
        // One panel for every lane; each of its changes reaches the track
        // that last asked for it, so the lane follows the panel live.
        auto* panel = new QColorDialog(ui.window);
        panel->setOptions(QColorDialog::NoButtons);
        panel->setWindowTitle(QStringLiteral("Colors"));
        connect(panel, &QColorDialog::currentColorChanged, this, [this](const QColor& color) {
            if (auto track = laneCommands.colorPanelTrack.lock()) changeTrackColorForFilter(track.get(), color);
        });
        laneCommands.colorPanel = panel;
    }
    QColorDialog* panel = laneCommands.colorPanel;
    laneCommands.colorPanelTrack.reset();  // setting the colour below is no change by the user
    panel->setCurrentColor(record->audioFilter->trackColor());
    laneCommands.colorPanelTrack = record->audioFilter;
    if (ui.window) panel->move(ui.window->geometry().center() - panel->rect().center());
    panel->show();
    panel->raise();
    panel->activateWindow();
}

void AudioController::changeTrackColorForFilter(MusicFilter* track, const QColor& color) {
    if (!track || indexOfTrack(track) == kNoIndex) return;
    track->setTrackColor(color.toRgb());
    if (auto* lane = trackLaneOf(track)) lane->update();
    redrawEqualiserView(*this);
}

// ---- Time popover ------------------------------------------------------------------

void AudioController::editAudioTimeFrom(quint64 index) {
    if (trackCount() == 0) return;
    if (laneCommands.timePopover && laneCommands.timePopover->isVisible()) return;
    MusicFilter* T = trackAt(currentSelectedAudio.load());
    if (!T || !trackLaneOf(trackAt(index)) || !ui.audioView) return;
    TimePopover* popover = timePopover();
    updateTimePopoverForFilter(T);
    popover->showBelow(ui.audioSlider);
}

// ---- Duplicate and remove ----------------------------------------------------------

void AudioController::duplicateLaneTrackFrom(quint64 index) {
    if (!trackAt(index)) return;
    pausePlayer(*this);
    setViewControlsEnabled(false);
    const int n = trackCount();
    duplicateAudioFileAtIndex(index, nullptr, true, true);
    if (trackCount() != n + 1) setViewControlsEnabled(true);
    redrawEqualiserView(*this);
}

void AudioController::removeLaneTrackFrom(quint64 index) {
    if (!trackAt(index)) return;
    pausePlayer(*this);
    removeAudioFileAtIndex(index);
}

void AudioController::duplicateWithCurrentSettingsAudioFileFrom(quint64 index) {
    TrackRecord* sourceRecord = trackRecordAt(index);
    if (!sourceRecord || !sourceRecord->audioFilter) return;
    const std::shared_ptr<MusicFilter> F = sourceRecord->audioFilter;
    AudioDrawingView* L = trackLaneOf(F.get());
    pausePlayer(*this);
    setViewControlsEnabled(false);
    const int n = trackCount();
    if (!duplicateAudioFileAtIndex(index, nullptr, false, false) || trackCount() != n + 1) {
        setViewControlsEnabled(true);
        return;
    }
    // The records may have moved: read both again.
    const TrackRecord R = *trackRecordAt(index);
    const TrackRecord R2 = *trackRecordAt(quint64(n));
    MusicFilter* F2 = R2.audioFilter.get();
    AudioDrawingView* L2 = trackLaneOf(F2);

    // Plug-ins, pictures and the source's versions; colour and mode.
    trackcopies::copyVersionsFrom(*F, *F2);
    F2->setTrackColor(F->trackColor());
    F2->typeOfComposition = F->typeOfComposition;
    F2->updateCurrentTimeRange = false;
    F2->setCurrentTimeRange(F->currentTimeRange());

    // Values, place and region.
    copyFilterValuesFromDictionary(R, R2);
    applyValuesToSelectedAudio(quint64(n));
    F2->setAnimationStart(F->animationStart());
    F2->setAnimationEnd(F->animationEnd());
    F2->audioOriginInPercent = F->audioOriginInPercent;
    F2->audioDurationInPercent = F->audioDurationInPercent;
    if (L && L2) {
        L2->setFrame(L->frameX(), L->frameWidth());
        L2->oldBounds = L2->frameRect();
        L2->drawingBezierPath = AudioDrawingView::regionPath(L->drawingBezierPath.boundingRect());
    }
    if (audioPlayer) shell.seekTime = currentTime();
    if (L && L2) L2->selectionPastes.append(L->selectionPastes);
    trackcopies::fadesIntoLane(*F2);

    // Selection parameters, unit and plug-in settings, notes.
    if (auto it = automation.selectionParameters.find(F->identifierOfFilter);
        it != automation.selectionParameters.end()) {
        const auto entries = it->second;
        automation.selectionParameters[F2->identifierOfFilter] = entries;
        publishSelectionParametersForFilter(F2);
    }
    trackcopies::copyUnitSettingsFrom(*this, *F, *F2);
    F2->midiArray = F->midiArray;
    F2->publishNotes();

    // The copy takes its asset up and the player is rebuilt.
    NotificationCenter::defaultCenter().post(QStringLiteral("setupNewPlayerAsset"), F2->imageView.data());
    updateAudioTimeLabelForFilter(F2);

    // Curves, without the source's deleting mode.
    trackcopies::copyCurvesFrom(*this, *F, *F2, false);
    redrawEqualiserView(*this);
}
