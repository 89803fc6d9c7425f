#include "platform/audio/DeviceCalls.h"

#include <QtGlobal>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace devicecall {

namespace {

// Shared by the caller and the work's thread, whichever lets go last frees it.
struct Call {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;  // under `mutex`
    bool late = false;  // under `mutex`: the caller has gone on
    std::function<void()> work;
    std::function<void()> afterLate;
};

}  // namespace

bool finishWithin(std::chrono::milliseconds limit, const char* warning, std::function<void()> work,
                  std::function<void()> afterLate) {
    auto call = std::make_shared<Call>();
    call->work = std::move(work);
    call->afterLate = std::move(afterLate);
    try {
        std::thread([call] {
            call->work();
            std::function<void()> tail;
            {
                std::lock_guard<std::mutex> lock(call->mutex);
                call->done = true;
                if (call->late) tail = std::move(call->afterLate);
            }
            call->finished.notify_all();
            if (tail) tail();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the call is made here, unbounded, rather than
        // not at all.
        call->work();
        return true;
    }
    std::unique_lock<std::mutex> lock(call->mutex);
    if (call->finished.wait_for(lock, limit, [&] { return call->done; })) return true;
    call->late = true;
    lock.unlock();
    qWarning("%s", warning);
    return false;
}

}  // namespace devicecall

bool CallbackGate::close(std::shared_ptr<const void> state, std::chrono::milliseconds limit) {
    open_.store(false);
    // A callback under way only copies a block: it leaves soon.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (busy_.load() != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            qWarning("A device's callback did not return in time; what it uses is left to it.");
            keepUntilLeft(std::move(state));
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

void CallbackGate::keepUntilLeft(std::shared_ptr<const void> state) {
    try {
        std::thread([this, state = std::move(state)]() mutable {
            while (busy_.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            state.reset();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the state is never freed, rather than freed
        // under the callback.
        new std::shared_ptr<const void>(std::move(state));
    }
}
