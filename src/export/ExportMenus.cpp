// The export commands in the main window's menus.
#include "app/AudioController.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

void installExportCommands(AudioController* c) {
    if (!c->ui.window) return;
    QMenuBar* bar = c->ui.window->menuBar();
    QMenu* file = nullptr;
    QMenu* window = nullptr;
    for (QAction* a : bar->actions()) {
        if (a->menu() && a->text() == QStringLiteral("File")) file = a->menu();
        if (a->menu() && a->text() == QStringLiteral("Window")) window = a->menu();
    }
    if (!file) file = bar->addMenu(QStringLiteral("File"));
    if (!window) window = bar->addMenu(QStringLiteral("Window"));

    QAction* first = file->actions().value(1);  // after "Import audio file..."
    auto* exportMix = new QAction(QStringLiteral("Export composition..."), file);
    exportMix->setObjectName(QStringLiteral("exportCompositionAction"));
    exportMix->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    auto* exportTrack = new QAction(QStringLiteral("Export current track..."), file);
    exportTrack->setObjectName(QStringLiteral("exportCurrentTrackAction"));
    auto* exportReversed = new QAction(QStringLiteral("Export reversed current track..."), file);
    exportReversed->setObjectName(QStringLiteral("exportReversedTrackAction"));
    auto* exportVideo = new QAction(QStringLiteral("Export current track with video..."), file);
    exportVideo->setObjectName(QStringLiteral("exportTrackWithVideoAction"));
    auto* exportMixVideo = new QAction(QStringLiteral("Export composition with current track's video..."), file);
    exportMixVideo->setObjectName(QStringLiteral("exportCompositionWithVideoAction"));
    auto* separator = new QAction(file);
    separator->setSeparator(true);
    file->insertActions(first, {separator, exportMix, exportTrack, exportReversed, exportVideo, exportMixVideo});
    QObject::connect(exportMix, &QAction::triggered, c, [c] { c->saveAudioFileFrom(); });
    QObject::connect(exportTrack, &QAction::triggered, c, [c] { c->saveAudioTrackFrom(); });
    QObject::connect(exportReversed, &QAction::triggered, c, [c] { c->saveReversedAudioTrackFrom(); });
    QObject::connect(exportVideo, &QAction::triggered, c, [c] { c->saveAudioAndVideoTrackFrom(); });
    QObject::connect(exportMixVideo, &QAction::triggered, c, [c] { c->saveMixAudioAndVideoTrackFrom(); });
    QObject::connect(file, &QMenu::aboutToShow, c, [c, exportMix, exportTrack, exportReversed, exportVideo, exportMixVideo] {
        const bool on = !c->exportCommandsAreBlocked();
        const bool track = on && c->trackAt(c->currentSelectedAudio.load());
        exportMix->setEnabled(on);
        for (QAction* a : {exportTrack, exportReversed, exportVideo, exportMixVideo}) a->setEnabled(track);
    });

    QAction* metadata = window->addAction(QStringLiteral("Metadata..."));
    metadata->setObjectName(QStringLiteral("metadataAction"));
    metadata->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+I")));
    QObject::connect(metadata, &QAction::triggered, c, [c] { c->showMetadataPopoverFrom(); });
    QAction* quickLook = window->addAction(QStringLiteral("Quick look..."));
    quickLook->setObjectName(QStringLiteral("quickLookAction"));
    QObject::connect(quickLook, &QAction::triggered, c, [c] { c->showQuickLookPanel(); });
    QObject::connect(window, &QMenu::aboutToShow, c, [c, quickLook] {
        quickLook->setEnabled(c->trackAt(c->currentSelectedAudio.load()) != nullptr);
    });
}
