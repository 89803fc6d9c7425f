// The notes panel: opening it for the selected track, its zooms, its
// transpose and velocity menus, and what its keyboard and piano roll ask of
// the controller. Main thread.

#include "app/AudioController.h"
#include "engine/EffectInputs.h"
#include "engine/MusicFilter.h"
#include "midi/MIDIManager.h"
#include "midi/MidiNotes.h"
#include "midi/NoteEditing.h"
#include "platform/media/Asset.h"
#include "platform/media/Player.h"
#include "views/AudioUnitPanel.h"
#include "views/FloatSlider.h"
#include "views/NotesPanel.h"
#include "views/StyledControls.h"
#include "views/ToolWindow.h"

#include <QFileInfo>

#include <limits>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <tuple>

namespace {

// The panel's controls reach the controller once, the first time it opens.
void connectNotesPanel(AudioController& c, NotesPanel& panel) {
    if (panel.property("connected").toBool()) return;
    panel.setProperty("connected", true);
    panel.pianoView->owner = &c;
    panel.notesView->owner = &c;
    QObject::connect(panel.notesHorizontalZoom, &FloatSlider::action, &c, [&c] { c.updateNotesViewHorizontalSize(); });
    QObject::connect(panel.notesVerticalZoom, &FloatSlider::action, &c, [&c] { c.updateNotesViewVerticalSize(); });
    QObject::connect(panel.resetHorizontalButton, &QPushButton::clicked, &c, [&c] { c.resetNotesHorizontalSize(); });
    QObject::connect(panel.resetVerticalButton, &QPushButton::clicked, &c, [&c] { c.resetNotesVerticalSize(); });
    QObject::connect(panel.recordNotesButton, &QPushButton::clicked, &c,
                     [&c, b = panel.recordNotesButton] { c.recordMIDIForFilter(b); });
    QObject::connect(panel.notesPlayPauseButton, &QAbstractButton::clicked, &c, [&c] { c.playPauseToggle(); });
    // The steppers' clicks; a held arrow's repeats are one burst, committed
    // as it is let go.
    for (auto [button, step, transpose] : {std::tuple{panel.transposeDownButton, -1, true},
                                           std::tuple{panel.transposeUpButton, 1, true},
                                           std::tuple{panel.velocityDownButton, -1, false},
                                           std::tuple{panel.velocityUpButton, 1, false}}) {
        QObject::connect(button, &QAbstractButton::clicked, &c, [&c, step, transpose] {
            if (transpose) c.transposeStepperSelectedNotes(step);
            else c.velocityStepperSelectedNotes(step);
        });
        // A repeat of a held arrow is released and pressed again while it stays down.
        QObject::connect(button, &QAbstractButton::released, &c, [&c, b = button] {
            if (!b->isDown() && c.noteEditing.stepperCommit) c.noteEditing.stepperCommit->start();
        });
    }
    QObject::connect(panel.transposeButton, &QPushButton::clicked, &c,
                     [&c, b = panel.transposeButton] { c.transposeMenu(b); });
    QObject::connect(panel.velocityButton, &QPushButton::clicked, &c,
                     [&c, b = panel.velocityButton] { c.velocityMenu(b); });
    // Delete in the panel removes the selected notes, as the track menu's
    // "Remove selected notes" does; with none selected it does nothing.
    QObject::connect(&panel, &NotesPanel::deleteKeyPressed, &c, [&c] { c.removeSelectedNotes(); });
}

}  // namespace

MusicFilter* AudioController::notesPanelTrack() const {
    return ui.notesPanel ? ui.notesPanel->notesView->viewFilter.lock().get() : nullptr;
}

void AudioController::showNotesViewFrom() {
    if (shell.audioControllerIsWorking) return;
    MusicFilter* t = trackAt(currentSelectedAudio.load());
    NotesPanel* panel = ui.notesPanel;
    if (!t || !t->midiManager || !panel) return;
    connectNotesPanel(*this, *panel);
    if (panel->isVisible() && notesPanelTrack() == t) return;

    panel->notesView->viewFilter = t->weak_from_this();
    updateNotesViewHorizontalSize();
    panel->fitNotesViewHeight();
    panel->pianoView->musicFilter = t->weak_from_this();
    updateNotesPanelToggles(t);
    // The track's plug-in controls come into the panel, from wherever any
    // track's were shown.
    placePluginControls(*t, panel->controlsNoteView, NotesPanel::kPluginCheckOrigin, NotesPanel::kPluginPopUpY,
                        unitPanels.popover ? unitPanels.popover->audioUnitsView : nullptr);
    panel->pianoView->update();
    updateNotesPlayPauseButton();
    panel->notesPlayPauseButton->update();
    panel->layoutKeyboardStrip();
    notesScrollViewDidChangeBounds();

    QString name = t->nameOfSourceTrack;
    if (name.isEmpty() && t->playerAsset) name = QFileInfo(t->playerAsset->url().toLocalFile()).fileName();
    panel->setWindowTitle(QStringLiteral("Notes - %1").arg(name));
    trackList.notesPanel = panel;
    // Beside a unit's panel (the sampler's, opened with it), never on it.
    if (!panel->isVisible()) placeBeside(panel, trackList.audioUnitPanel.data());
    panel->show();
    panel->raise();
    panel->activateWindow();
}

