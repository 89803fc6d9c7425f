// What the notes panel's piano roll asks of the controller while the mouse
// edits notes, selects them or drags the playhead, and the panel's part in
// the controller's start-up, the transport and the clock. Main thread.

#include "app/AudioController.h"
#include "engine/MusicFilter.h"
#include "views/LineView.h"
#include "views/NotesPanel.h"
#include "views/NotesView.h"
#include "views/PianoView.h"
#include "views/StyledControls.h"

#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

namespace {

NotesPanel* visibleNotesPanel(const AudioController& c) {
    NotesPanel* panel = c.ui.notesPanel;
    return panel && panel->isVisible() ? panel : nullptr;
}

}  // namespace

void AudioController::notesSetRulerAlpha(double alpha) { laneSetRulerAlpha(alpha); }

void AudioController::notesChanged(MusicFilter& track) {
    track.publishNotes();
    redrawNotes(&track, false);
}

void AudioController::notesSelectionChanged(MusicFilter& track) {
    redrawNotes(&track, false);
    if (NotesPanel* panel = visibleNotesPanel(*this)) panel->pianoView->update();
}

void AudioController::notesRegisterUndo(MusicFilter& track, const MidiNoteList& before) {
    registerNotesUndo(track, before);
}

void AudioController::notesPlayheadDown(double seconds) {
    if (ui.lineView) ui.lineView->lineUpdateDownFromAbsoluteTime(seconds);
}

void AudioController::notesPlayheadDragged(double seconds) {
    if (ui.lineView) ui.lineView->lineUpdateDraggedFromAbsoluteTime(seconds);
}

void AudioController::notesPlayheadUp(double seconds) {
    if (ui.lineView) ui.lineView->lineUpdateUpFromAbsoluteTime(seconds);
}

void AudioController::notesScrollViewDidChangeBounds() {
    NotesPanel* panel = ui.notesPanel;
    if (!panel) return;
    panel->pianoView->move(0, -panel->notesScrollView->verticalScrollBar()->value());
    panel->pianoView->update();
}

void AudioController::setupNotesViews() {
    NotesPanel* panel = ui.notesPanel;
    if (!panel) return;
    NotesView* notes = panel->notesView;
    notes->horizontalStretch = 1.0;
    notes->scaleFactor = 13.0;
    notes->noteBaseHeight = 4.0;
    notes->lineAlpha = 1.0;
    notes->tempAdjustedNotes.clear();
    panel->pianoView->highlightsNotes.clear();
    panel->pianoView->notesToOff.clear();
    panel->notesPlayPauseButton->isPause = true;
    panel->notesPlayPauseButton->isPlay = false;
    panel->notesPlayPauseButton->update();
    connect(panel->notesScrollView->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &AudioController::notesScrollViewDidChangeBounds, Qt::UniqueConnection);
    // The main window's MIDI button opens the selected track's notes, first
    // giving it the sampler when it has no instrument.
    if (ui.midiButton) {
        ui.midiButton->setEnabled(true);
        ui.midiButton->show();
        connect(ui.midiButton, &QPushButton::clicked, this, [this] { createAUSamplerFrom(); });
    }
}

void AudioController::updateNotesPlayPauseButton() {
    if (!ui.notesPanel) return;
    PlayPauseButton* button = ui.notesPanel->notesPlayPauseButton;
    button->isPlay = shell.isPlaying;
    button->isPause = !shell.isPlaying;
    if (ui.notesPanel->isVisible()) button->update();
}

void AudioController::redrawNotesPanel(bool keyboard) {
    NotesPanel* panel = visibleNotesPanel(*this);
    if (!panel) return;
    panel->notesView->update();
    if (keyboard) panel->pianoView->update();
}
