// The note editing commands on the selected track of the real main window:
// what they change, their undo steps, the stepper bursts and the clipboard.
#include "app/TrackListFixture.h"

#include "midi/MIDIManager.h"
#include "midi/MidiNotes.h"
#include "midi/NoteLists.h"
#include "views/FloatSlider.h"
#include "views/NotesPanel.h"
#include "views/NotesView.h"
#include "views/PianoView.h"

#include <QAbstractButton>
#include <QAction>
#include <QMainWindow>

namespace {

MidiNoteList note(uint32_t pitch, double start, double end, uint8_t velocity = 100) {
    MidiNoteRecord on, off;
    on.midiCommand = {uint8_t(0x90), uint8_t(pitch), velocity};
    on.midiNote = pitch;
    on.midiCommandTime = MediaTime::fromSeconds(start, 44100);
    on.midiCommandEndTime = MediaTime::fromSeconds(end, 44100);
    off.midiCommand = {uint8_t(0x80), uint8_t(pitch), 0};
    off.midiNote = pitch;
    off.midiCommandTime = MediaTime::fromSeconds(end, 44100);
    return {on, off};
}

class NoteEditingCommandsTest : public TrackListTest {
protected:
    void SetUp() override {
        TrackListTest::SetUp();
        track = append(writeTone(QStringLiteral("notes.wav"), 10, 440));
        waitForReadyItem();
        c->currentSelectedAudio = 0;
        track->midiManager = std::make_shared<MIDIManager>(*track, c->midiNotes()->gate(), false);
        MidiNoteList list = note(60, 1, 2);
        for (const auto& r : note(64, 3, 4, 120)) list.push_back(r);
        for (const auto& r : note(67, 6, 8)) list.push_back(r);
        notelists::updateMIDIArrayFromArray(*track, list);
        original = track->midiArray;
        undosBefore = c->undoManager()->undoCount();
    }
    void TearDown() override {
        if (track) track->midiManager.reset();
        TrackListTest::TearDown();
    }
    std::vector<uint32_t> pitches() const {
        std::vector<uint32_t> out;
        for (const auto& r : track->midiArray) out.push_back(r.midiNote);
        return out;
    }
    int undoSteps() const { return c->undoManager()->undoCount() - undosBefore; }
    void selectNoteAt(size_t index) { track->currentSelectedNotes.push_back(track->midiArray[index]); }

