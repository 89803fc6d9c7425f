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
// How a retired T is known to be unread (ReaderEpochs below, which a
// hand-off can also use on its own): readers count themselves in and
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

// The reader counting under Snapshot, usable on its own where the main
// thread must know that no render still holds something (a track's tap
// before the track lets go of it). Readers enter and leave (any thread,
// never waiting); the main thread asks which epoch it is, whether every
// reader that could have been in at an earlier epoch has left, or waits for
// that.
class ReaderEpochs {
public:
    ReaderEpochs() = default;
    ReaderEpochs(const ReaderEpochs&) = delete;
    ReaderEpochs& operator=(const ReaderEpochs&) = delete;

    // ---- readers (any thread)
    // Counts a reader in; hand the answer back to leave().
    uint64_t enter() {
        for (;;) {
            const uint64_t e = epoch_.load();
            counts_[e & 1].value.fetch_add(1);
            if (epoch_.load() == e) return e;
            counts_[e & 1].value.fetch_sub(1);
        }
    }
    void leave(uint64_t entered) { counts_[entered & 1].value.fetch_sub(1); }

    // Counts a reader in for its life.
    class Presence {
    public:
        explicit Presence(ReaderEpochs& epochs) : epochs_(epochs), entered_(epochs.enter()) {}
        ~Presence() { epochs_.leave(entered_); }
        Presence(const Presence&) = delete;
        Presence& operator=(const Presence&) = delete;

    private:
        ReaderEpochs& epochs_;
        const uint64_t entered_;
    };

    // ---- main thread
    uint64_t epoch() const { return epoch_.load(); }
    // Moves on as far as the readers allow (at most two epochs) without
    // waiting; true when no reader that was in at epoch `mark` is left.
    bool passed(uint64_t mark) {
        advance();
        advance();
        return epoch_.load() >= mark + 2;
    }
    // Returns once every reader that was in when it was called has left.
    void waitForReaders() {
        const uint64_t mark = epoch_.load();
        while (!passed(mark)) std::this_thread::yield();
    }

private:
    // Moves to the next epoch when no reader of the previous one is left.
    void advance() {
        const uint64_t e = epoch_.load();
        if (counts_[(e + 1) & 1].value.load() == 0) epoch_.store(e + 1);
    }

    struct alignas(64) Count {
        std::atomic<uint64_t> value{0};
    };
    alignas(64) std::atomic<uint64_t> epoch_{0};
    Count counts_[2];
};

// The one order in which anything a render can reach leaves: the caller has
// already unpublished it (published the snapshot, list or pointer without
// it), so no render that starts from now on finds it; this returns once
// every render that was in when it was called has left, then runs `release`,
// which uninitialises and frees. Main thread only, never a render thread.
// It waits only for renders in progress (at most the rest of their slices):
// a stopped or paused render holds nothing and is not waited for.
template <typename Release>
void releaseAfterReaders(ReaderEpochs& readers, Release&& release) {
    readers.waitForReaders();
    std::forward<Release>(release)();
}

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
        explicit Reader(const Snapshot& snapshot)
            : owner_(snapshot), epoch_(owner_.readers_.enter()), value_(owner_.current_.load()) {}
        ~Reader() { owner_.readers_.leave(epoch_); }
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        const T* get() const { return value_; }
        const T* operator->() const { return value_; }
        const T& operator*() const { return *value_; }
        explicit operator bool() const { return value_ != nullptr; }

    private:
        const Snapshot& owner_;
        const uint64_t epoch_;
        const T* const value_;
    };
    Reader read() const { return Reader(*this); }

    // ---- main thread
    // The current T. Only the main thread frees, so it needs no Reader.
    const T* current() const { return current_.load(std::memory_order_relaxed); }

    // Makes `next` current; the T it replaces is deleted once no reader can
    // hold it (at once when no render is reading).
    void publish(std::unique_ptr<const T> next) {
        const T* old = current_.exchange(next.release());
        if (old) retired_.push_back({old, readers_.epoch()});
        collect();
    }

    // Deletes the retired T that no reader can hold any more. Never waits.
    void collect() {
        if (retired_.empty()) return;
        auto kept = retired_.begin();
        for (auto& r : retired_) {
            if (readers_.passed(r.epoch)) delete r.value;
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

    // Makes `next` current and then, once no reader can hold the T it
    // replaced (nor any T retired before), frees that T and runs `release`:
    // the way to free what only the replaced T named.
    template <typename Release>
    void publishThenRelease(std::unique_ptr<const T> next, Release&& release) {
        publish(std::move(next));
        releaseAfterReaders(readers_, [&] {
            synchronize();
            std::forward<Release>(release)();
        });
    }

    // Retired T not yet deleted.
    size_t retiredCount() const { return retired_.size(); }

private:
    struct Retired {
        const T* value;
        uint64_t epoch;
    };

    std::atomic<const T*> current_;
    mutable ReaderEpochs readers_;
    std::vector<Retired> retired_;  // main thread
};

}  // namespace realtime
