// The controller's note commands: the MIDI manager set-up of every track,
// the record toggle, the undo of note changes, and the copy and pastes of
// notes through the clipboard. Main thread.

#include "app/AudioController.h"
#include "app/Alerts.h"
#include "midi/MIDIManager.h"
#include "midi/MidiNotes.h"
#include "midi/NoteLists.h"
#include "platform/core/UndoManager.h"

#include <QAbstractButton>

MidiNotes* AudioController::midiNotes() {
    if (!midiNotesState) midiNotesState = new MidiNotes(this);
    return midiNotesState;
}

void AudioController::installMIDIManagerSetup(MusicFilter* filter) {
    if (!filter) return;
    QPointer<AudioController> self(this);
    filter->setupMIDIManager = [self](MusicFilter* track) {
        // One manager per track, kept for its life: a second instrument
        // keeps the first manager and its notes.
        if (!self || !track || track->midiManager) return;
        MidiNotes* notes = self->midiNotes();
        track->midiManager = std::make_shared<MIDIManager>(*track, notes->gate(), notes->connectsToInputs);
        std::weak_ptr<MusicFilter> weak = track->weak_from_this();
        QMetaObject::invokeMethod(self.data(), [self, weak] {
            if (auto t = weak.lock(); t && self) self->redrawNotes(t.get(), false);
            if (self) self->midiNotes()->refreshLiveInput();
        }, Qt::QueuedConnection);
    };
}

void AudioController::recordMIDIForFilter(QAbstractButton* sender) {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    // A refused toggle leaves the flag as it was, and a button that sent it
    // (its click has flipped it already) shows the flag again.
    auto refuse = [&](const QString& message, const QString& why) {
        if (sender) sender->setChecked(track && track->midiManager && track->midiManager->recordNotes.load());
        runModalAlert(sender ? sender->window() : ui.window, {message, why, {QStringLiteral("OK")}});
    };
    if (!track) {
        if (sender) sender->setChecked(false);
        return;
    }
    if (!track->midiManager) {
        refuse(QStringLiteral("No MIDI Audio Unit set in this track."),
               QStringLiteral("Add a MIDI Audio Unit if you want to record notes in the selected track."));
        return;
    }
    MIDIManager& manager = *track->midiManager;
    // Not while a key is held: the pass would end inside a note.
    if (manager.isProcessingNoteOn.load() >= 1) {
        refuse(QStringLiteral("A key is held down on a MIDI Device."),
               manager.recordNotes.load() ? QStringLiteral("Release every key to stop recording notes.")
                                          : QStringLiteral("Release every key to start recording notes."));
        return;
    }
    MidiNotes* notes = midiNotes();
    if (manager.recordNotes.load()) {
        // Stop: the notes of the pass go back in one undo step, also when
        // none was played. What the render still holds comes in first.
        notes->drainReports();
        manager.recordNotes.store(false);
        MidiNoteList before;
        if (MidiNoteList* snapshot = notes->recordingSnapshotOf(track)) before = std::move(*snapshot);
        std::erase_if(notes->tempMIDINotes, [track](const auto& e) {
            auto t = e.first.lock();
            return !t || t.get() == track;
        });
        registerNotesUndo(*track, std::move(before));
        if (sender) sender->setChecked(false);
        // Also when the track menu stopped it.
        updateNotesPanelToggles(track);
        return;
    }
    std::erase_if(notes->tempMIDINotes, [track](const auto& e) { return e.first.lock().get() == track; });
    notes->tempMIDINotes.emplace_back(track->weak_from_this(), notelists::createACopyOfMidiArray(*track));
    manager.recordNotes.store(true);
    notes->wake();
    if (sender) sender->setChecked(true);
    updateNotesPanelToggles(track);
}

void AudioController::undoRedoRemoveNotes(const std::weak_ptr<MusicFilter>& filter, const MidiNoteList& notes) {
    // Back to the track the change was made on, whichever is selected now.
    auto track = filter.lock();
    if (!track) return;
    const MidiNoteList now = notelists::createACopyOfMidiArray(*track);
    if (UndoManager* undo = undoManager())
        undo->registerUndo(track.get(), [this, filter, now] { undoRedoRemoveNotes(filter, now); });
    notelists::updateMIDIArrayFromArray(*track, notes);
    // The selection keeps only the notes the list still holds: the roll and
    // the keyboard show the same, and no command acts on a note that is gone.
    notelists::keepSelectionWithin(*track);
    redrawNotes(track.get(), true);
}

void AudioController::registerNotesUndo(MusicFilter& track, MidiNoteList before) {
    std::weak_ptr<MusicFilter> weak = track.weak_from_this();
    if (UndoManager* undo = undoManager())
        undo->registerUndo(&track, [this, weak, before = std::move(before)] { undoRedoRemoveNotes(weak, before); });
}

void AudioController::redrawNotes(MusicFilter* track, bool panelViews) {
    if (auto* lane = trackLaneOf(track)) lane->update();
    if (panelViews) redrawNotesPanel(true);
}

void AudioController::copySelectedNotes() {
    MusicFilter* track = trackAt(currentSelectedAudio.load());
    if (!track) return;
    MidiNoteList copied = notelists::copySelectedNotes(track->midiArray, track->currentSelectedNotes);
    // Nothing copied: the clipboard keeps what it holds.
    if (copied.empty()) return;
    pasteboardItems = NotesPasteboardRecord{std::move(copied)};
}

namespace {

// The common start of both pastes: the selected track and the copied notes,
// or null when there is nothing to paste there.
const NotesPasteboardRecord* notesToPaste(AudioController& c, MusicFilter** trackOut) {
    if (c.shell.audioControllerIsWorking) return nullptr;
    MusicFilter* track = c.trackAt(c.currentSelectedAudio.load());
    if (!track || !c.pasteboardItems) return nullptr;
    const auto* record = std::get_if<NotesPasteboardRecord>(&*c.pasteboardItems);
    if (!record) return nullptr;
    if (!track->midiManager) {
        runModalAlert(c.ui.window, {QStringLiteral("No MIDI Audio Unit set in this track."),
                                    QStringLiteral("Add a MIDI Audio Unit if you want to paste notes in the "
                                                   "selected track."),
                                    {QStringLiteral("Ok")}});
        return nullptr;
    }
    *trackOut = track;
    return record;
}

}  // namespace

void AudioController::pasteNotes() {
    MusicFilter* track = nullptr;
    const NotesPasteboardRecord* record = notesToPaste(*this, &track);
    if (!record) return;
    registerNotesUndo(*track, track->midiArray);
    notelists::pasteNotes(track->midiArray, record->notes);
    track->publishNotes();
    redrawNotes(track, true);
}

void AudioController::pasteNotesAtCurrentTime() {
    MusicFilter* track = nullptr;
    const NotesPasteboardRecord* record = notesToPaste(*this, &track);
    if (!record) return;
    registerNotesUndo(*track, track->midiArray);
    const double playhead = notelists::trackSecondsForCompositionSeconds(*track, currentTime());
    notelists::pasteNotesAtTime(track->midiArray, record->notes, playhead, track->timeScale);
    track->publishNotes();
    redrawNotes(track, true);
}
