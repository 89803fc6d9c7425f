#pragma once

// A bounded lock-free queue of small values between threads: live events
// into a render thread (MIDI input, the on-screen keyboard), records from a
// render thread back to the main thread.
//
// Life cycle and threads. The main thread makes the queue with its capacity
// (rounded up to a power of two); that is its only allocation. From then on
// any number of threads may push() and pop() at once: neither allocates,
// locks or waits. A push() into a full queue drops the value, counts it
// (dropped()) and answers false; the caller may retry or let it go. Values
// pushed by one thread are popped in the order that thread pushed them.
// Deleting the queue is the owner's business once no thread uses it.
//
// Values are trivially copyable, so that nothing is freed on the thread that
// pops them.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace realtime {

template <typename T>
class BoundedQueue {
    static_assert(std::is_trivially_copyable_v<T>, "queued values must be trivially copyable");
    static_assert(std::is_default_constructible_v<T>);

public:
    explicit BoundedQueue(size_t capacity) : capacity_(roundUp(capacity)), cells_(new Cell[capacity_]) {
        for (size_t i = 0; i < capacity_; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
    }
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    size_t capacity() const { return capacity_; }

    // False, and the value counted as dropped, when the queue is full.
    bool push(const T& value) {
        size_t pos = enqueue_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[pos & (capacity_ - 1)];
            const size_t seq = cell.sequence.load(std::memory_order_acquire);
            const intptr_t diff = intptr_t(seq) - intptr_t(pos);
            if (diff == 0) {
                if (enqueue_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    cell.value = value;
                    cell.sequence.store(pos + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                dropped_.fetch_add(1, std::memory_order_relaxed);
                return false;
            } else {
                pos = enqueue_.load(std::memory_order_relaxed);
            }
        }
    }

    // False when the queue is empty.
    bool pop(T* out) {
        size_t pos = dequeue_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[pos & (capacity_ - 1)];
            const size_t seq = cell.sequence.load(std::memory_order_acquire);
            const intptr_t diff = intptr_t(seq) - intptr_t(pos + 1);
            if (diff == 0) {
                if (dequeue_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    *out = cell.value;
                    cell.sequence.store(pos + capacity_, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;
            } else {
                pos = dequeue_.load(std::memory_order_relaxed);
            }
        }
    }

    // Pops everything there is, handing each value to `take`, in order.
    // Answers how many were taken.
    template <typename F>
    size_t drain(F&& take) {
        size_t n = 0;
        T value;
        while (pop(&value)) {
            take(value);
            ++n;
        }
        return n;
    }

    void clear() {
        drain([](const T&) {});
    }

    // Values refused because the queue was full, since it was made.
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    static size_t roundUp(size_t n) {
        size_t c = 2;
        while (c < n) c <<= 1;
        return c;
    }

    struct Cell {
        std::atomic<size_t> sequence{0};
        T value{};
    };
    const size_t capacity_;
    const std::unique_ptr<Cell[]> cells_;
    alignas(64) std::atomic<size_t> enqueue_{0};
    alignas(64) std::atomic<size_t> dequeue_{0};
    alignas(64) std::atomic<uint64_t> dropped_{0};
};

}  // namespace realtime
