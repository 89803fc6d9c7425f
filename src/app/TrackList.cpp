// Removing a track and putting it back, undoing and redoing the append of a
// track, removing all tracks and closing the composition.
#include "app/Alerts.h"
#include "app/AudioController.h"

#include "engine/MusicFilter.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/AudioView.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/StyledControls.h"
#include "views/EQSubview.h"

#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>

#include <algorithm>

namespace {

// A track's views in the left column, in the order they are detached and
// attached (after its lane): thumbnail, level meter and the three labels.
std::vector<QWidget*> leftColumnViews(const MusicFilter& f) {
    return {f.imageView.data(), f.meteringView.data(), f.audioLabel.data(), f.audioTimeLabel.data(),
            f.audioSampleRateLabel.data()};
}

}  // namespace

// ---- Shared steps -----------------------------------------------------------------------

namespace tracklist {

// A: the player paused, the plug-in panel closed; the notes panel as each
// command says.
void closePanels(AudioController& c) {
    if (c.audioPlayer && c.audioPlayer->rate() != 0) c.audioPlayer->pause();
    if (auto* panel = c.trackList.audioUnitPanel.data()) panel->close();
}

void closeNotesPanel(AudioController& c) {
    if (auto* panel = c.trackList.notesPanel.data(); panel && panel->isVisible()) panel->close();
}

// B: the track's views leave the track area and the left column; the track
// keeps them.
void detachViews(MusicFilter& f) {
    if (auto* lane = f.audioDrawingView.data()) lane->hide();
    for (QWidget* v : leftColumnViews(f))
        if (v) v->hide();
}

// C: the track's views back in the track area and the left column; the
// track's next tap takes over its stored unit parameters. The outline keeps
// its left edge and width, or is made from the track's fractions.
void attachViews(AudioController& c, MusicFilter& f, bool outlineFromFractions) {
    if (!f.listenerParameters.empty()) f.listenerParametersUpdated = true;
    if (auto* lane = AudioController::trackLaneOf(&f)) {
        lane->oldBounds = lane->frameRect();
        const QRectF old = lane->drawingBezierPath.boundingRect();
        const double W = lane->frameWidth();
        const double left = outlineFromFractions ? f.audioOriginInPercent * W : old.x();
        const double width = outlineFromFractions ? f.audioDurationInPercent * W : old.width();
        lane->drawingBezierPath = AudioDrawingView::regionPath(QRectF(left, 10, width, lane->height() - 20));
        if (c.ui.audioView && lane->parentWidget() != c.ui.audioView) lane->setParent(c.ui.audioView);
        lane->show();
        lane->update();
    }
    for (QWidget* v : leftColumnViews(f)) {
        if (!v) continue;
        if (c.ui.musicLeftView && v->parentWidget() != c.ui.musicLeftView) v->setParent(c.ui.musicLeftView);
        v->show();
    }
}

// D: the track area as wide as the timeline and one row per track.
void sizeTrackArea(AudioController& c) {
    const int rows = AudioView::RowHeight * c.trackCount();
    if (c.ui.audioView)
        c.ui.audioView->setFrameWidth(c.shell.timelineDuration * c.shell.scaleFactor * c.shell.zoomValue, rows);
    if (c.ui.musicLeftView) c.ui.musicLeftView->resize(c.ui.musicLeftView->width(), rows);
}

// E: nothing selected, every time at zero, default and disabled controls.
void resetForEmptyTimeline(AudioController& c) {
    c.currentSelectedAudio = kNoIndex;
    const QString zero = QStringLiteral("00:00:00");
    for (QLabel* label : {c.ui.leftTimeLabel, c.ui.middleTimeLabel, c.ui.rightTimeLabel,
                          c.ui.leftMiddleTimeLabel, c.ui.rightMiddleTimeLabel, c.ui.labelStart,
                          c.ui.labelEnd, c.miniPlayer.playerLabelStart, c.miniPlayer.playerLabelEnd})
        if (label) label->setText(zero);
    for (FloatSlider* slider : {c.ui.audioSlider, c.miniPlayer.playerAudioSlider}) {
        if (!slider) continue;
        slider->setRange(0, 0);
        slider->setFloatValue(0);
    }
    c.applyDefaultValuesToControls();
    c.setViewControlsEnabled(false);
}

// F: the playhead at the start.
void resetPlayhead(AudioController& c) {
    if (!c.ui.lineView) return;
    c.ui.lineView->linePercent = 0;
    c.ui.lineView->globalLinePercent = 0;
    c.ui.lineView->update();
    for (FloatSlider* slider : {c.ui.audioSlider, c.miniPlayer.playerAudioSlider})
        if (slider) slider->setFloatValue(0);
}

void redrawTrackArea(AudioController& c) {
    if (c.ui.audioView) c.ui.audioView->update();
    if (c.ui.musicLeftView) c.ui.musicLeftView->update();
}

void redrawEqualiser(AudioController& c) {
    if (c.ui.eqView) c.ui.eqView->update();
}

void select(AudioController& c, quint64 index) {
    c.currentSelectedAudio = index;
    c.applyValuesToSelectedAudio(index);
}

// The track at `index` out of the list: its views detached, its audio out
// of the composition (the player rebuilt), the rows behind it moved up.
void takeOut(AudioController& c, quint64 index) {
    auto& tracks = c.ui.audioView->audioTracks;
    if (auto& f = tracks[index].audioFilter) detachViews(*f);
    c.removeTrackFromComposition(index);
    tracks.erase(index);
    for (quint64 j = index; j < tracks.size(); ++j) c.layoutTrackViews(j);
}

}  // namespace tracklist

