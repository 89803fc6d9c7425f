// The track-list commands in the menus and the duration fields' actions.
#include "app/AudioController.h"
#include "midi/MIDIManager.h"

#include "views/NumberTextField.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

// The menu bar's menu with this title, made in front of the menu titled
// `before` (or last) when there is none yet.
QMenu* menuTitled(QMenuBar* bar, const QString& title, const QString& before) {
    QAction* next = nullptr;
    for (QAction* a : bar->actions()) {
        if (a->menu() && a->text() == title) return a->menu();
        if (!next && a->text() == before) next = a;
    }
    auto* menu = new QMenu(title, bar);
    bar->insertMenu(next, menu);
    return menu;
}

}  // namespace

void installTrackListCommands(AudioController* c) {
    for (auto* field : {c->ui.textFieldDurationMinutes, c->ui.textFieldDurationSeconds})
        if (field)
            QObject::connect(field, &NumberTextField::action, c, &AudioController::updateCompositionDurationFrom);
    if (!c->ui.window) return;
    QMenuBar* bar = c->ui.window->menuBar();
    QMenu* file = menuTitled(bar, QStringLiteral("File"), QStringLiteral("Edit"));
    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("Close Composition"));
    close->setObjectName(QStringLiteral("closeCompositionAction"));
    QObject::connect(close, &QAction::triggered, c, [c] { c->closeCompositionFrom(true); });
    // The silent-track popover, below the position slider.
    QAction* silent = file->addAction(QStringLiteral("Add Silent Track…"));
    silent->setObjectName(QStringLiteral("showEmptyTrackPopoverAction"));
    QObject::connect(silent, &QAction::triggered, c, &AudioController::showEmptyTrackPopoverFrom);

    QMenu* track = menuTitled(bar, QStringLiteral("Track"), QStringLiteral("Controls"));
    QAction* duplicate = track->addAction(QStringLiteral("Duplicate track"));
    duplicate->setObjectName(QStringLiteral("duplicateTrackAction"));
    QObject::connect(duplicate, &QAction::triggered, c, &AudioController::duplicateAudioFileFrom);
    QAction* duplicateWithSettings = track->addAction(QStringLiteral("Duplicate track with current settings"));
    duplicateWithSettings->setObjectName(QStringLiteral("duplicateTrackWithCurrentSettingsAction"));
    QObject::connect(duplicateWithSettings, &QAction::triggered, c,
                     &AudioController::duplicateAudioFileWithCurrentSettingsFrom);
    QAction* remove = track->addAction(QStringLiteral("Remove"));
    remove->setObjectName(QStringLiteral("removeTrackAction"));
    QObject::connect(remove, &QAction::triggered, c, &AudioController::removeAudioFileFrom);
    // The selected track's curve and selection-parameter entries, rebuilt
    // each time the menu opens.
    QAction* curves = track->addAction(QStringLiteral("Curves and Selection Parameters"));
    curves->setMenu(new QMenu(track));
    curves->setObjectName(QStringLiteral("trackCurvesMenu"));
    QObject::connect(track, &QMenu::aboutToShow, c, [c, track, duplicate, duplicateWithSettings, remove, curves] {
        const bool on = !c->shell.audioControllerIsWorking && c->trackCount() > 0 &&
                        c->currentSelectedAudio < quint64(c->trackCount());
        for (QAction* a : {duplicate, duplicateWithSettings, remove}) a->setEnabled(on);
        // The selected track's menu, made again, in place of the last one.
        if (on) c->resetTrackMenuHighlights();
        std::unique_ptr<QMenu> menu = on ? c->trackMenuForIndex(c->currentSelectedAudio.load()) : nullptr;
        curves->setEnabled(menu != nullptr);
        if (!menu) return;
        QMenu* old = curves->menu();
        menu->setParent(track, menu->windowFlags());
        curves->setMenu(menu.release());
        if (old) old->deleteLater();
    });
    // The selected track's note items; "Record notes" shows the record flag
    // while a MIDI device is connected.
    track->addSeparator();
    QAction* showNotes = track->addAction(QStringLiteral("Show notes view"));
    showNotes->setObjectName(QStringLiteral("showNotesViewAction"));
    QObject::connect(showNotes, &QAction::triggered, c, [c] { c->showNotesViewFrom(); });
    QAction* recordNotes = track->addAction(QStringLiteral("Record notes"));
    recordNotes->setObjectName(QStringLiteral("recordNotesAction"));
    recordNotes->setCheckable(true);
    QObject::connect(recordNotes, &QAction::triggered, c, [c] { c->recordMIDIForFilter(); });
    QAction* copyNotes = track->addAction(QStringLiteral("Copy selected notes"));
    copyNotes->setObjectName(QStringLiteral("copySelectedNotesAction"));
    QObject::connect(copyNotes, &QAction::triggered, c, [c] { c->copySelectedNotes(); });
    QAction* pasteSame = track->addAction(QStringLiteral("Paste notes at same time"));
    pasteSame->setObjectName(QStringLiteral("pasteNotesAction"));
    QObject::connect(pasteSame, &QAction::triggered, c, [c] { c->pasteNotes(); });
    QAction* pasteNow = track->addAction(QStringLiteral("Paste notes at current time"));
    pasteNow->setObjectName(QStringLiteral("pasteNotesAtCurrentTimeAction"));
    QObject::connect(pasteNow, &QAction::triggered, c, [c] { c->pasteNotesAtCurrentTime(); });
    QObject::connect(track, &QMenu::aboutToShow, c, [c, showNotes, recordNotes, copyNotes, pasteSame, pasteNow] {
        MusicFilter* t = c->shell.audioControllerIsWorking ? nullptr : c->trackAt(c->currentSelectedAudio.load());
        const bool hasManager = t && t->midiManager;
        recordNotes->setEnabled(hasManager);
        showNotes->setEnabled(hasManager);
        recordNotes->setChecked(hasManager && !t->midiManager->connectedDevices().empty() &&
                                t->midiManager->recordNotes.load());
        copyNotes->setEnabled(t != nullptr);
        for (QAction* a : {pasteSame, pasteNow}) a->setEnabled(t != nullptr);
    });
}