    std::shared_ptr<MusicFilter> track;
    MidiNoteList original;
    int undosBefore = 0;
};

TEST_F(NoteEditingCommandsTest, StepperClicksInARowAreOneUndoStep) {
    selectNoteAt(0);
    for (int i = 0; i < 3; ++i) c->transposeStepperSelectedNotes(1);
    c->velocityStepperSelectedNotes(10);
    endEvent();  // the burst ends
    EXPECT_EQ(pitches(), (std::vector<uint32_t>{63, 63, 64, 64, 67, 67}));
    EXPECT_EQ(track->midiArray[0].midiCommand.data2, 110);
    EXPECT_EQ(track->currentSelectedNotes.size(), 1u) << "a stepper keeps the selection";
    EXPECT_EQ(track->currentSelectedNotes[0], track->midiArray[0]);
    EXPECT_EQ(undoSteps(), 1);
    undo();
    EXPECT_EQ(track->midiArray, original);
}

// Undo and redo keep only the selected notes that the list still holds, so
// that the roll and the keyboard agree: after a transpose's undo nothing
// is selected, and its redo does not bring the selection back.
TEST_F(NoteEditingCommandsTest, UndoAndRedoKeepOnlySelectedNotesThatExist) {
    selectNoteAt(0);
    c->transposeStepperSelectedNotes(1);
    endEvent();
    ASSERT_EQ(undoSteps(), 1);
    EXPECT_EQ(c->pianoSelectedNotes(*track), QList<int>{61});
    undo();
    EXPECT_EQ(track->midiArray, original);
    EXPECT_TRUE(track->currentSelectedNotes.empty());
    EXPECT_TRUE(c->pianoSelectedNotes(*track).isEmpty()) << "the keyboard shows no note that is gone";
    redo();
    EXPECT_EQ(pitches(), (std::vector<uint32_t>{61, 61, 64, 64, 67, 67}));
    EXPECT_TRUE(track->currentSelectedNotes.empty());
    EXPECT_TRUE(c->pianoSelectedNotes(*track).isEmpty());
}

// A stepper click that changes no note registers no undo step and leaves
// Redo alone: a selection naming only notes that are gone, or a burst
// whose clicks cancel out.
TEST_F(NoteEditingCommandsTest, StepperClicksThatChangeNothingMakeNoStep) {
    selectNoteAt(0);
    c->transposeStepperSelectedNotes(1);
    endEvent();
    const MidiNoteList transposed = track->midiArray;
    undo();
    ASSERT_EQ(c->undoManager()->redoCount(), 1);
    const int undos = c->undoManager()->undoCount();

    track->currentSelectedNotes = {transposed[0]};  // a note the list no longer holds
    c->transposeStepperSelectedNotes(1);
    c->velocityStepperSelectedNotes(5);
    endEvent();
    EXPECT_EQ(track->midiArray, original) << "gone notes";
    EXPECT_EQ(c->undoManager()->undoCount(), undos) << "gone notes";
    EXPECT_EQ(c->undoManager()->redoCount(), 1) << "gone notes";

    track->currentSelectedNotes = {track->midiArray[0]};
    c->transposeStepperSelectedNotes(1);
    c->transposeStepperSelectedNotes(-1);
    endEvent();
    EXPECT_EQ(track->midiArray, original) << "cancelled out";
    EXPECT_EQ(c->undoManager()->undoCount(), undos) << "cancelled out";
    EXPECT_EQ(c->undoManager()->redoCount(), 1) << "cancelled out";
    redo();
    EXPECT_EQ(track->midiArray, transposed);
}

TEST_F(NoteEditingCommandsTest, MenuCommandsAreOneStepEachAndEmptyTheSelection) {
    struct Case {
        const char* name;
        std::function<void(AudioController&)> command;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"transpose", [](AudioController& c) { c.transposeSelectedNotes(1); }, {60, 60, 76, 76, 67, 67}},
        {"remove", [](AudioController& c) { c.removeSelectedNotes(); }, {60, 60, 67, 67}},
    };
    for (const auto& k : cases) {
        selectNoteAt(2);
        k.command(*c);
        EXPECT_EQ(pitches(), k.expected) << k.name;
        EXPECT_TRUE(track->currentSelectedNotes.empty()) << k.name;
        EXPECT_EQ(undoSteps(), 1) << k.name;
        undo();
        EXPECT_EQ(track->midiArray, original) << k.name;
        undosBefore = c->undoManager()->undoCount();
    }
    // Nothing selected, or octave 0: no change and no step.
    c->transposeSelectedNotes(1);
    selectNoteAt(0);
    c->transposeSelectedNotes(0);
    EXPECT_EQ(track->midiArray, original);
    EXPECT_EQ(undoSteps(), 0);
}

TEST_F(NoteEditingCommandsTest, NotesWithinTheLaneSelection) {
    AudioDrawingView* l = lane(0);
    const double W = l->width();
    auto select = [&](double fromSeconds, double toSeconds) {
        l->selectionPaths = {{QPointF(fromSeconds / 10 * W, 50), QPointF(toSeconds / 10 * W, 50)}};
    };
    select(5, 9);
    c->copyNotesInSelection();
    ASSERT_TRUE(std::holds_alternative<NotesPasteboardRecord>(*c->pasteboardItems));
    EXPECT_EQ(std::get<NotesPasteboardRecord>(*c->pasteboardItems).notes, note(67, 6, 8));

    // A range with no note leaves the clipboard, but its removal is still a step.
    select(4.5, 5.5);
    c->copyNotesInSelection();
    EXPECT_EQ(std::get<NotesPasteboardRecord>(*c->pasteboardItems).notes, note(67, 6, 8));
    c->removeNotesInSelection();
    EXPECT_EQ(track->midiArray, original);
    EXPECT_EQ(undoSteps(), 1);

    select(0, 3.5);
    c->removeNotesInSelection();
    EXPECT_EQ(pitches(), (std::vector<uint32_t>{67, 67}));
    undo();
    EXPECT_EQ(track->midiArray, original);

    // A track without a MIDI manager takes no note command.
    track->midiManager.reset();
    c->removeNotesInSelection();
    EXPECT_EQ(track->midiArray, original);
}

}  // namespace

