#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// Wakes a worker that sleeps until something it serves changes (a render
// thread waiting for a rate change, a seek or more room in its ring).
//
// Any thread may call wake(): it never blocks and never allocates. One thread
// sleeps: it reads value() before it looks at the state it waits on, then
// calls waitFor() with that value, so a wake that comes in between is never
// lost. Built on a Linux futex.
class WakeSignal {
public:
    uint32_t value() const { return count_.load(std::memory_order_acquire); }
    void wake();
    // Sleeps until wake() has been called since `seen` was read, or until
    // `timeout` has passed; a negative timeout waits without a limit.
    void waitFor(uint32_t seen, std::chrono::nanoseconds timeout) const;

private:
    mutable std::atomic<uint32_t> count_{0};
};
