#pragma once

class QWidget;

// Makes `panel` (a top-level Qt::Tool widget: the notes panel, a unit's
// panel, the presets window) a tool window of its own for the window
// manager: it keeps its owner for Qt (it closes with the main window and
// stays above it), but it is not marked transient for the main window, so
// that minimising the panel leaves the main window where it is (a window
// manager minimises a window together with the window it is transient for).
// Call it once, before the panel is first shown.
void makeIndependentToolWindow(QWidget* panel);

// Moves `panel`, a window about to be shown, beside `other`, a window that
// shows, when the two would overlap: to its right where the screen has room,
// else to its left, else below it. A window that was never placed counts as
// overlapping (it would open centred over its owner, as `other` may have).
void placeBeside(QWidget* panel, const QWidget* other);
