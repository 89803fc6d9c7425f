// The small commands behind the track menu and a few controls beside the
// track area: a track's editing mode, hiding the marks of pasted ranges
// with undo, choosing a plug-in and switching it on or off, the lane's note
// modes, the popover of the lane's gestures and the equaliser's spectrum.
// None of them pauses the player, waits for a busy controller or rebuilds
// the player item.
#include "app/AudioController.h"
#include "editing/TrackMenuRecords.h"

#include "engine/MusicFilter.h"
#include "platform/core/MainQueue.h"
#include "platform/core/UndoManager.h"
#include "views/AudioDrawingView.h"
#include "views/EQSubview.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

// ---- Editing mode ----------------------------------------------------------------------------------

void AudioController::menuSelectComposition() {
    if (MusicFilter* t = trackAt(currentSelectedAudio.load())) t->typeOfComposition = 0;
}

void AudioController::menuTrimComposition() {
    if (MusicFilter* t = trackAt(currentSelectedAudio.load())) t->typeOfComposition = 1;
}

void AudioController::changeModeSelectionTrimFrom() {
    MusicFilter* t = trackAt(currentSelectedAudio.load());
    if (!t) return;
    // Only the two modes switch; any other value is left as it is.
    if (t->typeOfComposition == 1) t->typeOfComposition = 0;
    else if (t->typeOfComposition == 0) t->typeOfComposition = 1;
}

// ---- Pasted-range marks --------------------------------------------------------------------------

namespace {

// The marks of `track` as they are now, put back by the next undo or redo.
void registerPastedRangesUndo(AudioController& c, MusicFilter& track, const QList<SelectionPasteRecord>& marks) {
    UndoManager* manager = c.undoManager();
    if (!manager) return;
    const PastedRangesUndoRecord record{track.weak_from_this(), marks};
    QPointer<AudioController> self(&c);
    manager->registerUndo(&c, [self, record] {
        if (self) self->addRemoveSenderPastes(record);
    });
}

}  // namespace

void AudioController::removeSelectionPastesFrom(MusicFilter* track) {
    AudioDrawingView* lane = indexOfTrack(track) == kNoIndex ? nullptr : trackLaneOf(track);
    if (!lane) return;
    registerPastedRangesUndo(*this, *track, lane->selectionPastes);
    lane->selectionPastes.clear();
    lane->update();
}

void AudioController::addRemoveSenderPastes(const PastedRangesUndoRecord& record) {
    // A track no longer in the list keeps its marks as they are.
    const std::shared_ptr<MusicFilter> track = record.track.lock();
    AudioDrawingView* lane = track && indexOfTrack(track.get()) != kNoIndex ? trackLaneOf(track.get()) : nullptr;
    if (!lane) return;
    registerPastedRangesUndo(*this, *track, lane->selectionPastes);
    lane->selectionPastes = record.marks;
    lane->update();
}

// ---- Plug-ins ------------------------------------------------------------------------------------

void AudioController::selectPluginFromMenu(MusicFilter* track, const QString& name) {
    if (!track) return;
    if (track->firstPluginIndexNamed(name) < 0) return;
    auto* popUp = qobject_cast<QComboBox*>(track->pluginsPopUpButton.data());
    const int item = popUp ? popUp->findText(name, Qt::MatchExactly) : -1;
    if (item < 0) return;
    popUp->setCurrentIndex(item);
    // The view opens once the menu has closed.
    QPointer<AudioController> self(this);
    const std::weak_ptr<MusicFilter> weak = track->weak_from_this();
    MainQueue::async([self, weak] {
        if (auto t = weak.lock(); t && self) self->showAudioUnitForPluginObject(t.get());
    });
}

void AudioController::enableDisablePluginForInfo(MusicFilter* track, const PluginRecord& record) {
    if (!track) return;
    const int i = track->firstPluginIndexNamed(record.audioUnitName);
    if (i < 0) return;
    // The switch goes through the track's records, whose change publishes a
    // new chain for the render; the list the render reads is never touched.
    PluginRecord changed = track->pluginsArray()[i];
    changed.audioUnitEnabled = !record.audioUnitEnabled;
    track->replacePluginRecord(i, changed);
    applyItemTitleRule(track, i, changed);
}

// ---- Note modes ----------------------------------------------------------------------------------

namespace {

// The lane whose note mode a sender changes, and the button to show it on.
std::pair<AudioDrawingView*, QAbstractButton*> noteModeTarget(AudioController& c,
                                                              const AudioController::NoteModeSender& sender) {
    if (auto* button = std::get_if<QAbstractButton*>(&sender))
        return {AudioController::trackLaneOf(c.trackAt(c.currentSelectedAudio.load())), *button};
    MusicFilter* track = std::get<MusicFilter*>(sender);
    return {c.indexOfTrack(track) == kNoIndex ? nullptr : AudioController::trackLaneOf(track), nullptr};
}

void toggleNoteMode(AudioController& c, const AudioController::NoteModeSender& sender, bool AudioDrawingView::*mode) {
    auto [lane, button] = noteModeTarget(c, sender);
    if (!lane) return;
    lane->*mode = !(lane->*mode);
    if (button) {
        button->setCheckable(true);
        button->setChecked(lane->*mode);
    }
    // The notes panel shows the mode, also when the track menu changed it.
    c.updateNotesPanelToggles(lane->track());
}

}  // namespace

void AudioController::selectNotesFrom(const NoteModeSender& sender) {
    toggleNoteMode(*this, sender, &AudioDrawingView::isSelectingNotes);
}

void AudioController::adjustNotesFrom(const NoteModeSender& sender) {
    toggleNoteMode(*this, sender, &AudioDrawingView::isAdjustingNotes);
}

// ---- The lane's gestures, the spectrum --------------------------------------------------------------

void AudioController::showInfoPopoverFrom(QWidget* sender) {
    if (!sender) return;
    if (!trackMenu.showInfoPopover) {
        auto* popover = new QFrame(ui.window, Qt::Popup);
        popover->setObjectName(QStringLiteral("showInfoPopover"));
        popover->setFrameShape(QFrame::StyledPanel);
        auto* layout = new QVBoxLayout(popover);
        auto* text = new QLabel(popover);
        text->setTextFormat(Qt::RichText);
        text->setText(QStringLiteral(
            "<b>Mouse on a track's lane</b><ul>"
            "<li>Drag: select a time range (selection mode)</li>"
            "<li>Drag an edge of the track: trim it; drag inside: move it in time (Trim &amp; Arrange mode)</li>"
            "<li>Ctrl-drag a selection or a pasted range: copy it to the drop place; with Alt it replaces "
            "what lies there</li>"
            "<li>Click while recording parameters: add or move a key point; Ctrl-click: remove it</li>"
            "<li>Drag with \"Select notes\" on: select notes</li>"
            "<li>Right-click: the track's menu</li></ul>"));
        layout->addWidget(text);
        trackMenu.showInfoPopover = popover;
    }
    QWidget* popover = trackMenu.showInfoPopover;
    if (popover->isVisible()) return;
    popover->adjustSize();
    popover->move(sender->mapToGlobal(QPoint(0, sender->height())));
    popover->show();
}

void AudioController::showEQWaveformFrom(QAbstractButton* sender) {
    if (!sender) return;
    showEQFFT = sender->isChecked();
    if (ui.eqView) ui.eqView->update();
}
