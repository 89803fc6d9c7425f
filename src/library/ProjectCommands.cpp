// The project commands in the File menu.
#include "app/AudioController.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

void installProjectCommands(AudioController* c) {
    if (!c->ui.window) return;
    QMenuBar* bar = c->ui.window->menuBar();
    QMenu* file = nullptr;
    for (QAction* a : bar->actions())
        if (a->menu() && a->text() == QStringLiteral("File")) file = a->menu();
    if (!file) return;
    file->addSeparator();
    QAction* load = file->addAction(QStringLiteral("Load Project…"));
    load->setObjectName(QStringLiteral("loadProjectAction"));
    load->setShortcut(QKeySequence::Open);
    QObject::connect(load, &QAction::triggered, c, &AudioController::loadProjectFrom);
    QAction* save = file->addAction(QStringLiteral("Save Project"));
    save->setObjectName(QStringLiteral("saveProjectAction"));
    save->setShortcut(QKeySequence::Save);
    QObject::connect(save, &QAction::triggered, c, &AudioController::saveProjectFrom);
    QAction* saveAs = file->addAction(QStringLiteral("Save Project As…"));
    saveAs->setObjectName(QStringLiteral("saveAsProjectAction"));
    // Not every desktop binds a key to "save as"; this one does everywhere.
    saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    QObject::connect(saveAs, &QAction::triggered, c, &AudioController::saveAsProjectFrom);
    QObject::connect(file, &QMenu::aboutToShow, c, [c, save, saveAs] {
        const bool on = c->trackCount() > 0 && !c->shell.audioControllerIsWorking && !c->projectSaveIsRunning();
        save->setEnabled(on);
        saveAs->setEnabled(on);
    });
}