namespace {

TEST_F(NoteEditingCommandsTest, TheNotesPanelOpensForATrackThatPlaysNotes) {
    NotesPanel* panel = c->ui.notesPanel;
    ASSERT_TRUE(panel);
    track->midiManager.reset();
    c->showNotesViewFrom();
    EXPECT_FALSE(panel->isVisible()) << "no MIDI manager: nothing opens";

    track->midiManager = std::make_shared<MIDIManager>(*track, c->midiNotes()->gate(), false);
    c->showNotesViewFrom();
    ASSERT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("Notes - notes.wav"));
    EXPECT_EQ(panel->notesView->viewFilter.lock(), track);
    EXPECT_EQ(panel->notesView->width(), 130) << "10 s at 13 points a second";
    EXPECT_EQ(panel->pianoView->height(), panel->notesView->height());
    panel->notesHorizontalZoom->setFloatValue(2.0);
    c->updateNotesViewHorizontalSize();
    EXPECT_EQ(panel->notesView->width(), 260);
    c->resetNotesHorizontalSize();
    EXPECT_EQ(panel->notesView->width(), 130);
    panel->close();
}

}  // namespace

namespace {

// A held stepper arrow repeats: the velocity bars show while it is held,
// and the whole hold is one undo step once it is let go.
TEST_F(NoteEditingCommandsTest, AHeldStepperIsOneBurst) {
    NotesPanel* panel = c->ui.notesPanel;
    c->showNotesViewFrom();
    ASSERT_TRUE(panel->isVisible());
    selectNoteAt(0);
    QAbstractButton* up = panel->velocityUpButton;
    QTest::mousePress(up, Qt::LeftButton);
    ASSERT_TRUE(testsupport::waitUntil([&] { return track->midiArray[0].midiCommand.data2 >= 103; }));
    EXPECT_TRUE(panel->notesView->showVelocityInfo) << "bars while held";
    EXPECT_EQ(undoSteps(), 0);
    QTest::mouseRelease(up, Qt::LeftButton);
    endEvent();
    EXPECT_FALSE(panel->notesView->showVelocityInfo);
    EXPECT_EQ(undoSteps(), 1);
    undo();
    EXPECT_EQ(track->midiArray, original);
    panel->close();
}

}  // namespace

namespace {

// Delete or Backspace while the notes panel is the active window removes
// the selected notes in one undo step, and does nothing with none
// selected; the main window's Delete, which removes audio, never fires.
TEST_F(NoteEditingCommandsTest, DeleteInTheNotesPanelRemovesTheSelectedNotesOnly) {
    c->ui.window->show();  // its menu bar's shortcuts work only while it shows
    NotesPanel* panel = c->ui.notesPanel;
    c->showNotesViewFrom();
    ASSERT_TRUE(panel->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
    auto* audioDelete = c->ui.window->findChild<QAction*>(QStringLiteral("deleteSelectionAction"));
    ASSERT_TRUE(audioDelete);
    int audioDeletes = 0;
    QObject::connect(audioDelete, &QAction::triggered, [&audioDeletes] { ++audioDeletes; });

    for (auto key : {Qt::Key_Delete, Qt::Key_Backspace}) {
        SCOPED_TRACE(key == Qt::Key_Delete ? "Delete" : "Backspace");
        QTest::keyClick(panel, key);
        endEvent();
        EXPECT_EQ(track->midiArray, original) << "nothing selected";
        EXPECT_EQ(undoSteps(), 0) << "nothing selected";

        selectNoteAt(2);
        QTest::keyClick(panel, key);
        endEvent();
        EXPECT_EQ(pitches(), (std::vector<uint32_t>{60, 60, 67, 67}));
        EXPECT_EQ(undoSteps(), 1);
        undo();
        EXPECT_EQ(track->midiArray, original);
        EXPECT_EQ(audioDeletes, 0);
    }
    panel->close();
}

}  // namespace
