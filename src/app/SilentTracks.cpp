// Silent tracks: the popover that asks for a length and a sample rate, the
// silent resource file added as an ordinary track, and its length fitted
// once the player has taken it up, by the range edits of src/editing.
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Composition.h"
#include "platform/media/MediaResources.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/EmptyTrackPopover.h"
#include "views/FloatSlider.h"
#include "views/NumberTextField.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>

#include <algorithm>
#include <cmath>

// ---- The popover ----------------------------------------------------------------------

EmptyTrackPopover* AudioController::emptyTrackPopover() {
    if (!silentTracks.showEmptyTrackPopover) {
        auto* popover = new EmptyTrackPopover(ui.window);
        silentTracks.showEmptyTrackPopover = popover;
        textFieldSetup(popover->durationField);
        connect(popover->durationField, &NumberTextField::action, this, [this] { addEmptyTrackFrom(); });
        popover->durationField->setFloatValue(60);
        popover->addClicked = [this] { addEmptyTrackFrom(); };
    }
    return silentTracks.showEmptyTrackPopover;
}

NumberTextField* AudioController::emptyTrackDurationTextField() {
    return emptyTrackPopover()->durationField;
}

void AudioController::showEmptyTrackPopoverFrom() {
    EmptyTrackPopover* popover = emptyTrackPopover();
    if (!popover->isVisible()) popover->showBelow(ui.audioSlider);
}

void AudioController::addEmptyTrackFrom() {
    EmptyTrackPopover* popover = emptyTrackPopover();
    const double rate = popover->sampleRatePopUp->currentIndex() == 0 ? 44100 : 48000;
    const QString path = mediaresources::emptyTrackPath(rate);
    if (path.isEmpty()) {
        popover->hide();
        return;
    }
    const double d = popover->durationField->floatValue();
    if (!(d >= 1 && d <= 3600)) return;
    // The length is the one accepted now: the field may change before the
    // track's player item is ready.
    silentTracks.requestedDuration = d;
    shell.shouldUpdateEmptyTrackDuration = d != 60;
    QPointer<AudioController> self(this);
    const QUrl url = QUrl::fromLocalFile(path);
    MainQueue::async([self, url] {
        if (self) self->addAudioFileToComposition(url);
    });
    popover->hide();
}

void AudioController::addRemoveDurationToEmptyTrack() {
    const int n = trackCount();
    if (n <= 0) return;
    const quint64 last = quint64(n - 1);
    const TrackRecord* record = trackRecordAt(last);
    MusicFilter* track = trackAt(last);
    if (!record || !track) return;
    const QString name = QFileInfo(record->audioURL.toLocalFile()).fileName();
    if (name != mediaresources::emptyTrackFileName(44100) && name != mediaresources::emptyTrackFileName(48000))
        return;
    const double d = silentTracks.requestedDuration;
    if (d == 60) return;
    AudioDrawingView* lane = trackLaneOf(track);
    const double D = track->audioDuration().seconds();
    if (!lane || !(D > 0)) return;
    // The edits act on the selected track, which the user may have changed
    // since the request.
    if (currentSelectedAudio.load() != last) rulerSelectTrack(last);
    if (d > D) {
        pasteSelectionEmptyInFilterFrom(nullptr, track->animationEnd().seconds(), d - D, true);
        lane->selectionPastes.clear();
    } else if (d < D) {
        const double W = lane->frameWidth();
        lane->selectionPaths.append(SelectionPathRecord{QPointF(d / D * W, 0), QPointF(W, 0)});
        menuRemoveSelection(nullptr, true);
    }
}