using namespace tracklist;

// ---- Removing a track and putting it back -----------------------------------------------

void AudioController::removeAudioFileAtIndex(quint64 index) {
    if (!trackRecordAt(index)) return;
    closePanels(*this);
    auto& tracks = ui.audioView->audioTracks;
    TrackRecord record = tracks[index];
    if (auto* notes = trackList.notesPanel.data();
        notes && notes->isVisible() && notesPanelTrack() == record.audioFilter.get())
        notes->close();
    if (UndoManager* undo = ui.audioView->undoManager()) {
        TrackUndoRecord r{record, index};
        undo->registerUndo(this, [this, r] { addAudioFile(r); });
    }
    takeOut(*this, index);
    if (!tracks.empty()) {
        select(*this, 0);
        sizeTrackArea(*this);
    } else {
        resetForEmptyTimeline(*this);
        sizeTrackArea(*this);
    }
    redrawTrackArea(*this);
    redrawEqualiser(*this);
}

void AudioController::addAudioFile(const TrackUndoRecord& record) {
    if (!ui.audioView || !record.audioUndoDictionary.audioFilter) return;
    auto& tracks = ui.audioView->audioTracks;
    // A track is in the list once at most.
    const auto& filter = record.audioUndoDictionary.audioFilter;
    if (std::any_of(tracks.begin(), tracks.end(), [&](const TrackRecord& t) { return t.audioFilter == filter; }))
        return;
    // Back at its index, or last when the list has become shorter since.
    const quint64 index = std::min<quint64>(record.audioIndex.value_or(tracks.size()), tracks.size());
    closePanels(*this);
    closeNotesPanel(*this);
    if (UndoManager* undo = ui.audioView->undoManager()) {
        TrackUndoRecord r{record.audioUndoDictionary, index};
        undo->registerUndo(this, [this, r] { removeAudioFile(r); });
    }
    tracks.insert(index, record.audioUndoDictionary);
    for (quint64 j = index; j < tracks.size(); ++j) layoutTrackViews(j);
    select(*this, index);
    sizeTrackArea(*this);
    MusicFilter& f = *record.audioUndoDictionary.audioFilter;
    attachViews(*this, f, false);
    redrawTrackArea(*this);
    if (tracks.size() == 1) {
        setupLabelsWithUpdate(true);
        setupAudioSliderWithTotalTime(shell.compositionDuration);
        resetPlayhead(*this);
    }
    addTrackToComposition(index);
    redrawEqualiser(*this);
}

