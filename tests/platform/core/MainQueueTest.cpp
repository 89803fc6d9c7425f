#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QThread>

#include <atomic>
#include <thread>

using testsupport::spin;
using testsupport::waitUntil;

namespace {

TEST(MainQueue, BurstBecomesOneCallAndCancelledNone) {
    auto& q = MainQueue::instance();
    int target = 0, calls = 0, lastArg = -1;
    for (int i = 0; i < 3; ++i)
        q.performCoalesced(&target, "update", 1, [&, i] { ++calls; lastArg = i; });
    int cancelledCalls = 0;
    q.perform(&target, "other", 7, [&] { ++cancelledCalls; }, 5);
    q.cancel(&target, "other", 7);
    // A different argument is a different perform.
    int otherArg = 0;
    q.perform(&target, "update", 2, [&] { ++otherArg; });
    spin(50);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(lastArg, 2);
    EXPECT_EQ(cancelledCalls, 0);
    EXPECT_EQ(otherArg, 1);
}

TEST(MainQueue, DelayedPerformWaitsAndRunsInOrder) {
    auto& q = MainQueue::instance();
    int target = 0;
    std::vector<int> order;
    q.perform(&target, "b", {}, [&] { order.push_back(2); }, 40);
    q.perform(&target, "a", {}, [&] { order.push_back(1); }, 0);
    spin(10);
    EXPECT_EQ(order, std::vector<int>{1});
    ASSERT_TRUE(waitUntil([&] { return order.size() == 2; }, 1000));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(MainQueue, PerformWaitsWhileAMenuIsOpen) {
    auto& q = MainQueue::instance();
    QMenu menu;
    menu.addAction("Item");
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(waitUntil([&] { return q.isTracking(); }, 1000));
    int target = 0, calls = 0;
    q.perform(&target, "x", {}, [&] { ++calls; });
    spin(30);
    EXPECT_EQ(calls, 0);
    menu.hide();
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }, 1000));
}

TEST(MainQueue, AsyncFromAnotherThreadRunsOnMain) {
    std::atomic<bool> ran{false};
    QThread* mainThread = QThread::currentThread();
    QThread* ranOn = nullptr;
    std::thread worker([&] {
        MainQueue::async([&] {
            ranOn = QThread::currentThread();
            ran = true;
        });
    });
    worker.join();
    ASSERT_TRUE(waitUntil([&] { return ran.load(); }));
    EXPECT_EQ(ranOn, mainThread);
}

TEST(NotificationCenter, FiltersByNameAndObjectAndSurvivesRemovalDuringDelivery) {
    NotificationCenter center;
    int objA = 0, objB = 0, observer1 = 0, observer2 = 0;
    std::vector<QString> got;
    center.addObserver(&observer1, "changed", &objA, [&](const Notification& n) {
        got.push_back("1:" + n.userInfo.value("k").toString());
        center.removeObserver(&observer2);  // removed while delivering
    });
    center.addObserver(&observer2, "changed", nullptr, [&](const Notification&) { got.push_back("2"); });
    center.addObserver(&observer2, "", nullptr, [&](const Notification&) { got.push_back("any"); });

    center.post("changed", &objB);
    EXPECT_EQ(got, (std::vector<QString>{"2", "any"}));
    got.clear();
    center.post("changed", &objA, {{"k", "v"}});
    EXPECT_EQ(got, (std::vector<QString>{"1:v"}));
    EXPECT_EQ(center.observerCount(), 1);
    center.removeObserver(&observer1, "changed");
    EXPECT_EQ(center.observerCount(), 0);
}

}  // namespace

#include "platform/core/Realtime.h"

TEST(Realtime, AllocationInsideAScopeIsCounted) {
    uint64_t before = realtime::violationCount();
    {
        realtime::Scope scope;
        auto* p = new int(3);
        asm volatile("" : : "g"(p) : "memory");  // keep the allocation
        delete p;
    }
    EXPECT_EQ(realtime::violationCount(), before + 1);
    auto* q = new int(4);  // outside: fine
    asm volatile("" : : "g"(q) : "memory");
    delete q;
    EXPECT_EQ(realtime::violationCount(), before + 1);
}
