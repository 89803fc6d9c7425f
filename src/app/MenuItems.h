#pragma once

// Menu items of the controller's menus that are built afresh each time they
// show: each carries what it stands for as the action's data, and runs its
// command on the controller when chosen (nothing once the controller is gone).

#include "app/AudioController.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QVariant>

namespace menuitems {

// A menu's own text: an ampersand stands for itself.
inline QString menuText(const QString& s) { return QString(s).replace(QLatin1Char('&'), QLatin1String("&&")); }

template <typename F>
QAction* addCommand(QMenu* menu, const QString& title, const QVariant& data, AudioController* c, F command) {
    QAction* a = menu->addAction(title);
    a->setData(data);
    QPointer<AudioController> self(c);
    QObject::connect(a, &QAction::triggered, c, [self, command] {
        if (self) command(*self);
    });
    return a;
}

}  // namespace menuitems
