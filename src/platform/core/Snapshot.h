#pragma once

// The hand-off of lists and curves from the main thread to the render threads.
//
// Life cycle and threads. A Snapshot<T> holds one immutable T behind an
// atomic pointer. The main thread (one thread, the owner) makes a new T,
// fills it and publish()es it; from then on nobody changes it. A render
// thread opens a Reader once per slice and uses what it points at until the
// Reader goes out of scope at the end of the slice; a render never frees,
// allocates or waits here. publish() does not free the T it replaces: it
// retires it, and the retired T is deleted on the main thread (by a later
// publish(), collect() or synchronize()) once every Reader that could have
// loaded it has closed. Deleting the Snapshot deletes every T it holds; its
// owner first makes sure that no render reaches it any more.
//
// How a retired T is known to be unread: readers count themselves in and
// out on one of two counters, the one named by the parity of an epoch that
// only the main thread advances. The main thread advances the epoch only
// when the counter of the previous epoch is back to zero, so the readers
// that are in at any moment entered in the current epoch or the one before.
// A T retired in epoch e can therefore be read only by readers of epochs e-1
// and e, and it is deleted once the epoch has reached e+2. With no render in
// progress a publish() deletes the replaced T at once.
//
// A reader that entered in epoch e and then found a later epoch counts
// itself out and in again, so every reader is counted under an epoch that
// was current after it counted itself in. This retry is the only loop on the
// render side and ends as soon as the main thread stops advancing, which it
// does at most twice per publish().
//
// Several render threads may read the same Snapshot at the same time (the
// player and an export share a track's tap).

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace realtime {

template <typename T>
class Snapshot {
public:
    // Starts with `initial`, or with no T (readers then see null).
    explicit Snapshot(std::unique_ptr<const T> initial = nullptr) : current_(initial.release()) {}
    ~Snapshot() {
        synchronize();
        delete current_.load();
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // ---- render threads (and any other reader)
    // Counts a reader in for its life and holds the T that was current when
    // it opened. Never allocates, locks or waits.
    class Reader {
    public:
        explicit Reader(const Snapshot& snapshot) : owner_(snapshot) {
            for (;;) {
                epoch_ = owner_.epoch_.load();
                owner_.readers_[epoch_ & 1].count.fetch_add(1);
                if (owner_.epoch_.load() == epoch_) break;
                owner_.readers_[epoch_ & 1].count.fetch_sub(1);
            }
            value_ = owner_.current_.load();
        }
        ~Reader() { owner_.readers_[epoch_ & 1].count.fetch_sub(1); }
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        const T* get() const { return value_; }
        const T* operator->() const { return value_; }
        const T& operator*() const { return *value_; }
        explicit operator bool() const { return value_ != nullptr; }

    private:
        const Snapshot& owner_;
        uint64_t epoch_ = 0;
        const T* value_ = nullptr;
    };
    Reader read() const { return Reader(*this); }

    // ---- main thread
    // The current T. Only the main thread frees, so it needs no Reader.
    const T* current() const { return current_.load(std::memory_order_relaxed); }

    // Makes `next` current; the T it replaces is deleted once no reader can
    // hold it (at once when no render is reading).
    void publish(std::unique_ptr<const T> next) {
        const T* old = current_.exchange(next.release());
        if (old) retired_.push_back({old, epoch_.load()});
        collect();
    }

    // Deletes the retired T that no reader can hold any more. Never waits.
    void collect() {
        if (retired_.empty()) return;
        advance();
        advance();
        const uint64_t now = epoch_.load();
        auto kept = retired_.begin();
        for (auto& r : retired_) {
            if (r.epoch + 2 <= now) delete r.value;
            else *kept++ = r;
        }
        retired_.erase(kept, retired_.end());
    }

    // Returns once every reader that could hold a retired T has closed, and
    // deletes them all: after it, nothing but the current T is reachable.
    // Waits for renders in progress (at most the rest of their slices).
    void synchronize() {
        while (!retired_.empty()) {
            collect();
            if (!retired_.empty()) std::this_thread::yield();
        }
    }

    // Retired T not yet deleted.
    size_t retiredCount() const { return retired_.size(); }

private:
    // Moves to the next epoch when no reader of the previous one is left.
    void advance() {
        const uint64_t e = epoch_.load();
        if (readers_[(e + 1) & 1].count.load() == 0) epoch_.store(e + 1);
    }

    struct Retired {
        const T* value;
        uint64_t epoch;
    };
    struct alignas(64) ReaderCount {
        std::atomic<uint64_t> count{0};
    };

    std::atomic<const T*> current_;
    alignas(64) std::atomic<uint64_t> epoch_{0};
    mutable ReaderCount readers_[2];
    std::vector<Retired> retired_;  // main thread
};

}  // namespace realtime
