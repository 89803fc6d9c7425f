#include "platform/units/MidiEventQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace units;

// Several threads send at once (a MIDI input, the on-screen keyboard, the
// scheduler) while the render thread takes: nothing is lost, duplicated or
// reordered within one sender, and a full queue refuses instead of
// overwriting.
TEST(MidiEventQueue, ManySendersOneReaderKeepEverySendersOrder) {
    MidiEventQueue<64> queue;
    constexpr int kSenders = 4, kEach = 10000;
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s)
        senders.emplace_back([&queue, s] {
            for (int i = 0; i < kEach; ++i) {
                const MidiMessage m{uint8_t(0x90 | s), uint8_t(i & 0x7F), uint8_t((i >> 7) & 0x7F)};
                while (!queue.push(m)) std::this_thread::yield();
            }
        });
    std::vector<int> next(kSenders, 0);
    int received = 0;
    while (received < kSenders * kEach) {
        MidiMessage m;
        if (!queue.pop(&m)) continue;
        const int s = m.status & 0x0F;
        ASSERT_LT(s, kSenders);
        ASSERT_EQ(m.data1 | (m.data2 << 7), next[s] & 0x3FFF) << "sender " << s;
        ++next[s];
        ++received;
    }
    for (std::thread& t : senders) t.join();
    MidiMessage m;
    EXPECT_FALSE(queue.pop(&m));

    for (int i = 0; i < 64; ++i) ASSERT_TRUE(queue.push({0x80, 1, 2}));
    EXPECT_FALSE(queue.push({0x80, 3, 4}));
    ASSERT_TRUE(queue.pop(&m));
    EXPECT_EQ(m.data1, 1);
}
