// The one pool that work leaves the main thread through: below the main
// thread's priority, within its cap and each kind's limit, and a drain that
// drops waiting work but never a save.
#include "platform/media/MediaWorkers.h"

#include <QThread>

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

using mediaworkers::Work;

TEST(MediaWorkers, LeavesTheMainThreadACoreAndEachKindItsLimit) {
    const int cores = QThread::idealThreadCount();
    EXPECT_EQ(mediaworkers::threadCap(), std::max(1, cores - 1));
    for (Work kind : {Work::Load, Work::Decode, Work::Picture, Work::Save}) {
        SCOPED_TRACE(int(kind));
        EXPECT_GE(mediaworkers::limitOf(kind), 1);
        EXPECT_LE(mediaworkers::limitOf(kind), mediaworkers::threadCap());
    }
    EXPECT_EQ(mediaworkers::limitOf(Work::Save), 1);
}

// Many tasks of each kind at once, each holding its worker a moment: no more
// of a kind run together than its limit, nor more in all than the cap, and
// every one of them runs below the main thread.
TEST(MediaWorkers, RunsEveryTaskBelowTheMainThreadWithinTheLimits) {
    struct Count {
        std::atomic<int> now{0}, most{0};
        void enter() {
            const int n = ++now;
            int seen = most.load();
            while (n > seen && !most.compare_exchange_weak(seen, n)) {}
        }
    };
    Count all, perKind[4];
    std::atomic<int> notLowered{0};
    std::vector<std::future<void>> done;
    for (int i = 0; i < 12; ++i) {
        for (Work kind : {Work::Load, Work::Decode, Work::Picture}) {
            done.push_back(mediaworkers::start(kind, [&, kind] {
                all.enter();
                perKind[int(kind)].enter();
                if (getpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid))) < mediaworkers::kWorkerNice) ++notLowered;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                --perKind[int(kind)].now;
                --all.now;
            }));
        }
    }
    for (auto& f : done) ASSERT_EQ(f.wait_for(std::chrono::minutes(2)), std::future_status::ready);
    EXPECT_EQ(notLowered.load(), 0) << "a task ran at the main thread's priority";
    EXPECT_LE(all.most.load(), mediaworkers::threadCap());
    for (Work kind : {Work::Load, Work::Decode, Work::Picture}) {
        SCOPED_TRACE(int(kind));
        EXPECT_GE(perKind[int(kind)].most.load(), 1);
        EXPECT_LE(perKind[int(kind)].most.load(), mediaworkers::limitOf(kind));
    }
}

// finishWork() drops what waits for its turn (its future is ready, and it
// never runs) and waits for what runs; a save, waiting or not, is written.
TEST(MediaWorkers, FinishingDropsWaitingWorkButNeverASave) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> ran{0}, picturesStarted{0};
    std::vector<std::future<void>> pictures;
    // Pictures beyond their limit wait behind the held ones.
    const int limit = mediaworkers::limitOf(Work::Picture);
    for (int i = 0; i < limit + 3; ++i)
        pictures.push_back(mediaworkers::start(Work::Picture, [&, released] {
            ++picturesStarted;
            released.wait();
            ++ran;
        }));
    std::atomic<bool> firstSaved{false}, secondSaved{false};
    auto firstSave = mediaworkers::start(Work::Save, [&, released] {
        released.wait();
        firstSaved = true;
    });
    auto secondSave = mediaworkers::start(Work::Save, [&] { secondSaved = true; });  // waits behind the first
    while (picturesStarted.load() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release.set_value();
    });
    mediaworkers::finishWork();
    releaser.join();
    for (auto& f : pictures) EXPECT_EQ(f.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(ran.load(), limit) << "only the pictures that had started ran";
    EXPECT_TRUE(firstSaved.load());
    EXPECT_TRUE(secondSaved.load()) << "a waiting save was dropped";
    EXPECT_EQ(secondSave.wait_for(std::chrono::seconds(0)), std::future_status::ready);

    // The pool takes work again afterwards.
    std::atomic<bool> after{false};
    mediaworkers::start(Work::Load, [&] { after = true; }).wait();
    EXPECT_TRUE(after.load());
}

}  // namespace
