#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace units {

// A bounded queue of short MIDI messages. Any thread may push (the render
// thread's MIDI scheduler, the main thread's on-screen keyboard, a MIDI input
// thread); the render thread pops. Neither side allocates, locks or waits: a
// push into a full queue drops the message and says so.
struct MidiMessage {
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

// Bytes in a channel message with this status byte (0 for anything else).
inline int midiMessageLength(uint8_t status) {
    switch (status & 0xF0) {
    case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xE0: return 3;
    case 0xC0: case 0xD0: return 2;
    default: return 0;
    }
}

template <size_t Capacity = 512>
class MidiEventQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    MidiEventQueue() {
        for (size_t i = 0; i < Capacity; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
    }

    bool push(const MidiMessage& message) {
        size_t pos = enqueue_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[pos & (Capacity - 1)];
            size_t seq = cell.sequence.load(std::memory_order_acquire);
            intptr_t diff = intptr_t(seq) - intptr_t(pos);
            if (diff == 0) {
                if (enqueue_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    cell.message = message;
                    cell.sequence.store(pos + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;  // full
            } else {
                pos = enqueue_.load(std::memory_order_relaxed);
            }
        }
    }

    // Single consumer.
    bool pop(MidiMessage* out) {
        size_t pos = dequeue_.load(std::memory_order_relaxed);
        Cell& cell = cells_[pos & (Capacity - 1)];
        size_t seq = cell.sequence.load(std::memory_order_acquire);
        if (intptr_t(seq) - intptr_t(pos + 1) < 0) return false;  // empty
        *out = cell.message;
        dequeue_.store(pos + 1, std::memory_order_relaxed);
        cell.sequence.store(pos + Capacity, std::memory_order_release);
        return true;
    }

    void clear() {
        MidiMessage m;
        while (pop(&m)) {}
    }

private:
    struct alignas(64) Cell {
        std::atomic<size_t> sequence{0};
        MidiMessage message;
    };
    std::array<Cell, Capacity> cells_;
    alignas(64) std::atomic<size_t> enqueue_{0};
    alignas(64) std::atomic<size_t> dequeue_{0};
};

}  // namespace units
