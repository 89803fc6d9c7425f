#include "views/ToolWindow.h"

#include <QCursor>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Makes the panel transient for its owner's window whenever it is about to
// be shown. Qt sets the transient parent only when it makes the panel's
// native window, and only if the owner's exists by then; the window manager
// reads it when the window is mapped, which follows the show event.
class TransientParentKeeper : public QObject {
public:
    explicit TransientParentKeeper(QWidget* panel) : QObject(panel) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange) putAwayMinimised(qobject_cast<QWidget*>(watched));
        if (event->type() != QEvent::Show) return false;
        auto* panel = qobject_cast<QWidget*>(watched);
        QWindow* window = panel ? panel->windowHandle() : nullptr;
        const QWidget* owner = panel && panel->parentWidget() ? panel->parentWidget()->window() : nullptr;
        if (window && owner && owner->windowHandle() && window->transientParent() != owner->windowHandle())
            window->setTransientParent(owner->windowHandle());
        return false;
    }

    // A window manager may offer to minimise a utility window whatever its
    // hints say (openbox does), and it minimises the window's owner with it;
    // minimising the owner minimises its panels too, in the same order, so
    // the pointer tells the two apart. A panel minimised on its own (from
    // its title bar) is closed instead and the owner comes back; one
    // minimised with its owner stays with it and comes back with it.
    static void putAwayMinimised(QWidget* panel) {
        if (!panel || !panel->isMinimized() || !panel->parentWidget()) return;
        if (!minimisedAlone(panel, QCursor::pos())) return;
        QPointer<QWidget> owner = panel->parentWidget()->window();
        // Restored while still shown (restoring a hidden window maps it
        // again), which brings the owner back with it; then closed.
        panel->setWindowState(panel->windowState() & ~Qt::WindowMinimized);
        panel->close();
        QTimer::singleShot(0, owner, [owner] {
            if (!owner) return;
            owner->setWindowState(owner->windowState() & ~Qt::WindowMinimized);
            owner->raise();
            owner->activateWindow();
        });
    }
};

}  // namespace

bool minimisedAlone(const QWidget* panel, QPoint pointer) {
    const QWidget* owner = panel->parentWidget() ? panel->parentWidget()->window() : nullptr;
    return !owner || !owner->isMinimized() || panel->frameGeometry().contains(pointer);
}

void makeFloatingPanel(QWidget* panel) {
    if (!panel) return;
    if (panel->windowType() != Qt::Tool || panel->windowFlags().testFlag(Qt::WindowMinimizeButtonHint))
        panel->setWindowFlags(kFloatingPanelFlags);
    panel->installEventFilter(new TransientParentKeeper(panel));
}

void placeBeside(QWidget* panel, const QWidget* other) {
    if (!panel || !other || panel == other || !other->isVisible()) return;
    // Window positions include their frames (a panel not shown yet has none).
    const QRect fixed = other->frameGeometry();
    const QSize size = panel->frameGeometry().size();
    if (panel->testAttribute(Qt::WA_Moved) && !panel->frameGeometry().intersects(fixed)) return;
    constexpr int Gap = 8;
    const QPoint places[] = {
        {fixed.right() + 1 + Gap, fixed.top()},
        {fixed.left() - Gap - size.width(), fixed.top()},
        {fixed.left(), fixed.bottom() + 1 + Gap},
    };
    // The first place where the panel is whole on the screen; where none
    // is, the one that shows most of it.
    const QRect screen = other->screen() ? other->screen()->availableGeometry() : QRect();
    QPoint chosen = places[0];
    qint64 best = -1;
    for (const QPoint& p : places) {
        const QRect shown = screen.isEmpty() ? QRect(p, size) : screen.intersected(QRect(p, size));
        const qint64 area = qint64(shown.width()) * shown.height();
        if (area > best) {
            best = area;
            chosen = p;
        }
        if (shown.size() == size) break;
    }
    panel->move(chosen);
}
