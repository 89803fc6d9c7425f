#include "views/ToolWindow.h"

#include <QEvent>
#include <QObject>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

// Clears the panel's transient parent whenever it is about to be shown: Qt
// sets it when the native window is made, and the window system reads it
// when the window is mapped, which follows the show event.
class TransientParentClearer : public QObject {
public:
    explicit TransientParentClearer(QWidget* panel) : QObject(panel) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* widget = qobject_cast<QWidget*>(watched))
                if (QWindow* window = widget->windowHandle()) window->setTransientParent(nullptr);
        return false;
    }
};

}  // namespace

void makeIndependentToolWindow(QWidget* panel) {
    if (!panel) return;
    panel->installEventFilter(new TransientParentClearer(panel));
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
