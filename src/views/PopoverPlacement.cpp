#include "views/PopoverPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QPoint popoverOrigin(const QRect& anchor, const QSize& size, const QRect& room) {
    // The free space under and over the anchor, within the screen.
    const int roomEnd = room.y() + room.height();
    const int below = roomEnd - (anchor.y() + anchor.height());
    const int above = anchor.y() - room.y();
    int y = anchor.y() + anchor.height();
    if (size.height() > below && (size.height() <= above || above > below)) y = anchor.y() - size.height();
    // Where neither side has room, the popover covers part of the anchor
    // rather than leave the screen.
    y = std::clamp(y, room.y(), std::max(room.y(), roomEnd - size.height()));
    int x = anchor.x() + (anchor.width() - size.width()) / 2;
    x = std::clamp(x, room.x(), std::max(room.x(), room.x() + room.width() - size.width()));
    return {x, y};
}

void showPopoverBeside(QWidget* popover, QWidget* anchor) {
    if (!popover) return;
    // Its size as it will show: polished first, since the style can change it.
    popover->ensurePolished();
    popover->adjustSize();
    auto place = [popover, anchor] {
        const QRect at(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
        QScreen* screen = QGuiApplication::screenAt(at.center());
        if (!screen) screen = anchor->screen();
        const QRect room = screen ? screen->availableGeometry() : at;
        popover->move(popoverOrigin(at, popover->frameGeometry().size(), room));
    };
    if (anchor) place();
    const QSize placed = popover->frameGeometry().size();
    popover->show();
    // A window frame or a late layout can still change the size.
    if (anchor && popover->frameGeometry().size() != placed) place();
    popover->raise();
}
