#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

// What the audio devices need beside their own library: a bound on calls
// that can stall, and a gate that keeps a device's thread out of its owner.
namespace devicecall {

// How long a device call is waited for before it is left to itself.
inline constexpr std::chrono::milliseconds kLimit{3000};

// Runs `work` on a thread of its own and waits for it at most `limit`; true
// when it finished in time. Used for the calls into libjack and PortAudio
// that have been seen to stall on a loaded machine (a client's close, a
// stream's stop and close), so that stopping or quitting never stalls with
// them.
//
// When the time is up, `warning` goes to the log and the caller goes on: the
// work keeps running alone, so it must own, or share, everything it touches,
// and the caller frees nothing that the work can still reach. `afterLate`
// then runs on the work's thread once the work has returned, to let go of
// what the caller left to it (the stream of a stop that came late is closed
// there). It never runs when the caller saw the work finish.
//
// Threads: any thread but a device's own; the caller blocks for `limit` at
// most.
bool finishWithin(std::chrono::milliseconds limit, const char* warning, std::function<void()> work,
                  std::function<void()> afterLate = {});

}  // namespace devicecall

// Lets a device's thread call into its owner only while the owner wants it.
// The device's callback passes through the gate with a Pass, which lets it
// in only while the gate is open and lets it out when it goes; close()
// returns once no callback is inside, and none enters until open(). A stream
// whose stop came late (see devicecall::finishWithin) may still call back:
// the gate, closed, keeps it away from the owner and from what the owner
// frees.
//
// The gate lies inside the state its callbacks reach (a device's link),
// which the owner shares. close() waits for a callback inside at most a
// bound, as every device call does: a callback that hangs past it (a stalled
// device, a plug-in stuck in its render) is said in the log and left to
// itself, and the state it reaches lives on until it has left, so that the
// owner may let go of its share at once.
//
// Threads: Pass on the device's thread (lock-free, no allocation); open()
// and close() on the owner's.
class CallbackGate {
public:
    // One callback's stay inside the gate: true when it got in, and it
    // leaves when the pass goes.
    //   if (CallbackGate::Pass pass(link->gate); pass) { ... }
    class Pass {
    public:
        explicit Pass(CallbackGate& gate) : gate_(gate.enter() ? &gate : nullptr) {}
        ~Pass() {
            if (gate_) gate_->busy_.fetch_sub(1);
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return gate_ != nullptr; }

    private:
        CallbackGate* gate_;
    };

    void open() { open_.store(true); }
    // Closes the gate and waits at most `limit` for the callbacks inside to
    // leave; true once none is inside. When one stays longer, a warning goes
    // to the log, `state` (the shared state that holds this gate and what
    // the callback reaches) is kept until the callback has left, on a thread
    // of its own, and close() returns false: the gate stays closed, and the
    // owner opens no new stream on this state.
    bool close(std::shared_ptr<const void> state, std::chrono::milliseconds limit = devicecall::kLimit);
    bool isOpen() const { return open_.load(); }
    // Callbacks inside now.
    int inside() const { return busy_.load(); }

private:
    bool enter() {
        // `busy_` is raised before `open_` is read, and close() lowers
        // `open_` before it reads `busy_`: one of the two sees the other.
        busy_.fetch_add(1);
        if (open_.load()) return true;
        busy_.fetch_sub(1);
        return false;
    }

    // Holds `state`, which holds this gate, until no callback is inside.
    void keepUntilLeft(std::shared_ptr<const void> state);

    std::atomic<bool> open_{false};
    std::atomic<int> busy_{0};
};
