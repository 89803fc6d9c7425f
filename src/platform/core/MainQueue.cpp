#include "platform/core/MainQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QThread>

#include <algorithm>

MainQueue& MainQueue::instance() {
    static MainQueue* queue = new MainQueue();  // lives as long as the process
    return *queue;
}

MainQueue::MainQueue() {
    if (auto* app = QCoreApplication::instance()) {
        moveToThread(app->thread());
        app->installEventFilter(this);
    }
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &MainQueue::fire);
    clock_.start();
}

void MainQueue::async(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void MainQueue::asyncAfter(int delayMs, std::function<void()> fn) {
    auto* app = QCoreApplication::instance();
    QMetaObject::invokeMethod(
        app,
        [app, delayMs, fn = std::move(fn)]() mutable {
            QTimer::singleShot(delayMs, app, std::move(fn));
        },
        Qt::QueuedConnection);
}

void MainQueue::perform(const void* target, const QString& action, const QVariant& argument,
                        std::function<void()> fn, int delayMs) {
    Q_ASSERT(QThread::currentThread() == thread());
    pending_.push_back(
        Request{target, action, argument, std::move(fn), clock_.elapsed() + std::max(0, delayMs)});
    schedule();
}

void MainQueue::performCoalesced(const void* target, const QString& action,
                                 const QVariant& argument, std::function<void()> fn,
                                 int delayMs) {
    cancel(target, action, argument);
    perform(target, action, argument, std::move(fn), delayMs);
}

void MainQueue::cancel(const void* target, const QString& action, const QVariant& argument) {
    pending_.remove_if([&](const Request& r) {
        return r.target == target && r.action == action && r.argument == argument;
    });
    schedule();
}

void MainQueue::cancelAll(const void* target) {
    pending_.remove_if([&](const Request& r) { return r.target == target; });
    schedule();
}

void MainQueue::beginTracking() { ++tracking_; }

void MainQueue::endTracking() {
    if (tracking_ > 0) --tracking_;
    schedule();
}

void MainQueue::schedule() {
    if (pending_.empty() || isTracking()) {
        timer_.stop();
        return;
    }
    qint64 due = std::min_element(pending_.begin(), pending_.end(), [](auto& a, auto& b) {
                     return a.due < b.due;
                 })->due;
    timer_.start(static_cast<int>(std::max<qint64>(0, due - clock_.elapsed())));
}

void MainQueue::fire() {
    // One at a time: a call may cancel or add others.
    while (!isTracking()) {
        qint64 now = clock_.elapsed();
        auto next = std::min_element(pending_.begin(), pending_.end(),
                                     [](auto& a, auto& b) { return a.due < b.due; });
        if (next == pending_.end() || next->due > now) break;
        auto fn = std::move(next->fn);
        pending_.erase(next);
        fn();
    }
    schedule();
}

bool MainQueue::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (!mouseHeld_ && watched->isWidgetType()) {
            mouseHeld_ = true;
            beginTracking();
        }
        break;
    case QEvent::MouseMove:
        // A release that never reached us (a widget closed under the mouse)
        // must not hold the queue for ever.
        if (mouseHeld_ && static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton) {
            mouseHeld_ = false;
            endTracking();
        }
        break;
    case QEvent::MouseButtonRelease:
        if (mouseHeld_) {
            mouseHeld_ = false;
            endTracking();
        }
        break;
    case QEvent::Show:
        if (watched->inherits("QMenu")) {
            ++menusOpen_;
            beginTracking();
        }
        break;
    case QEvent::Hide:
        if (watched->inherits("QMenu") && menusOpen_ > 0) {
            --menusOpen_;
            endTracking();
        }
        break;
    default:
        break;
    }
    return false;
}