void AudioController::updateNotesPanelToggles(const MusicFilter* track) {
    NotesPanel* panel = ui.notesPanel;
    if (!panel || !track || notesPanelTrack() != track) return;
    if (track->midiManager) panel->recordNotesButton->setChecked(track->midiManager->recordNotes.load());
    if (const AudioDrawingView* lane = trackLaneOf(track)) {
        panel->selectNotesButton->setChecked(lane->isSelectingNotes);
        panel->adjustNotesButton->setChecked(lane->isAdjustingNotes);
    }
}

void AudioController::updateNotesViewHorizontalSize() {
    MusicFilter* t = notesPanelTrack();
    if (!t) return;
    NotesPanel* panel = ui.notesPanel;
    const double width = panel->notesViewWidth(t->durationInSeconds, t->value(EffectInput::Speed));
    panel->notesView->resize(int(std::ceil(width)), panel->notesView->height());
    panel->notesView->update();
}

void AudioController::updateNotesViewVerticalSize() {
    NotesPanel* panel = ui.notesPanel;
    if (!panel) return;
    panel->fitNotesViewHeight();
    panel->notesView->update();
}

void AudioController::resetNotesHorizontalSize() {
    if (!ui.notesPanel) return;
    ui.notesPanel->notesHorizontalZoom->setFloatValue(1.0);
    updateNotesViewHorizontalSize();
}

void AudioController::resetNotesVerticalSize() {
    if (!ui.notesPanel) return;
    ui.notesPanel->notesVerticalZoom->setFloatValue(1.0);
    updateNotesViewVerticalSize();
}

namespace {

// The menu opens where the click that asked for it was.
void popUpNotesMenu(AudioController& c, const QString& title,
                    std::initializer_list<std::pair<const char*, int>> items, void (AudioController::*command)(int)) {
    const MusicFilter* t = c.notesPanelTrack();
    if (!t || t->currentSelectedNotes.empty()) return;
    QMenu menu(title);
    for (const auto& [text, amount] : items)
        QObject::connect(menu.addAction(QString::fromUtf8(text)), &QAction::triggered, &c,
                         [&c, command, amount] { (c.*command)(amount); });
    menu.exec(QCursor::pos());
}

}  // namespace

void AudioController::transposeMenu(QWidget*) {
    popUpNotesMenu(*this, QStringLiteral("Transpose"),
                   {{"-4 Octaves", -4}, {"-3 Octaves", -3}, {"-2 Octaves", -2}, {"-1 Octave", -1},
                    {"+1 Octave", 1}, {"+2 Octaves", 2}, {"+3 Octaves", 3}, {"+4 Octaves", 4}},
                   &AudioController::transposeSelectedNotes);
}

void AudioController::velocityMenu(QWidget*) {
    // The amounts are changes of velocity, not shares of it.
    popUpNotesMenu(*this, QStringLiteral("Velocity"),
                   {{"-50%", -64}, {"-25%", -32}, {"-10%", -10}, {"+10%", 10}, {"+25%", 32}, {"+50%", 64}},
                   &AudioController::velocityStepperSelectedNotes);
}

bool AudioController::pianoCanPlay(const MusicFilter& track) const {
    return itemIsReady() && track.midiManager && track.viewIndex() == currentSelectedAudio.load();
}

void AudioController::pianoStartPlayingIfPaused() {
    if (!shell.isPlaying) playPauseToggle();
}

void AudioController::pianoSendNote(MusicFilter& track, int note, bool on) {
    MidiNoteRecord r;
    r.midiCommand = {uint8_t(on ? 0x90 : 0x80), uint8_t(note), 127};
    r.midiNote = uint32_t(note);
    r.midiNoteOn = on;
    r.midiCommandIsRecorded = track.midiManager && track.midiManager->recordNotes.load();
    // Stamped with what the user heard as the key went down or up.
    const uint64_t now = PlaybackClock::hostNow();
    const auto clock = audioPlayer ? audioPlayer->clock() : nullptr;
    constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
    track.pushLiveMidiCommand(r, clock ? clock->secondsAt(now) : kUnknown, clock ? clock->outputSecondsAt(now) : kUnknown);
    midiNotes()->wake();
}

QList<int> AudioController::pianoSelectedNotes(const MusicFilter& track) const {
    QList<int> notes;
    for (const MidiNoteRecord& r : track.currentSelectedNotes)
        if (r.midiCommandTime && r.midiCommandEndTime && noteediting::contains(track.midiArray, r))
            notes.append(int(r.midiNote));
    return notes;
}

bool AudioController::notesTrackHasMidiManager(const MusicFilter& track) const { return track.midiManager != nullptr; }

double AudioController::notesHorizontalZoom() const {
    return ui.notesPanel ? ui.notesPanel->notesHorizontalZoom->floatValue() : 1.0;
}