void AudioController::removeAudioFile(const TrackUndoRecord& record) {
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    if (!ui.audioView || !record.audioIndex) return;
    // The record's index names the track, as long as it still holds that
    // track there; otherwise the track is looked up by identity.
    quint64 index = *record.audioIndex;
    auto& tracks = ui.audioView->audioTracks;
    if (index >= tracks.size() || tracks[index].audioFilter != record.audioUndoDictionary.audioFilter) {
        auto it = std::find_if(tracks.begin(), tracks.end(), [&](const TrackRecord& t) {
            return t.audioFilter == record.audioUndoDictionary.audioFilter;
        });
        if (it == tracks.end()) return;
        index = quint64(it - tracks.begin());
    }
    removeAudioFileAtIndex(index);
}

// ---- Undoing and redoing the append of a track ------------------------------------------

void AudioController::removeAudioFileFromComposition(const TrackUndoRecord& record) {
    if (!ui.audioView) return;
    UndoManager* undo = ui.audioView->undoManager();
    auto& tracks = ui.audioView->audioTracks;
    const auto& filter = record.audioUndoDictionary.audioFilter;
    if (!filter) return;
    const bool takeAway = undo && undo->isUndoing();
    if (takeAway) {
        // The track that was appended, wherever it stands now; with no such
        // track there is nothing to take away.
        auto it = std::find_if(tracks.begin(), tracks.end(),
                               [&](const TrackRecord& t) { return t.audioFilter == filter; });
        if (it == tracks.end()) return;
        closePanels(*this);
        closeNotesPanel(*this);
        const quint64 index = quint64(it - tracks.begin());
        TrackUndoRecord inverse{*it, std::nullopt};
        undo->registerUndo(this, [this, inverse] { removeAudioFileFromComposition(inverse); });
        takeOut(*this, index);
        if (!tracks.empty())
            select(*this, tracks.size() - 1);
        else
            resetForEmptyTimeline(*this);
        sizeTrackArea(*this);
        redrawTrackArea(*this);
        resetPlayhead(*this);
        redrawEqualiser(*this);
        return;
    }
    // Putting back (a redo): the track is appended again, unless it is there.
    if (std::any_of(tracks.begin(), tracks.end(), [&](const TrackRecord& t) { return t.audioFilter == filter; }))
        return;
    closePanels(*this);
    closeNotesPanel(*this);
    if (!filter->listenerParameters.empty()) filter->listenerParametersUpdated = true;
    tracks.push_back(record.audioUndoDictionary);
    const quint64 index = tracks.size() - 1;
    layoutTrackViews(index);
    addTrackToComposition(index);
    if (undo) {
        TrackUndoRecord inverse{tracks.back(), std::nullopt};
        undo->registerUndo(this, [this, inverse] { removeAudioFileFromComposition(inverse); });
    }
    sizeTrackArea(*this);
    attachViews(*this, *filter, true);
    if (tracks.size() == 1) select(*this, 0);
    redrawTrackArea(*this);
    if (tracks.size() == 1) {
        setupLabelsWithUpdate(true);
        setupAudioSliderWithTotalTime(shell.compositionDuration);
        resetPlayhead(*this);
    }
    redrawEqualiser(*this);
}

// ---- Removing all tracks and closing the composition ------------------------------------

void AudioController::removeAllTracks() {
    if (!ui.audioView) return;
    closePanels(*this);
    closeNotesPanel(*this);
    auto& tracks = ui.audioView->audioTracks;
    for (quint64 i = 0; i < tracks.size(); ++i) {
        if (auto& f = tracks[i].audioFilter) detachViews(*f);
        removeTrackFromCompositionWithoutUpdate(i);
    }
    if (UndoManager* undo = ui.audioView->undoManager()) {
        AllTracksUndoRecord r{tracks.records()};
        undo->registerUndo(this, [this, r] { addAllTracks(r); });
    }
    tracks.clear();
    resetForEmptyTimeline(*this);
    sizeTrackArea(*this);
    redrawTrackArea(*this);
    resetPlayhead(*this);
    redrawEqualiser(*this);
    setDocumentEdited(false);
}

