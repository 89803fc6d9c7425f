#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <list>

// Work handed to the main thread.
//
// async() runs a function on the main thread from any thread, as soon as the
// event loop gets to it. It is the one way work comes back from a worker
// (mediaworkers::start) or a device's thread: what the function touches on
// the main thread it guards itself (a QPointer to the controller, a weak
// pointer to the track), since it may run after they have gone. An object
// that posts to itself (a deferred signal) may instead queue a call on that
// object, which goes with it. perform() schedules a call identified by (target,
// action, argument) after a delay; cancel() with the same identity takes it
// back, so that a burst of changes from one control, each cancelling the last
// and scheduling anew, ends in one call. Performs wait while a menu is open or
// a mouse button is held (a drag, a slider being moved) and run after it ends.
class MainQueue : public QObject {
    Q_OBJECT
public:
    static MainQueue& instance();

    static void async(std::function<void()> fn);
    static void asyncAfter(int delayMs, std::function<void()> fn);

    void perform(const void* target, const QString& action, const QVariant& argument,
                 std::function<void()> fn, int delayMs = 0);
    // cancel() then perform(): the usual way to coalesce a burst.
    void performCoalesced(const void* target, const QString& action, const QVariant& argument,
                          std::function<void()> fn, int delayMs = 0);
    void cancel(const void* target, const QString& action, const QVariant& argument);
    void cancelAll(const void* target);
    int pendingCount() const { return static_cast<int>(pending_.size()); }

    // Tracking is also detected on its own from menus and mouse presses.
    void beginTracking();
    void endTracking();
    bool isTracking() const { return tracking_ > 0; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainQueue();
    void schedule();
    void fire();

    struct Request {
        const void* target;
        QString action;
        QVariant argument;
        std::function<void()> fn;
        qint64 due;
    };
    std::list<Request> pending_;
    QTimer timer_;
    QElapsedTimer clock_;
    int tracking_ = 0;
    int menusOpen_ = 0;
    bool mouseHeld_ = false;
};
