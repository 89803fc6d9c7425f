#pragma once

#include <atomic>
#include <chrono>
#include <functional>

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
// The device's callback brackets its call with enter() and leave(); close()
// returns once no callback is inside, and none enters until open(). A stream
// whose stop came late (see devicecall::finishWithin) may still call back:
// the gate, closed, keeps it away from the owner and from what the owner
// frees.
//
// Threads: enter() and leave() on the device's thread (lock-free, no
// allocation); open() and close() on the owner's.
class CallbackGate {
public:
    bool enter() {
        // `busy_` is raised before `open_` is read, and close() lowers
        // `open_` before it reads `busy_`: one of the two sees the other.
        busy_.fetch_add(1);
        if (open_.load()) return true;
        busy_.fetch_sub(1);
        return false;
    }
    void leave() { busy_.fetch_sub(1); }

    void open() { open_.store(true); }
    void close();
    bool isOpen() const { return open_.load(); }

private:
    std::atomic<bool> open_{false};
    std::atomic<int> busy_{0};
};
