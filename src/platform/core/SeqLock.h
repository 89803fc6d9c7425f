#pragma once

#include <atomic>
#include <cstring>
#include <thread>
#include <type_traits>

// A value written by one thread (the main thread) and read whole by any
// thread without a lock: a reader retries while a write is under way, so it
// never sees half of a value and never blocks the writer.
template <typename T>
class SeqLockValue {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    SeqLockValue() = default;
    explicit SeqLockValue(const T& v) { store(v); }

    void store(const T& v) {
        unsigned s = seq_.load(std::memory_order_relaxed);
        seq_.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        copyIn(v);
        std::atomic_thread_fence(std::memory_order_release);
        seq_.store(s + 2, std::memory_order_release);
    }

    T load() const {
        T out;
        for (;;) {
            unsigned s1 = seq_.load(std::memory_order_acquire);
            if (s1 & 1u) {
                std::this_thread::yield();
                continue;
            }
            copyOut(out);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (seq_.load(std::memory_order_relaxed) == s1) return out;
        }
    }

private:
    void copyIn(const T& v) {
        const auto* src = reinterpret_cast<const unsigned char*>(&v);
        for (size_t i = 0; i < sizeof(T); ++i) bytes_[i].store(src[i], std::memory_order_relaxed);
    }
    void copyOut(T& v) const {
        auto* dst = reinterpret_cast<unsigned char*>(&v);
        for (size_t i = 0; i < sizeof(T); ++i) dst[i] = bytes_[i].load(std::memory_order_relaxed);
    }

    std::atomic<unsigned> seq_{0};
    std::atomic<unsigned char> bytes_[sizeof(T)] = {};
};