void AudioController::addAllTracks(const AllTracksUndoRecord& record) {
    if (!ui.audioView) return;
    closePanels(*this);
    closeNotesPanel(*this);
    auto& tracks = ui.audioView->audioTracks;
    tracks.assign(record.audioUndoInfoArray);
    if (UndoManager* undo = ui.audioView->undoManager())
        undo->registerUndo(this, [this] { removeAllTracks(); });
    if (tracks.empty()) {
        // Undoing the removal of an empty list: the timeline stays empty.
        resetForEmptyTimeline(*this);
        sizeTrackArea(*this);
        resetPlayhead(*this);
        return;
    }
    select(*this, 0);
    sizeTrackArea(*this);
    for (quint64 i = 0; i < tracks.size(); ++i) {
        auto& f = tracks[i].audioFilter;
        if (!f) continue;
        layoutTrackViews(i);
        attachViews(*this, *f, false);
        updateTrackWithNewTrackSettings(f.get());
        if (auto* lane = f->audioDrawingView.data()) lane->update();
    }
    redrawTrackArea(*this);
    setupLabelsWithUpdate(true);
    setupAudioSliderWithTotalTime(shell.compositionDuration);
    resetPlayhead(*this);
    updatePlayerWithNewCompositionSettings();
    redrawEqualiser(*this);
}

void AudioController::closeCompositionFrom(bool fromUser) {
    const bool hasProject = library.projectURL.isValid() && !library.projectURL.isEmpty();
    if (!hasProject) {
        removeAllTracks();
        if (auto* w = trackList.compositionWindow.data(); w && w->isVisible()) w->hide();
        trackList.currentVideoInCompositionWindow.reset();
        return;
    }
    if (audioPlayer && audioPlayer->rate() != 0) audioPlayer->pause();
    if (fromUser) {
        const QString path = library.projectURL.isLocalFile() ? library.projectURL.toLocalFile()
                                                              : library.projectURL.path();
        const QString name = QFileInfo(path).completeBaseName();
        const int answer = runModalAlert(
            ui.window, AlertRequest{QStringLiteral("Do you want to close the current project?"),
                                    QStringLiteral("Project name: %1.").arg(name),
                                    {QStringLiteral("Ok"), QStringLiteral("Cancel")}});
        // Only "Ok" closes; "Cancel" or a dismissed alert keeps everything.
        if (answer != 0) return;
    }
    // The closed tracks go for good: no undo reaches them afterwards.
    TrackList::Records closed = ui.audioView ? ui.audioView->audioTracks.records() : TrackList::Records{};
    removeAllTracks();
    if (auto* w = trackList.compositionWindow.data(); w && w->isVisible()) w->hide();
    trackList.currentVideoInCompositionWindow.reset();
    trackList.currentProjectTracks.clear();
    library.projectURL = QUrl();
    library.projectChangeCount = 0;
    if (UndoManager* panelUndo = audioUnitPanelUndoManager()) panelUndo->removeAllActions();
    if (UndoManager* undo = ui.audioView ? ui.audioView->undoManager() : nullptr) undo->removeAllActions();
    auto& center = NotificationCenter::defaultCenter();
    for (auto& record : closed) {
        if (!record.audioFilter) continue;
        // Their curves and time-range settings go with them: the stores are
        // keyed by track, and every opened project's tracks are new ones.
        const QString& id = record.audioFilter->identifierOfFilter;
        automation.recordedParameters.erase(id);
        automation.tempRecorderParameters.erase(id);
        automation.selectionParameters.erase(id);
        center.removeObserver(this, QStringLiteral("updatePlayerWithComposition"), record.audioFilter.get());
        center.removeObserver(this, QStringLiteral("updatePlayerWithoutUpdate"), record.audioFilter.get());
        if (auto* lane = record.audioFilter->audioDrawingView.data()) lane->deleteLater();
        for (QWidget* v : leftColumnViews(*record.audioFilter))
            if (v) v->deleteLater();
    }
    setDocumentEdited(false);
    if (ui.window) {
        ui.window->setWindowFilePath(QString());
        ui.window->setWindowTitle(QStringLiteral("Trevalune[*]"));
    }
}
