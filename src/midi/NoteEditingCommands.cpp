// The commands that edit the selected track's notes: transposing and
// re-weighting the selected notes (by the notes panel's steppers or menus),
// removing them, and copying or removing the notes within the lane's time
// selection. Main thread.

#include "app/AudioController.h"
#include "engine/EffectInputs.h"
#include "engine/MusicFilter.h"
#include "midi/NoteEditing.h"
#include "midi/NoteLists.h"
#include "platform/core/UndoManager.h"
#include "views/NotesPanel.h"
#include "views/NotesView.h"
#include "views/PianoView.h"

#include <QTimer>

namespace {

// The selected track when it plays notes; null otherwise.
MusicFilter* noteTrack(const AudioController& c) {
    MusicFilter* t = c.trackAt(c.currentSelectedAudio.load());
    return t && t->midiManager ? t : nullptr;
}

// The lane selection's range in track seconds; none without a selection.
std::optional<std::pair<double, double>> laneSelectionSeconds(const MusicFilter& track) {
    const AudioDrawingView* lane = AudioController::trackLaneOf(&track);
    if (!lane || lane->selectionPaths.isEmpty() || lane->selectionPaths.last().size() < 2) return std::nullopt;
    const auto& path = lane->selectionPaths.last();
    const QRectF region = lane->drawingBezierPath.boundingRect();
    return noteediting::selectionSeconds(path[0].x(), path[1].x(), lane->frameWidth(), region.x(), region.width(),
                                         track.durationInSeconds, track.value(EffectInput::Speed));
}

}  // namespace

void AudioController::updateMidiArrayForStepper() {
    noteEditing.stepperIsFirstCall = false;
    auto track = noteEditing.stepperTrack.lock();
    // A burst whose clicks cancel out leaves no step.
    if (noteEditing.tempStepperMidiArray && track && *noteEditing.tempStepperMidiArray != track->midiArray)
        registerNotesUndo(*track, *noteEditing.tempStepperMidiArray);
    noteEditing.tempStepperMidiArray.reset();
    if (ui.notesPanel) {
        ui.notesPanel->notesView->showVelocityInfo = false;
        ui.notesPanel->notesView->update();
    }
}

namespace {

// One click of a stepper: the first of a burst keeps the list as it was;
// the burst's undo step is registered once the clicks stop. A click that
// changes no note (none selected, the selected ones gone, or all at their
// limit) is no click: it neither opens a burst nor ends one under way.
template <typename Change>
bool stepperClick(AudioController& c, MusicFilter* track, Change change) {
    auto& s = c.noteEditing;
    if (track->currentSelectedNotes.empty()) return false;
    MidiNoteList list = track->midiArray;
    change(list);
    if (list == track->midiArray) return false;
    if (!s.stepperIsFirstCall || s.stepperTrack.lock().get() != track) {
        s.tempStepperMidiArray = notelists::createACopyOfMidiArray(*track);
        s.stepperTrack = track->weak_from_this();
        s.stepperIsFirstCall = true;
    }
    if (!s.stepperCommit) {
        s.stepperCommit = new QTimer(&c);
        s.stepperCommit->setSingleShot(true);
        s.stepperCommit->setInterval(0);
        QObject::connect(s.stepperCommit, &QTimer::timeout, &c, [&c] { c.updateMidiArrayForStepper(); });
    }
    // Restarts: the commit follows the burst's last click, and waits while a
    // stepper arrow is held (its release starts it).
    if (c.ui.notesPanel && c.ui.notesPanel->stepperIsDown())
        s.stepperCommit->stop();
    else
        s.stepperCommit->start();
    notelists::updateMIDIArrayFromArray(*track, list);
    return true;
}

// The selected notes keep pointing at the records they were, after a change
// of the records themselves.
void followSelection(MusicFilter& track, const MidiNoteList& before) {
    MidiNoteList selected;
    for (size_t i = 0; i < before.size() && i < track.midiArray.size(); ++i)
        if (noteediting::contains(track.currentSelectedNotes, before[i])) selected.push_back(track.midiArray[i]);
    track.currentSelectedNotes = std::move(selected);
}

}  // namespace

void AudioController::transposeStepperSelectedNotes(int semitones) {
    MusicFilter* track = noteTrack(*this);
    if (!track || track->currentSelectedNotes.empty() || semitones == 0) return;
    const MidiNoteList before = track->midiArray;
    const MidiNoteList selected = track->currentSelectedNotes;
    if (!stepperClick(*this, track, [&](MidiNoteList& l) { noteediting::transposeSelectedNotes(l, selected, semitones); }))
        return;
    followSelection(*track, before);
    redrawNotes(track, true);
}

void AudioController::velocityStepperSelectedNotes(int change) {
    if (ui.notesPanel) ui.notesPanel->notesView->showVelocityInfo = false;
    MusicFilter* track = noteTrack(*this);
    if (!track || change == 0) return;
    const MidiNoteList before = track->midiArray;
    const MidiNoteList selected = track->currentSelectedNotes;
    if (!stepperClick(*this, track, [&](MidiNoteList& l) { noteediting::changeSelectedVelocities(l, selected, change); }))
        return;
    followSelection(*track, before);
    redrawNotes(track, false);
    if (ui.notesPanel && ui.notesPanel->isVisible()) {
        ui.notesPanel->notesView->showVelocityInfo = true;
        ui.notesPanel->notesView->update();
    }
}

void AudioController::transposeSelectedNotes(int octaves) {
    MusicFilter* track = noteTrack(*this);
    if (!track || octaves == 0 || track->midiArray.empty() || track->currentSelectedNotes.empty()) return;
    MidiNoteList list = notelists::createACopyOfMidiArray(*track);
    registerNotesUndo(*track, list);
    noteediting::transposeSelectedNotes(list, track->currentSelectedNotes, 12 * octaves);
    notelists::updateMIDIArrayFromArray(*track, list);
    track->currentSelectedNotes.clear();
    redrawNotes(track, true);
}

void AudioController::removeSelectedNotes() {
    MusicFilter* track = noteTrack(*this);
    if (!track || track->midiArray.empty() || track->currentSelectedNotes.empty()) return;
    MidiNoteList list = notelists::createACopyOfMidiArray(*track);
    registerNotesUndo(*track, list);
    noteediting::removeRecords(list, noteediting::selectedNotesWithNoteOffs(list, track->currentSelectedNotes));
    notelists::updateMIDIArrayFromArray(*track, list);
    track->currentSelectedNotes.clear();
    redrawNotes(track, true);
}

void AudioController::copyNotesInSelection() {
    MusicFilter* track = noteTrack(*this);
    if (!track || track->midiArray.empty()) return;
    const auto range = laneSelectionSeconds(*track);
    if (!range) return;
    MidiNoteList taken = noteediting::notesWithinRange(track->midiArray, range->first, range->second);
    // Nothing within the range: the clipboard keeps what it holds.
    if (!taken.empty()) pasteboardItems = NotesPasteboardRecord{std::move(taken)};
}

void AudioController::removeNotesInSelection() {
    MusicFilter* track = noteTrack(*this);
    if (!track || track->midiArray.empty()) return;
    const auto range = laneSelectionSeconds(*track);
    if (!range) return;
    MidiNoteList list = notelists::createACopyOfMidiArray(*track);
    registerNotesUndo(*track, list);
    noteediting::removeRecords(list, noteediting::notesWithinRange(list, range->first, range->second));
    notelists::updateMIDIArrayFromArray(*track, list);
    notelists::keepSelectionWithin(*track);
    redrawNotes(track, false);
}
