#include "platform/media/MediaWorkers.h"

#include <QThread>
#include <QThreadPool>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

namespace mediaworkers {

namespace {

struct Queued {
    std::function<void()> task;
    std::promise<void> done;
};

// The tasks of one kind: those waiting for their turn, and how many run.
struct Lane {
    std::deque<std::unique_ptr<Queued>> waiting;
    int running = 0;
    int limit = 1;
};

struct Workers {
    std::mutex mutex;
    Lane lanes[4];  // by Work
    QThreadPool pool;
    // Raised while finishWork() drains the pool: what starts then is dropped.
    std::atomic<bool> finishing{false};

    Workers() {
        pool.setMaxThreadCount(threadCap());
        pool.setExpiryTimeout(5000);
        for (Work kind : {Work::Load, Work::Decode, Work::Picture, Work::Save})
            lanes[int(kind)].limit = limitOf(kind);
    }
};

Workers& workers() {
    static Workers* w = new Workers;  // lives as long as the process
    return *w;
}

// Puts the calling thread below the main thread, once per thread. At nice 10
// a worker weighs a tenth of the main thread: a core they share goes to the
// window first, and the window's longest stall during a load stayed the same
// as at nice 19. At nice 19 a worker weighs a seventieth of any other busy
// program of the session: beside four of them on four cores, opening a
// one-minute file took longer than five seconds. SCHED_IDLE starved the same way.
void lowerThisThread() {
    thread_local bool lowered = false;
    if (lowered) return;
    lowered = true;
    setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), kWorkerNice);
}

// A save is the user's document: finishWork() waits for it rather than drop it.
bool droppable(Work kind) { return kind != Work::Save; }

// Runs `first`, then the lane's waiting tasks, one after another, on this
// worker; ends when the lane has none left.
void runLane(Work kind, std::unique_ptr<Queued> first) {
    lowerThisThread();
    Workers& w = workers();
    Lane& lane = w.lanes[int(kind)];
    std::unique_ptr<Queued> item = std::move(first);
    while (item) {
        if (!w.finishing.load() || !droppable(kind)) item->task();
        item->task = nullptr;  // what it holds goes here, before the future is ready
        item->done.set_value();
        std::lock_guard g(w.mutex);
        if (lane.waiting.empty()) {
            --lane.running;
            item.reset();
        } else {
            item = std::move(lane.waiting.front());
            lane.waiting.pop_front();
        }
    }
}

}  // namespace

int threadCap() { return std::max(1, QThread::idealThreadCount() - 1); }

int limitOf(Work kind) {
    const int cap = threadCap();
    switch (kind) {
        case Work::Load: return cap;
        case Work::Decode: return std::clamp(QThread::idealThreadCount() / 2, 1, std::min(4, cap));
        case Work::Picture: return std::min(2, cap);
        case Work::Save: return 1;
    }
    return 1;
}

std::future<void> start(Work kind, std::function<void()> task) {
    Workers& w = workers();
    auto item = std::make_unique<Queued>();
    item->task = std::move(task);
    std::future<void> done = item->done.get_future();
    if (w.finishing.load() && droppable(kind)) return done;  // dropped: the future is ready, broken
    {
        std::lock_guard g(w.mutex);
        Lane& lane = w.lanes[int(kind)];
        if (lane.running >= lane.limit) {
            lane.waiting.push_back(std::move(item));
            return done;
        }
        ++lane.running;
    }
    w.pool.start([kind, item = std::shared_ptr<Queued>(std::move(item))]() mutable {
        runLane(kind, std::make_unique<Queued>(std::move(*item)));
    });
    return done;
}

void finishWork() {
    Workers& w = workers();
    w.finishing.store(true);
    std::deque<std::unique_ptr<Queued>> dropped;
    {
        std::lock_guard g(w.mutex);
        for (Work kind : {Work::Load, Work::Decode, Work::Picture}) {
            Lane& lane = w.lanes[int(kind)];
            for (auto& item : lane.waiting) dropped.push_back(std::move(item));
            lane.waiting.clear();
        }
    }
    dropped.clear();  // their futures are ready (broken) from here
    w.pool.waitForDone();
    w.finishing.store(false);
}

}  // namespace mediaworkers
