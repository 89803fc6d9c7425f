#pragma once

// Where a popover opens beside its anchor (a control of the main window):
// centred under it, or over it when the screen has no room below, and kept
// inside the screen's available area so that every control of the popover
// can be reached, however the window lies on the screen.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// The top-left corner, in global coordinates, of a popover of `size` for an
// anchor at `anchor` (global) on a screen whose free area is `room`.
QPoint popoverOrigin(const QRect& anchor, const QSize& size, const QRect& room);

// Sizes `popover` (a window of its own) to its contents, moves it to its
// place beside `anchor` and shows it in front. Without an anchor it opens
// where it was.
void showPopoverBeside(QWidget* popover, QWidget* anchor);
