// The editing commands in the menu bar: Copy, Cut, Paste, Delete, Split and
// the three silence commands in the Edit menu, "Speed of the selection" in
// the Track menu. Each acts on the selected track; Copy, Cut and Split act
// on its time selection in selection mode, else on the whole track.
#include "app/AudioController.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

QMenu* menuOfBar(QMenuBar* bar, const QString& title) {
    for (QAction* a : bar->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return bar->addMenu(title);
}

}  // namespace

void installSelectionEditCommands(AudioController* c) {
    if (!c->ui.window) return;
    QMenuBar* bar = c->ui.window->menuBar();
    QMenu* edit = menuOfBar(bar, QStringLiteral("Edit"));
    edit->addSeparator();
    struct Item {
        const char* title;
        const char* name;
        QKeySequence shortcut;
        void (*run)(AudioController*);
    };
    const Item items[] = {
        {"Cut", "cutSelectionAction", QKeySequence::Cut, [](AudioController* a) { a->cutAudioFileFrom(); }},
        {"Copy", "copySelectionAction", QKeySequence::Copy, [](AudioController* a) { a->copyAudioFileFrom(); }},
        {"Paste", "pasteAction", QKeySequence::Paste, [](AudioController* a) { a->pasteAudioFileFrom(); }},
        {"Delete", "deleteSelectionAction", QKeySequence::Delete,
         [](AudioController* a) { a->menuRemoveSelectionWithUpdateAudioPlayer(); }},
        {"Split", "splitSelectionAction", QKeySequence(), [](AudioController* a) { a->splitAudioFileFrom(); }},
        {"Insert Silence", "insertSilenceAction", QKeySequence(),
         [](AudioController* a) { a->pasteAndAddEmpySelectionInFilterFrom(); }},
        {"Replace with Silence", "replaceWithSilenceAction", QKeySequence(),
         [](AudioController* a) { a->pasteAndReplaceEmptySelectionInFilterFrom(); }},
        {"Replace with Clipboard", "replaceWithClipboardAction", QKeySequence(),
         [](AudioController* a) { a->pasteAndReplaceSelectionInFilterFrom(); }},
    };
    for (const Item& item : items) {
        QAction* action = edit->addAction(QString::fromLatin1(item.title));
        action->setObjectName(QString::fromLatin1(item.name));
        if (!item.shortcut.isEmpty()) action->setShortcut(item.shortcut);
        auto run = item.run;
        QObject::connect(action, &QAction::triggered, c, [c, run] { run(c); });
    }

    QMenu* track = menuOfBar(bar, QStringLiteral("Track"));
    QMenu* speed = track->addMenu(QStringLiteral("Speed of the selection"));
    speed->setObjectName(QStringLiteral("speedOfSelectionMenu"));
    const char* titles[] = {"0.25x", "0.5x", "1.0x", "1.25x", "1.5x", "2.0x"};
    for (quint64 i = 0; i < std::size(titles); ++i) {
        QAction* action = speed->addAction(QString::fromLatin1(titles[i]));
        QObject::connect(action, &QAction::triggered, c, [c, i] { c->pasteSelectionWithSpeed(i); });
    }
}
