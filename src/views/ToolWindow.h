#pragma once

#include <QPoint>
#include <qnamespace.h>

class QWidget;

// A floating panel's window flags: a utility window with a title and a close
// button, and no minimise button (a window manager minimises a transient
// window together with the window it belongs to, so a panel that could be
// minimised would take the main window with it; one that offers it anyway
// has the panel closed instead, see makeFloatingPanel).
inline constexpr Qt::WindowFlags kFloatingPanelFlags =
    Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// Makes `panel` (a top-level widget owned by the main window: the notes
// panel, the unit panel, the presets window) a floating panel over its
// owner: it takes the flags above and stays transient for its owner's window,
// so that the window manager keeps it above the main window however the
// user clicks there. A panel minimised from its own title bar (which takes
// the main window with it) is closed, and the main window comes back; a
// panel minimised with the main window stays with it. Call it once, from
// the panel's constructor.
void makeFloatingPanel(QWidget* panel);

// Whether a minimised floating panel went down alone (from its own title
// bar, under the pointer at `pointer`) rather than with its owner: the one
// minimised alone is closed.
bool minimisedAlone(const QWidget* panel, QPoint pointer);

// Moves `panel`, a window about to be shown, beside `other`, a window that
// shows, when the two would overlap: to its right where the screen has room,
// else to its left, else below it. A window that was never placed counts as
// overlapping (it would open centred over its owner, as `other` may have).
void placeBeside(QWidget* panel, const QWidget* other);
