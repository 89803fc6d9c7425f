#include "platform/core/BoundedQueue.h"
#include "platform/core/Realtime.h"
#include "platform/core/Snapshot.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

// A snapshot that knows when it is read after it was freed: every word holds
// the serial, and the destructor overwrites them and complains when a reader
// is inside.
struct Payload {
    static inline std::atomic<int> alive{0};
    static inline std::atomic<int> freedWhileRead{0};
    static constexpr uint64_t kPoison = ~uint64_t(0);

    explicit Payload(uint64_t serial) {
        for (auto& w : words) w.store(serial, std::memory_order_relaxed);
        alive.fetch_add(1);
    }
    ~Payload() {
        if (readersInside.load() != 0) freedWhileRead.fetch_add(1);
        for (auto& w : words) w.store(kPoison, std::memory_order_relaxed);
        alive.fetch_sub(1);
    }
    // Whole: every word carries the same serial.
    bool whole(uint64_t* serial) const {
        *serial = words[0].load(std::memory_order_relaxed);
        for (const auto& w : words)
            if (w.load(std::memory_order_relaxed) != *serial) return false;
        return *serial != kPoison;
    }

    std::array<std::atomic<uint64_t>, 32> words;
    mutable std::atomic<int> readersInside{0};
};

std::unique_ptr<const Payload> payload(uint64_t serial) { return std::make_unique<const Payload>(serial); }

}  // namespace

// Two render threads read slice after slice while the main thread publishes
// 10,000 times: each slice sees one whole snapshot, never an older one than
// its previous slice, nothing is freed while a slice holds it, nothing is
// left over, and the readers neither allocate nor lock.
TEST(Snapshot, RendersReadWholeSnapshotsWhileTheMainThreadRepublishes) {
    const int aliveBefore = Payload::alive.load();
    const int freedBefore = Payload::freedWhileRead.load();
    const uint64_t violationsBefore = realtime::violationCount();
    constexpr uint64_t kPublishes = 10000;
    {
        realtime::Snapshot<Payload> snapshot(payload(0));
        std::atomic<bool> stop{false};
        std::atomic<int> torn{0}, backwards{0};
        std::atomic<uint64_t> slices{0};
        auto render = [&] {
            uint64_t last = 0;
            while (!stop.load()) {
                realtime::Scope scope;
                auto reader = snapshot.read();
                reader->readersInside.fetch_add(1);
                uint64_t first = 0, again = 0;
                const bool wholeAtStart = reader->whole(&first);
                for (int spin = 0; spin < 50; ++spin) std::atomic_signal_fence(std::memory_order_seq_cst);
                const bool wholeAtEnd = reader->whole(&again);
                if (!wholeAtStart || !wholeAtEnd || first != again) torn.fetch_add(1);
                if (first < last) backwards.fetch_add(1);
                last = first;
                reader->readersInside.fetch_sub(1);
                slices.fetch_add(1);
            }
        };
        std::thread a(render), b(render);
        while (slices.load() < 2) std::this_thread::yield();
        for (uint64_t serial = 1; serial <= kPublishes; ++serial) {
            snapshot.publish(payload(serial));
            if (serial % 16 == 0) std::this_thread::yield();
        }
        const uint64_t slicesWhilePublishing = slices.load();
        stop = true;
        a.join();
        b.join();
        EXPECT_EQ(torn.load(), 0);
        EXPECT_EQ(backwards.load(), 0);
        EXPECT_GT(slicesWhilePublishing, 100u);
        EXPECT_EQ(snapshot.current()->words[0].load(), kPublishes);
        // With the renders gone everything retired can go.
        snapshot.collect();
        EXPECT_EQ(snapshot.retiredCount(), 0u);
        EXPECT_EQ(Payload::alive.load(), aliveBefore + 1);
    }
    EXPECT_EQ(Payload::freedWhileRead.load(), freedBefore);
    EXPECT_EQ(Payload::alive.load(), aliveBefore);
    EXPECT_EQ(realtime::violationCount(), violationsBefore);
}

// A replaced snapshot lives on while a reader that opened before the
// replacement holds it, and goes at the first collection after the reader
// closes; readers that open later see the new one. Without readers a
// publish frees the old snapshot at once.
TEST(Snapshot, AReplacedSnapshotWaitsForItsReaders) {
    const int aliveBefore = Payload::alive.load();
    realtime::Snapshot<Payload> snapshot;
    EXPECT_FALSE(snapshot.read());

    snapshot.publish(payload(1));
    snapshot.publish(payload(2));
    EXPECT_EQ(snapshot.retiredCount(), 0u);
    EXPECT_EQ(Payload::alive.load(), aliveBefore + 1);

    {
        auto held = snapshot.read();
        snapshot.publish(payload(3));
        snapshot.publish(payload(4));
        // 2 is held; 3 was never reachable by this reader, but is retired
        // in an epoch the reader keeps from ending.
        EXPECT_EQ(held->words[0].load(), 2u);
        EXPECT_GE(snapshot.retiredCount(), 1u);
        auto later = snapshot.read();
        EXPECT_EQ(later->words[0].load(), 4u);
        snapshot.collect();
        EXPECT_EQ(held->words[0].load(), 2u);
    }
    snapshot.collect();
    EXPECT_EQ(snapshot.retiredCount(), 0u);
    EXPECT_EQ(Payload::alive.load(), aliveBefore + 1);

    // synchronize() waits for a reader on another thread to close.
    std::atomic<bool> opened{false}, release{false};
    std::thread render([&] {
        auto reader = snapshot.read();
        opened = true;
        while (!release.load()) std::this_thread::yield();
    });
    while (!opened.load()) std::this_thread::yield();
    snapshot.publish(payload(5));
    EXPECT_EQ(snapshot.retiredCount(), 1u);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release = true;
    });
    snapshot.synchronize();
    EXPECT_TRUE(release.load());
    EXPECT_EQ(snapshot.retiredCount(), 0u);
    render.join();
    releaser.join();
}

// The main thread waits for a render that was in when it started waiting,
// even while other renders come and go meanwhile (the player's and an
// export's renders of one track).
TEST(ReaderEpochs, WaitingOutlastsTheRenderThatWasInWhileOthersComeAndGo) {
    realtime::ReaderEpochs epochs;
    std::atomic<bool> in{false}, release{false}, waited{false};
    std::thread longRender([&] {
        realtime::ReaderEpochs::Presence presence(epochs);
        in = true;
        while (!release.load()) std::this_thread::yield();
    });
    while (!in.load()) std::this_thread::yield();
    std::thread mainThread([&] {
        epochs.waitForReaders();
        waited = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    while (std::chrono::steady_clock::now() < until) realtime::ReaderEpochs::Presence shortRender(epochs);
    EXPECT_FALSE(waited.load());
    release = true;
    mainThread.join();
    longRender.join();
    EXPECT_TRUE(waited.load());
}

namespace {
struct Numbered {
    uint32_t producer = 0;
    uint32_t serial = 0;
};
}  // namespace

// Producers push as fast as they can into a small queue while a consumer
// drains it: each producer's values arrive in order, what did not fit is
// counted as dropped and nothing else is lost; neither side allocates or
// locks.
TEST(BoundedQueue, KeepsEachProducersOrderAndCountsWhatDidNotFit) {
    realtime::BoundedQueue<Numbered> queue(50);
    EXPECT_EQ(queue.capacity(), 64u);
    constexpr uint32_t kProducers = 3, kEach = 20000;
    const uint64_t violationsBefore = realtime::violationCount();
    std::atomic<uint32_t> done{0};
    std::array<std::atomic<uint64_t>, kProducers> refused{};
    std::vector<std::thread> producers;
    for (uint32_t p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            realtime::Scope scope;
            for (uint32_t i = 0; i < kEach; ++i)
                if (!queue.push({p, i})) refused[p].fetch_add(1);
            done.fetch_add(1);
        });
    std::array<int64_t, kProducers> last;
    last.fill(-1);
    uint64_t received = 0, outOfOrder = 0;
    std::thread consumer([&] {
        realtime::Scope scope;
        auto take = [&](const Numbered& v) {
            if (int64_t(v.serial) <= last[v.producer]) ++outOfOrder;
            last[v.producer] = v.serial;
            ++received;
        };
        while (done.load() < kProducers) queue.drain(take);
        queue.drain(take);
    });
    for (auto& t : producers) t.join();
    consumer.join();

    uint64_t refusedTotal = 0;
    for (auto& r : refused) refusedTotal += r.load();
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_EQ(queue.dropped(), refusedTotal);
    EXPECT_EQ(received + queue.dropped(), uint64_t(kProducers) * kEach);
    EXPECT_EQ(realtime::violationCount(), violationsBefore);

    // A full queue refuses the next value and keeps the ones it holds.
    realtime::BoundedQueue<Numbered> small(4);
    for (uint32_t i = 0; i < 4; ++i) ASSERT_TRUE(small.push({0, i}));
    EXPECT_FALSE(small.push({0, 4}));
    EXPECT_EQ(small.dropped(), 1u);
    std::vector<uint32_t> got;
    EXPECT_EQ(small.drain([&](const Numbered& v) { got.push_back(v.serial); }), 4u);
    EXPECT_EQ(got, (std::vector<uint32_t>{0, 1, 2, 3}));
    Numbered none;
    EXPECT_FALSE(small.pop(&none));
}
